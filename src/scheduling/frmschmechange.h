#pragma once

#include "stationui/stationcontext.h"
#include "widgets/env.h"

#include <QDateTime>
#include <QDialog>

class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

namespace cg {

// 驾驶员顶班: records a substitute for the arranged driver of the register's
// current arrangement over part of its period. The substitute is found by
// name (Enter in the driver field; the first driver in number order
// matching); the data service checks the period and the substitute.
class frmSchmeChange : public QDialog {
    Q_OBJECT
    Q_PROPERTY(QString m_szDriverID MEMBER m_szDriverID)
    Q_PROPERTY(QString m_szDriver MEMBER m_szDriver)
    Q_PROPERTY(QString m_szLicenseID MEMBER m_szLicenseID)
    Q_PROPERTY(QString m_szLicense MEMBER m_szLicense)
    Q_PROPERTY(QDateTime m_dtStart MEMBER m_dtStart)
    Q_PROPERTY(QDateTime m_dtEnd MEMBER m_dtEnd)
public:
    frmSchmeChange(const Env &env, StationContext &station, QWidget *parent = nullptr);
    ~frmSchmeChange() override;

    QString m_szDriverID;
    QString m_szDriver;
    QString m_szLicenseID;
    QString m_szLicense;
    QDateTime m_dtStart;
    QDateTime m_dtEnd;

    // Shows the arrangement from the members; both pickers at today.
    void Open();
    // The substitute found by the last search ("" when none).
    const QString &substituteId() const { return m_substitute; }

protected:
    void done(int result) override;

private:
    // Enter in the driver field and 顶班 (connected in the constructor,
    // under the error trap).
    void txtDriver_Enter();
    void cmdSave_Click();

    Env m_env;
    StationContext &m_station;
    QString m_substitute;
    bool m_filling = false;

    QLabel *lblDriver, *lblLicense, *lblStart, *lblEnd;
    QLineEdit *txtDriver;
    QDateEdit *dtpStartDate, *dtpEndDate;
    QPushButton *cmdSave;
};

} // namespace cg
