#pragma once

#include <QDate>
#include <QDateTime>
#include <QWidget>

#include <memory>

class QComboBox;
class QDateEdit;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace cg {

struct Env;
struct StationContext;
class CheckNotifier;
class CheckService;
class FlexGrid;
class RecordSet;

// "调度中心": the dispatcher's overview of the trips of one day with every
// check as a lamp. Issues route sheets, prints the route sheet of a trip
// whose ticket check is done, and opens the trip's check records and the
// vehicle register.
//
// The list shows either the timetable trips or the rolling trips of the
// list date, never both. The gate box is shown for familiarity with the
// departure gate but filters nothing: trips are not assigned to gates in a
// way the dispatcher needs here.
class frmEnvBusDesk : public QWidget {
    Q_OBJECT
public:
    // Grid columns.
    enum Col {
        ColNo = 0, ColLicense = 1, ColModel = 2, ColSeats = 3, ColCompany = 4, ColReturn = 5, ColState = 6,
        ColDriver = 7, ColScheme = 8, ColSold = 9, ColChecked = 10, ColOut = 11, ColBusId = 12, ColTime = 13,
        ColBusType = 14, ColEnd = 15, ColSchemeTime = 16, ColReturnTime = 17, ColExitTime = 18, ColRoute = 19,
        ColumnCount = 20
    };

    frmEnvBusDesk(const Env &env, StationContext &station, QWidget *parent = nullptr);
    ~frmEnvBusDesk() override;

    QDate listDate() const { return m_listDate; }
    bool showsRollingTrips() const { return m_rolling; }

    // The two refreshes are public so that a test runs them at a moment of
    // its choosing instead of waiting for the timer.
    // Refreshes the timetable rows departing within BeforeMinute minutes of
    // now in place: lamps, counts and issue times; a trip that got another
    // vehicle is rewritten.
    void ListTimeBusInfo();
    // The 60-second refresh: the timetable or the rolling rows, whichever
    // the list shows; nothing while the list is empty.
    void Timer1_Timer();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void cmdQuery_Click();
    void cmdTodayBus_Click();
    void cmdScroll_Click();
    void cmdOK_Click();
    void cmdAddVehicle_Click();
    void openVehicleRegister(const QString &type);
    void vsList_DblClick(int row);
    void selectRow(int row);
    void buildUi();
    void buildHeader();
    bool handleKey(int key);
    void setListDate(const QDate &date);
    QString busIdFilter() const;
    QString licenseFilter() const;
    QString gateFilter() const;
    void fillRegular();
    void fillRolling();
    void fill(bool rolling);
    void writeRow(int row, const RecordSet &rs, bool rolling);
    void refreshRows(const RecordSet &rs, bool rolling);
    QString rowKey(const RecordSet &rs, bool rolling) const;
    bool hasCurrentTrip() const;
    void openRecords(const QString &form, bool withLicense, bool withRoute);
    void updateButtons(int row);
    void setLamp(int row, int col, int code);
    int lampAt(int row, int col) const;
    CheckService &service();

    // Notification handlers.
    void onDriverCheck(const QString &busId, const QDateTime &busDate, int lamp);
    void onSchemeCheck(const QString &busId, const QDateTime &busDate, int lamp, const QDateTime &checkTime);
    void onSchemeExCheck(const QString &busId, const QDateTime &busDate, int lamp);
    void onReturnCheck(const QString &license, const QDateTime &date, int lamp, const QDateTime &returnTime,
                       const QString &checker);
    void onTechCheck(const QString &license, const QDateTime &checkDate, int lamp, int checkCount,
                     const QDateTime &checkTime, const QString &checker);
    template <typename F>
    void forTripRows(const QString &busId, const QDateTime &busDate, F f);

    const Env &m_env;
    StationContext &m_station;
    std::unique_ptr<CheckService> m_service;
    CheckNotifier *moMsg = nullptr;
    QDate m_listDate;
    int m_currentRow = -1;  // the row painted as current
    bool m_rolling = false;
    bool m_layoutSaved = false;

    FlexGrid *vsList = nullptr;
    QLineEdit *txtBusID = nullptr;
    QLineEdit *txtLicenseID = nullptr;
    QComboBox *cboCheckGate = nullptr;
    QDateEdit *dtpDate = nullptr;
    QLabel *lblDate = nullptr;
    QPushButton *cmdQuery = nullptr;
    QPushButton *cmdTodayBus = nullptr;
    QPushButton *cmdScroll = nullptr;
    QPushButton *cmdTechCheck = nullptr;
    QPushButton *cmdDriver = nullptr;
    QPushButton *cmdFaceCheck = nullptr;
    QPushButton *cmdLug = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdTempVehicle = nullptr;
    QPushButton *cmdNotUseVehicle = nullptr;
    QPushButton *cmdNotBusVehicle = nullptr;
    QPushButton *cmdBusVehicle = nullptr;
    QPushButton *cmdAllVehicle = nullptr;
    QPushButton *cmdAddVehicle = nullptr;
    QTimer *Timer1 = nullptr;
};

// A trip time cell: "yyyy年MM月dd日 HH:mm", or six full-width spaces for a
// missing date.
QString TripTimeText(const QDateTime &value);

} // namespace cg
