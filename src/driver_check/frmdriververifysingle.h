#pragma once

#include "widgets/env.h"
#include "core/recordset.h"

#include <QDialog>
#include <QTimer>

class QLabel;
class QStackedWidget;
class QFrame;

namespace cg {

struct StationContext;
class DriverFingerLibrary;
class DriverService;
class CheckService;

// 驾驶员指纹报班: the driver confirms one chosen trip with his finger. The
// check-in station fills the members and shows it modally; it records the
// check-in, shows the result with the driver's photo and, when the station
// wants it, the three-day biorhythm forecast, and closes itself after a
// countdown.
class frmDriverVerifySingle : public QDialog {
    Q_OBJECT
    Q_PROPERTY(QString m_szBusID MEMBER m_szBusID)
    Q_PROPERTY(QString m_szRouteID MEMBER m_szRouteID)
    Q_PROPERTY(QString m_szRouteName MEMBER m_szRouteName)
    Q_PROPERTY(QString m_szCompany MEMBER m_szCompany)
    Q_PROPERTY(QString m_szDriverNo MEMBER m_szDriverNo)
    Q_PROPERTY(bool m_FingerLibChanged MEMBER m_FingerLibChanged)
public:
    // library: the engine, cache and drivers that outlive one opening (kept
    // by the check-in station); without one the screen keeps its own for its
    // lifetime.
    frmDriverVerifySingle(const Env &env, StationContext &station, DriverFingerLibrary *library = nullptr,
                          QWidget *parent = nullptr);
    ~frmDriverVerifySingle() override;

    QString m_szBusID;
    QString m_szRouteID;
    QString m_szRouteName;
    QString m_szCompany;
    // The driver the check-in station identified by the first press, when
    // the trip was chosen from his list: the press here must be his (1:1
    // against his fingers), so a chance match of a stranger on the first
    // press cannot complete a check-in. Empty (a card read, or a trip picked
    // from the full list): the press is identified among every driver.
    QString m_szDriverNo;
    bool m_FingerLibChanged = false;
    // The drivers record set of the check-in station (rsTemp).
    void setDriverRecords(const RecordSet &records) { m_rsTemp = records; }

    int countdown() const { return m_countdown; }
    bool isCountdownRunning() const { return m_timer.isActive(); }

    // The 1000 ms countdown: shows 关闭N, counts down, and closes the screen
    // on the tick after 关闭0. Public so that a test ticks it at a moment of
    // its choosing.
    void Timer1_Timer();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildUi();
    void loadScreen();
    void onCaptured();
    void refuse(const QString &message);
    void noticeWhileStopped(const QString &message);
    void showForecast(const QDateTime &birthDate);
    void playWave(const QString &name);
    void showStatus(int which);

    Env m_env;
    StationContext &m_station;
    DriverFingerLibrary *m_library = nullptr;
    RecordSet m_rsTemp;
    bool m_loaded = false;
    int m_countdown = 15;
    QTimer m_timer;

    QLabel *lblBusID = nullptr;
    QLabel *lblRouteName = nullptr;
    QLabel *lblCompany = nullptr;
    QLabel *lblDriverName = nullptr;
    QLabel *imgPhoto = nullptr;
    QStackedWidget *ptStatus = nullptr;
    QLabel *lblClose = nullptr;
    QFrame *ptBio = nullptr;
    QLabel *lblDay[3] = {};
    QLabel *lblMark[9] = {};
};

} // namespace cg
