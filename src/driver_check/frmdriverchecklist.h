#pragma once

#include "widgets/env.h"
#include "stationui/stationcontext.h"

#include <QDateTime>
#include <QDialog>

class QLabel;
class QPushButton;

namespace cg {

class FlexGrid;

// The check-in records of one trip ("驾驶员身份识别记录"): the trip's heading,
// the drivers registered for it with the trip's driver lamp, cancelling a
// registration and, from the dispatch centre, going on to the forced driver
// pass. The opener sets the members after construction; the data is loaded
// when the dialog is first shown (or by Form_Load()).
//
// The trip is looked up among the timetable trips of m_dtBusDate and then
// among the rolling runs. A rolling run may be named by its bare code or as
// "code-serial" (how the lists show it); either way the heading shows
// "code-serial" and that is the code its check-ins are kept under. When
// neither finds the trip, the heading says so in lblMessage, the check-ins
// kept under the code as given are still listed and the forced pass is not
// offered.
class frmDriverCheckList : public QDialog {
    Q_OBJECT
    Q_PROPERTY(QString m_szBusID MEMBER m_szBusID)
    Q_PROPERTY(QDateTime m_dtBusDate MEMBER m_dtBusDate)
    Q_PROPERTY(QString m_szRouteID MEMBER m_szRouteID)
    Q_PROPERTY(QString m_szParentForm MEMBER m_szParentForm)
public:
    frmDriverCheckList(const Env &env, StationContext &station, QWidget *parent = nullptr);
    ~frmDriverCheckList() override;

    QString m_szBusID;
    QDateTime m_dtBusDate;
    QString m_szRouteID;
    QString m_szParentForm;

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Loads the heading and the records (once; showing the dialog calls it).
    void Form_Load();
    void cmdOk_Click();
    void CoolButton1_Click();
    void cmdClose_Click();
    bool LoadTrip();
    void FillGrid();
    void ResetGrid();
    QDate TripDate() const;
    bool hasTripDate() const;

    Env m_env;
    StationContext &m_station;
    bool m_loaded = false;
    bool m_found = false;
    QString m_tripCode; // the code the heading shows and the check-ins carry

    QLabel *lblBusID;
    QLabel *lblStartTime;
    QLabel *lblEndStation;
    QLabel *lblCompany;
    QLabel *lblLicenseID;
    QLabel *lblStatus;
    QLabel *lblMessage;
    FlexGrid *vsList;
    QPushButton *cmdOk;
    QPushButton *CoolButton1;
    QPushButton *cmdClose;
};

} // namespace cg
