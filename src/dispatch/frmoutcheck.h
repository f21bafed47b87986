#pragma once

#include "widgets/env.h"
#include "core/recordset.h"
#include "stationui/stationcontext.h"

#include <QDate>
#include <QWidget>

#include <memory>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace cg {

class CheckNotifier;
class CheckService;
class FlexGrid;

// The departure gate ("出站门检"): the trips of one day with every check as a
// lamp. A departing vehicle is identified by its IC card or plate in
// txtLicenseID, confirmed in the boarding confirmation and recorded; the
// operator can also allow or forbid a selected trip by hand and open its
// check records. Lamps follow the check notifications; a 60 s timer
// refreshes the trips departing around now.
//
// Rows: vsList has two header rows; data rows start at row 2. Column 1 is
// the trip code as shown (a rolling trip "code-serial"). Each data row keeps
// its stored trip code, serial and lamp codes as row data, so the refresh
// matches a rolling row by (bus_id, bus_serial_no) and a timetable row by
// bus_id, never one kind with the other, and the buttons follow the lamp
// codes, not the drawn cells.
class frmOutCheck : public QWidget {
    Q_OBJECT
public:
    frmOutCheck(const Env &env, StationContext &station, QWidget *parent = nullptr);
    ~frmOutCheck() override;

    // Refreshes, in place, the timetable trips departing within BeforeMinute
    // minutes of now: a changed vehicle rewrites its row, and the ticket-check
    // lamp and passenger counts follow the data service. Never adds rows.
    // Public, like the tick below, so that a test runs it at a moment of its
    // choosing instead of waiting for the timer.
    void ListTimeBusInfo();
    void Timer1_Timer();

    QDate listDate() const { return m_listDate; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void cmdQuery_Click();
    void cmdTodayBus_Click();
    void cmdAllow_Click();
    void cmdEngage_Click();
    void txtLicenseID_Enter();
    // Makes a data row current: button states and the row highlight.
    void SelectRow(int row);
    void buildUi();
    void buildHeader();
    CheckService &service();
    QString busFilter() const;
    void setListDate(const QDate &date);
    void FillRegular();
    void FillRolling();
    void fillRow(int row, const RecordSet &rs, int rec, bool rolling, int seq);
    void RefreshRolling();
    void refreshRows(const RecordSet &rs, bool rolling);
    void Identify(const QString &text);
    void SelectDeparture(const QString &busId);
    bool hasCurrentTrip() const;
    void decide(int status);
    void updateButtons();
    void setLamp(int row, int col, int lamp);
    int lampAt(int row, int col) const;
    QString rowCode(int row) const;
    void openRecords(const QString &form, bool withPlate);
    int beforeMinute() const;
    void redrawByTrip(const QString &busId, const QDateTime &busDate, int col, int lamp);

    void moMsg_TechCheck(const QString &license, const QDateTime &checkDate, int lamp);
    void moMsg_DriverCheck(const QString &busId, const QDateTime &busDate, int lamp);
    void moMsg_SchemeCheck(const QString &busId, const QDateTime &busDate, int lamp);
    void moMsg_SchemeExCheck(const QString &busId, const QDateTime &busDate, int lamp);

    Env m_env;
    StationContext &m_station;
    std::unique_ptr<CheckService> m_service;
    CheckNotifier *moMsg = nullptr;

    QDate m_listDate;
    RecordSet m_vehicle;        // the vehicle of the last identification
    QString m_checkText;        // its check summary
    QString m_lastDeparture;    // trip code of the last recorded departure
    bool m_lastConfirmed = false;
    int m_currentRow = -1;      // the trip row the operator works on

    QLineEdit *txtBusID;
    QComboBox *cboCheckGate;
    QDateEdit *dtpDate;
    QLabel *lblDate;
    QLineEdit *txtLicenseID;
    QPushButton *cmdQuery, *cmdTodayBus, *cmdDriver, *cmdFaceCheck, *cmdAllow, *cmdTechCheck, *cmdLug,
        *cmdEngage;
    FlexGrid *vsList;
    QTimer *Timer1;
};

} // namespace cg
