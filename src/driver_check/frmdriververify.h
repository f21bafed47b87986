#pragma once

#include "widgets/env.h"
#include "core/recordset.h"

#include <QDialog>
#include <QTimer>

class QLabel;
class QPushButton;

namespace cg {

struct StationContext;
class FlexGrid;
class CheckNotifier;
class DriverFingerLibrary;

// The touch check-in station (报班). A driver presses a finger and touches
// 确认 on one of his trips, or the vehicle's IC card is swiped; the chosen
// trip goes to the single-driver screen, where the finger confirms it. The
// trip list covers StartCheckTime minutes before now to EndCheckTime minutes
// after, ten rows a page, and its lamps follow the check notifications.
class frmDriverVerify : public QDialog {
    Q_OBJECT
public:
    static constexpr int PageSize = 10;

    frmDriverVerify(const Env &env, StationContext &station, QWidget *parent = nullptr);
    ~frmDriverVerify() override;

    int page() const { return m_page; }
    QString cardBuffer() const { return m_cardBuffer; }

    // The 1000 ms clock; public so that a test ticks it at a moment of its
    // choosing.
    void Timer1_Timer();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Reloads the window's trips and shows page 1.
    void RefreshBus();
    void buildUi();
    void buildGridHeader();
    void loadScreen();
    void loadDriverLibrary();
    void showPage();
    void fillPage();
    void nextPage();
    void previousPage();
    void toggleRefreshOptions();
    void refreshTrips();
    void refreshFingers();
    void returnClicked();
    void onGridClicked(int row, int col);
    void onCaptured();
    void identifyCapture();
    void cardKey(QKeyEvent *event);
    void cardEntered(const QString &card);
    void handOff(const QString &busId, const QString &routeId, const QString &routeName, const QString &company,
                 const QString &driverNo = QString());
    int firstOpenTripPosition() const;
    QDateTime windowStart() const;
    QDateTime windowEnd() const;

    void onDriverCheck(const QString &busId, const QDateTime &busDate, int lamp);
    void onReturnCheck(const QString &license, const QDateTime &date, int lamp, const QDateTime &returnTime,
                       const QString &checker);
    void onTechCheck(const QString &license, const QDateTime &checkDate, int lamp, int checkCount,
                     const QDateTime &checkTime, const QString &checker);
    void onReplaceVehicle(const QString &busId, const QDateTime &busDate, const QString &newLicense,
                          const QString &newCompany);

    Env m_env;
    StationContext &m_station;
    bool m_loaded = false;
    bool m_handingOff = false;

    RecordSet m_rsBus;
    bool m_hasList = false;
    int m_page = 1;
    RecordSet m_rsDrivers;
    bool m_libChanged = false;
    // The driver whose trips the list shows after his finger was identified
    // ("" when it shows every trip): the single screen verifies the second
    // press against him.
    QString m_identifiedDriverNo;
    DriverFingerLibrary *m_library = nullptr;       // this screen's engine and cache
    DriverFingerLibrary *m_singleLibrary = nullptr; // the single-driver screen's, kept between openings
    CheckNotifier *m_moMsg = nullptr;
    QString m_cardBuffer;
    struct Replacement { QString busId, busDate, license, company; } m_replace;
    QTimer m_clock;

    QLabel *lblDate = nullptr;
    QLabel *lblTime = nullptr;
    QLabel *lblPrompt = nullptr;
    QLabel *lblWait = nullptr;
    FlexGrid *vsList = nullptr;
    QPushButton *cmdPrev = nullptr;
    QPushButton *cmdNext = nullptr;
    QPushButton *cmdRefresh = nullptr;
    QPushButton *cmdRefreshBus = nullptr;
    QPushButton *cmdRefreshFinger = nullptr;
    QPushButton *cmdReturn = nullptr;
};

} // namespace cg
