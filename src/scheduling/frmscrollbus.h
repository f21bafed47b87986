#pragma once

#include "stationui/registerscreen.h"

#include <QDate>
#include <QHash>
#include <QPointer>

class QDateEdit;
class QPushButton;

namespace cg {

class frmAddScrollBus;

// 滚动班次车辆排班 (the rolling trip register): the rolling trips of one day,
// and the way into the rolling trip record for adding, editing and deleting.
// A trip is identified by its day, code and serial number (columns 1 to 3);
// the row keeps that key with the day as a date.
class frmScrollBus : public RegisterScreen {
    Q_OBJECT
public:
    frmScrollBus(const Env &env, StationContext &station, QWidget *parent = nullptr);
    ~frmScrollBus() override;

    enum Column { ColNo, ColDate, ColCode, ColSerial, ColPlate, ColDestination };

    // The record screen (nullptr until first opened).
    frmAddScrollBus *recordScreen() const { return m_form; }

protected:
    void cmdQuery_Click() override;
    void cmdAdd_Click() override;
    void cmdEdit_Click() override;
    void cmdDelete_Click() override;
    void vsList_DblClick() override;
    void writeRow(int r, const RecordSet &rs) override;
    QString recordKey(const RecordSet &rs) const override;
    RecordSet lookupRecord(const QString &key, Lookup kind) override;
    bool deleteRecord(const QString &key, QString *reason) override;
    RecordScreen *makeRecordScreen() override;
    void closeEvent(QCloseEvent *event) override;

private:
    struct TripKey {
        QDate day;
        QString busId;
        QString serial;
    };
    static QString keyText(const TripKey &key);
    // Opens the record screen beside the register for a new trip (status 0)
    // or the trip of key (status 1), and brings it to the front.
    void openTrip(int status, const TripKey &key);

    // The trips' keys by the rows' key texts.
    QHash<QString, TripKey> m_keys;
    QPointer<frmAddScrollBus> m_form;

    QDateEdit *dtpBusDate;
};

} // namespace cg
