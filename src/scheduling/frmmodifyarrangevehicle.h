#pragma once

#include "stationui/stationcontext.h"
#include "widgets/env.h"

#include <QDateTime>
#include <QDialog>
#include <QPointer>

class QDateEdit;
class QLineEdit;
class QPushButton;

namespace cg {

class frmArrangeVehicleMain;

// 车辆驾驶员安排修改: changes the period and remark of the arrangement chosen
// in the register. The register hands over the arrangement (its members),
// calls Open() and shows the dialog; a save replaces exactly that
// arrangement and rewrites its row in the register.
class frmModifyArrangeVehicle : public QDialog {
    Q_OBJECT
    Q_PROPERTY(QString m_szDriver MEMBER m_szDriver)
    Q_PROPERTY(QString m_szDriverID MEMBER m_szDriverID)
    Q_PROPERTY(QString m_szLicense MEMBER m_szLicense)
    Q_PROPERTY(QString m_szLicenseID MEMBER m_szLicenseID)
    Q_PROPERTY(QString m_szMemo MEMBER m_szMemo)
    Q_PROPERTY(QDateTime m_dtStartDate MEMBER m_dtStartDate)
    Q_PROPERTY(QDateTime m_dtEndDate MEMBER m_dtEndDate)
public:
    frmModifyArrangeVehicle(const Env &env, StationContext &station, QWidget *parent = nullptr);
    ~frmModifyArrangeVehicle() override;

    QString m_szDriver;
    QString m_szDriverID;
    QString m_szLicense;
    QString m_szLicenseID;
    QString m_szMemo;
    QDateTime m_dtStartDate;
    QDateTime m_dtEndDate;
    QPointer<frmArrangeVehicleMain> m_register;

    // Fills the fields from the members.
    void Open();

protected:
    void done(int result) override;

private:
    // 保存: connected in the constructor, under the error trap.
    void cmdSave_Click();

    Env m_env;
    StationContext &m_station;

    QLineEdit *txtDriver, *txtLicense, *txtMemo;
    QDateEdit *dtpStartDate, *dtpEndDate;
    QPushButton *cmdSave;
};

} // namespace cg
