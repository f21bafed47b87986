#pragma once

#include "widgets/env.h"
#include "stationui/stationcontext.h"

#include <QDateTime>
#include <QDialog>
#include <QSize>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace cg {

class FlexGrid;

// How the driver check's two list windows (this one and
// frmDriverCheckList) begin: named formName, titled, modal, with the
// minimise and close buttons in their title bar, at size.
void BeginDriverListWindow(QDialog *window, const QString &formName, const QString &title, QSize size);

// The forced driver check ("驾驶员检验"): the drivers who may drive the
// trip's route — its regular drivers (black), the unit's mobile drivers
// (blue, only when the route has regular drivers, whose unit names the
// unit) and the drivers lent or arranged to the route today (red) — and a
// cause from the basic causes or typed. 确定 records the chosen driver's
// forced pass and closes the screen. The opener sets the members after
// construction; the data is loaded when the dialog is first shown.
class frmDriverList : public QDialog {
    Q_OBJECT
    Q_PROPERTY(QDateTime m_dtBusDate MEMBER m_dtBusDate)
    Q_PROPERTY(QString m_szBusID MEMBER m_szBusID)
    Q_PROPERTY(QString m_szRouteID MEMBER m_szRouteID)
    Q_PROPERTY(QString m_szLicense MEMBER m_szLicense)
    Q_PROPERTY(QString m_szParentForm MEMBER m_szParentForm)
public:
    frmDriverList(const Env &env, StationContext &station, QWidget *parent = nullptr);
    ~frmDriverList() override;

    QDateTime m_dtBusDate;
    QString m_szBusID;
    QString m_szRouteID;
    QString m_szLicense;
    QString m_szParentForm;

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Loads heading, causes and drivers (once; showing the dialog calls it).
    void Form_Load();
    void cmdForcePass_Click();
    void cmdClose_Click();
    void SetupGrid();
    void LoadHeading();
    void LoadDrivers();

    Env m_env;
    StationContext &m_station;
    bool m_loaded = false;

    QLabel *lblBusDate;
    QLabel *lblVehicle;
    QLabel *lblBusID;
    FlexGrid *vsList;
    QComboBox *cboCause;
    QLineEdit *txtCause;
    QPushButton *cmdForcePass;
    QPushButton *cmdClose;
};

} // namespace cg
