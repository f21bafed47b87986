#pragma once

#include "stationui/recordscreen.h"

class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

namespace cg {

// 滚动车次车辆排班: one rolling trip -- its day, code and serial number, the
// route with its destination, the ticket gate and the vehicle -- created
// (m_eStatus 0) or edited (m_eStatus 1, the trip m_szBusID, m_szBusSerialNo,
// m_szBusDate). The rolling trip register opens it beside itself; saves are
// not reported back (the register is queried again to see them).
class frmAddScrollBus : public RecordScreen {
    Q_OBJECT
    Q_PROPERTY(QString m_szBusID MEMBER m_szBusID)
    Q_PROPERTY(QString m_szBusSerialNo MEMBER m_szBusSerialNo)
    Q_PROPERTY(QString m_szBusDate MEMBER m_szBusDate)
public:
    frmAddScrollBus(const Env &env, StationContext &station, QWidget *parent = nullptr);
    ~frmAddScrollBus() override;

    // The trip being edited (and, after the first save of a new one, the
    // trip saved). The day is "yyyy-MM-dd".
    QString m_szBusID;
    QString m_szBusSerialNo;
    QString m_szBusDate;

protected:
    void start() override;
    void clearRecord() override;
    bool canSave() const override;

private:
    // What the buttons do (connected in buildUi).
    void cmdAdd_Click();
    // False when nothing was saved (the error shown, form and state kept).
    bool cmdSave_Click();
    void cmdRoute_Click();
    void cmdCheckGate_Click();
    void cmdVehicle_Click();

    void buildUi();
    void loadRecord();
    void enterState(int status);
    RecordSet recordFromForm() const;
    // The destination of the route now in the route field: its last stop,
    // or nothing when the route has no stops.
    void fetchDestination();

    QDateEdit *dtpBusDate;
    QLineEdit *txtBusID, *txtBusSerialNo, *txtRoute, *txtEndStation, *txtCheckGate, *txtVehicle, *txtSeat,
        *txtVehicleType, *txtCompany;
    QLabel *lblStatus;
    QPushButton *cmdAdd, *cmdSave;
};

} // namespace cg
