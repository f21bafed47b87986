#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <memory>

class QSqlRecord;

namespace cg {

class Database;

// The check events every workstation of a station receives, the recording one
// included, in commit order, each once. Writers put events into the outbox in
// the same transaction as the result (see CheckEvents below); subscribers read
// the outbox past the last event they delivered.
//
// A notifier reads on a connection of its own, on the thread that creates it,
// and must not outlive the Database it was given.
class CheckNotifier : public QObject {
    Q_OBJECT
public:
    explicit CheckNotifier(Database &db, QObject *parent = nullptr);
    ~CheckNotifier() override;

    // Starts delivering the events of one station that commit from now on
    // (events already in the outbox are not replayed). Returns true; if the
    // database cannot be reached yet, the starting point is taken on the
    // first poll that reaches it.
    bool Subscribe(const QString &stationCode);
    void Unsubscribe();
    QString stationCode() const;

    // Reads and delivers pending events now (also done by the timer or the
    // database notification).
    void poll();

Q_SIGNALS:
    void DriverCheck(const QString &busId, const QDateTime &busDate, int lamp);
    void SchemeCheck(const QString &busId, const QDateTime &busDate, int lamp, const QDateTime &checkTime);
    void SchemeExCheck(const QString &busId, const QDateTime &busDate, int lamp);
    void TechCheck(const QString &license, const QDateTime &checkDate, int lamp, int checkCount,
                   const QDateTime &checkTime, const QString &checker);
    void FaceCheck(const QString &busId, const QDateTime &busDate, int lamp, int checkCount,
                   const QDateTime &checkTime, const QString &checker);
    void ReturnCheck(const QString &license, const QDateTime &date, int lamp,
                     const QDateTime &returnTime, const QString &checker);
    void ReplaceVehicle(const QString &busId, const QDateTime &busDate, const QString &newLicense,
                        const QString &newCompanyShortName);

private:
    struct Impl;
    void deliver(qint64 id, const QSqlRecord &event);
    std::unique_ptr<Impl> d;
};

// Writing side: each function inserts one event into the outbox on the
// calling thread's connection. Call it inside the Database::transact of the
// write it belongs to, so the record and its event commit together.
namespace CheckEvents {
void driverCheck(Database &db, const QString &station, const QString &busId, const QDateTime &busDate, int lamp);
void schemeCheck(Database &db, const QString &station, const QString &busId, const QDateTime &busDate, int lamp,
                 const QDateTime &checkTime);
void schemeExCheck(Database &db, const QString &station, const QString &busId, const QDateTime &busDate, int lamp);
void techCheck(Database &db, const QString &station, const QString &license, const QDateTime &checkDate, int lamp,
               int checkCount, const QDateTime &checkTime, const QString &checker);
void faceCheck(Database &db, const QString &station, const QString &busId, const QDateTime &busDate, int lamp,
               int checkCount, const QDateTime &checkTime, const QString &checker);
void returnCheck(Database &db, const QString &station, const QString &license, const QDateTime &date, int lamp,
                 const QDateTime &returnTime, const QString &checker);
void replaceVehicle(Database &db, const QString &station, const QString &busId, const QDateTime &busDate,
                    const QString &newLicense, const QString &newCompanyShortName);
// Deletes the check events created before `before` (the retention of the
// outbox) and returns how many went. A listener reads only past the last
// event it delivered, so old events cost it nothing; they are pruned only so
// that the table does not grow for ever.
int pruneOlderThan(Database &db, const QDateTime &before);
} // namespace CheckEvents

} // namespace cg
