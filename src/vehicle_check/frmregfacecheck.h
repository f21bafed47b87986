#pragma once

#include "widgets/env.h"
#include "stationui/stationcontext.h"

#include <QDateTime>
#include <QDialog>

class QDateEdit;
class QLabel;
class QTimeEdit;
class QToolButton;

namespace cg {

// The appearance check of one trip: its header, its own three-colour lamp,
// and the verdict buttons.
class frmRegFaceCheck : public QDialog {
    Q_OBJECT
    Q_PROPERTY(QString m_szBusID MEMBER m_szBusID)
    Q_PROPERTY(QDateTime m_dtBusDate MEMBER m_dtBusDate)
    Q_PROPERTY(QString m_szLicese MEMBER m_szLicese)
    Q_PROPERTY(int m_nCount MEMBER m_nCount)
public:
    frmRegFaceCheck(const Env &env, StationContext &station, QWidget *parent = nullptr);

    QString m_szBusID;
    QDateTime m_dtBusDate;
    QString m_szLicese;
    int m_nCount = 0;

    QLabel *lblBusID = nullptr;
    QLabel *lblEndStation = nullptr;
    QLabel *lblCompany = nullptr;
    QLabel *lblLicenseID = nullptr;
    QLabel *lblStartTime = nullptr;
    QLabel *lblStatus = nullptr;
    QDateEdit *dtpDate = nullptr;
    QTimeEdit *dtpTime = nullptr;
    QToolButton *cmdPass = nullptr;
    QToolButton *cmdNotPass = nullptr;
    QToolButton *tbMin = nullptr;
    QToolButton *tbClose = nullptr;

    // Fills the header from the trip (called on the first show).
    void Form_Load();

public slots:
    void cmdPass_Click();
    void cmdNotPass_Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void verdict(bool passed);

    Env m_env;
    StationContext &m_station;
    bool m_loaded = false;
};

} // namespace cg
