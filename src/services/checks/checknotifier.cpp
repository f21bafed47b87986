#include "services/checks/checknotifier.h"

#include "services/database/database.h"
#include "services/database/serviceerror.h"

#include <QAtomicInteger>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QPointer>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTimer>

#include <vector>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

// The channel every event writer notifies on PostgreSQL; the payload is the
// station code.
const QString kChannel = u"cg_check_events"_s;
// Key of the transaction-level lock that serialises event writers, so that
// event ids become visible in id order.
constexpr qint64 kEventLockKey = 0x63676576; // "cgev"

// How often the outbox is read: without notifications it is polled often;
// a backend that notifies is polled only as a safety net. Without
// notifications the files a commit writes are watched too, so a result
// written by another workstation is read at once, not at the next poll.
constexpr int kPollMs = 200;
constexpr int kSafetyNetPollMs = 1000;

// One event as it is kept in the outbox: a typed column per argument. The
// date argument of every event (trip date, check date, return date) goes to
// bus_date, the time argument (ticket-check, check or return time) to
// check_time; columns an event does not use stay NULL.
struct EventRow {
    QString event;
    QVariant busId, busDate, license, lamp, checkCount, checkTime, checker, newLicense, newCompany;
};

QVariant text(const QString &s) { return s.isNull() ? u""_s : s; }
QVariant when(const QDateTime &t) { return t.isValid() ? QVariant(t) : QVariant(); }

void addEvent(Database &db, const QString &station, const EventRow &e)
{
    if (station.isEmpty())
        throw ServiceError(svcerr::BadArgument, u"检查通知缺少站点编码"_s);
    const Dialect &dialect = db.dialect();
    db.transact([&] {
        // Writers take turns from here to their commit, so an event with a
        // higher id never becomes visible before one with a lower id.
        if (const QString lock = dialect.transactionLockStatement(); !lock.isEmpty())
            db.scalar(lock, {kEventLockKey});
        db.exec(u"INSERT INTO check_events (station_code, event, bus_id, bus_date, license, lamp, check_count, "
                "check_time, checker, new_license, new_company, created_at) "
                "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "_s + dialect.nowExpression() + u')',
                {station, e.event, e.busId, e.busDate, e.license, e.lamp, e.checkCount, e.checkTime, e.checker,
                 e.newLicense, e.newCompany});
        if (const QString notify = dialect.notifyStatement(); !notify.isEmpty())
            db.scalar(notify, {kChannel, station});
    });
}

QAtomicInteger<quint32> g_notifierSerial;

} // namespace

// ---------------------------------------------------------------- writers

namespace CheckEvents {

namespace {

// An event of the trip busId of busDate, with its lamp.
EventRow tripEvent(const QString &event, const QString &busId, const QDateTime &busDate, const QVariant &lamp)
{
    EventRow e;
    e.event = event;
    e.busId = text(busId);
    e.busDate = when(busDate);
    e.lamp = lamp;
    return e;
}

// An event of the vehicle license on date: the lamp, who checked it and when.
EventRow vehicleEvent(const QString &event, const QString &license, const QDateTime &date, int lamp,
                      const QDateTime &checkTime, const QString &checker)
{
    EventRow e;
    e.event = event;
    e.license = text(license);
    e.busDate = when(date);
    e.lamp = lamp;
    e.checkTime = when(checkTime);
    e.checker = text(checker);
    return e;
}

} // namespace

void driverCheck(Database &db, const QString &station, const QString &busId, const QDateTime &busDate, int lamp)
{
    addEvent(db, station, tripEvent(u"DriverCheck"_s, busId, busDate, lamp));
}

void schemeCheck(Database &db, const QString &station, const QString &busId, const QDateTime &busDate, int lamp,
                 const QDateTime &checkTime)
{
    EventRow e = tripEvent(u"SchemeCheck"_s, busId, busDate, lamp);
    e.checkTime = when(checkTime);
    addEvent(db, station, e);
}

void schemeExCheck(Database &db, const QString &station, const QString &busId, const QDateTime &busDate, int lamp)
{
    addEvent(db, station, tripEvent(u"SchemeExCheck"_s, busId, busDate, lamp));
}

void techCheck(Database &db, const QString &station, const QString &license, const QDateTime &checkDate, int lamp,
               int checkCount, const QDateTime &checkTime, const QString &checker)
{
    EventRow e = vehicleEvent(u"TechCheck"_s, license, checkDate, lamp, checkTime, checker);
    e.checkCount = checkCount;
    addEvent(db, station, e);
}

void faceCheck(Database &db, const QString &station, const QString &busId, const QDateTime &busDate, int lamp,
               int checkCount, const QDateTime &checkTime, const QString &checker)
{
    EventRow e = tripEvent(u"FaceCheck"_s, busId, busDate, lamp);
    e.checkCount = checkCount;
    e.checkTime = when(checkTime);
    e.checker = text(checker);
    addEvent(db, station, e);
}

void returnCheck(Database &db, const QString &station, const QString &license, const QDateTime &date, int lamp,
                 const QDateTime &returnTime, const QString &checker)
{
    addEvent(db, station, vehicleEvent(u"ReturnCheck"_s, license, date, lamp, returnTime, checker));
}

int pruneOlderThan(Database &db, const QDateTime &before)
{
    if (!before.isValid())
        throw ServiceError(svcerr::BadArgument, u"清理检查通知缺少日期"_s);
    int removed = 0;
    db.transact([&] {
        removed = db.scalar(u"SELECT count(*) FROM check_events WHERE created_at < ?"_s, {before}).toInt();
        db.exec(u"DELETE FROM check_events WHERE created_at < ?"_s, {before});
    });
    return removed;
}

void replaceVehicle(Database &db, const QString &station, const QString &busId, const QDateTime &busDate,
                    const QString &newLicense, const QString &newCompanyShortName)
{
    EventRow e = tripEvent(u"ReplaceVehicle"_s, busId, busDate, QVariant());
    e.newLicense = text(newLicense);
    e.newCompany = text(newCompanyShortName);
    addEvent(db, station, e);
}

} // namespace CheckEvents

// ---------------------------------------------------------------- subscriber

namespace {

// The arguments of one outbox row; ok() turns false when a column an event
// needs is NULL or unreadable.
class Args {
public:
    Args(const QSqlRecord &rec, const Dialect &dialect) : m_rec(rec), m_dialect(dialect) {}
    bool ok() const { return m_ok; }
    QString text(const QString &col)
    {
        const QVariant v = m_rec.value(col);
        if (m_rec.isNull(col)) { m_ok = false; return {}; }
        return v.toString();
    }
    int integer(const QString &col)
    {
        bool ok = false;
        const int n = m_rec.isNull(col) ? 0 : m_rec.value(col).toInt(&ok);
        m_ok = m_ok && ok;
        return n;
    }
    // NULL is a date the writer did not have (an invalid date-time).
    QDateTime dateTime(const QString &col)
    {
        if (m_rec.isNull(col))
            return {};
        const QDateTime t = m_dialect.fromDb(m_rec.value(col), FieldType::DateTime).toDateTime();
        m_ok = m_ok && t.isValid();
        return t;
    }

    // The arguments most events share, read from the columns an event
    // uses: the trip (bus_id) or vehicle (license) it is about and its date,
    // and those of `uses`. Columns it does not use are not read, so their
    // NULL does not make the event unreadable.
    enum Use { Lamp = 1, Count = 2, Time = 4, Checker = 8 };
    struct Shared {
        QString key;
        QDateTime date;
        int lamp = 0;
        int count = 0;
        QDateTime time;
        QString checker;
    };
    Shared shared(const QString &keyColumn, int uses)
    {
        Shared s;
        s.key = text(keyColumn);
        s.date = dateTime(u"bus_date"_s);
        if (uses & Lamp)
            s.lamp = integer(u"lamp"_s);
        if (uses & Count)
            s.count = integer(u"check_count"_s);
        if (uses & Time)
            s.time = dateTime(u"check_time"_s);
        if (uses & Checker)
            s.checker = text(u"checker"_s);
        return s;
    }

private:
    QSqlRecord m_rec;
    const Dialect &m_dialect;
    bool m_ok = true;
};

} // namespace

struct CheckNotifier::Impl {
    explicit Impl(Database &database) : db(database) {}

    Database &db;
    QString station;
    bool subscribed = false;
    bool haveStart = false;   // the starting point (last id) has been read
    qint64 lastId = 0;        // the last event delivered (or skipped)
    QTimer timer;
    QSqlDatabase conn;        // this notifier's own reading (and listening) connection
    QString connName;
    bool warned = false;
    bool pollQueued = false;  // a read requested by a notification is pending
    QFileSystemWatcher *watcher = nullptr; // the files commits write (no notifications)

    bool notifies() const { return db.dialect().hasNotifications(); }
    bool open(CheckNotifier *self);
    void close();
    void watchCommits(CheckNotifier *self);
    void queuePoll(CheckNotifier *self);
    void commitSeen(CheckNotifier *self);
};

// A read at once, after the current signal handling: coalesces a burst of
// wake-ups into one read.
void CheckNotifier::Impl::queuePoll(CheckNotifier *self)
{
    if (pollQueued)
        return;
    pollQueued = true;
    QMetaObject::invokeMethod(self, &CheckNotifier::poll, Qt::QueuedConnection);
}

// A commit file changed: read now, and again a little later. The file
// changes when the commit's pages are written, which can be a moment before
// the commit is visible to readers; the later reads catch it then, long
// before the next poll.
void CheckNotifier::Impl::commitSeen(CheckNotifier *self)
{
    queuePoll(self);
    for (int ms : {5, 25}) {
        QTimer::singleShot(ms, self, [self, this] {
            if (subscribed)
                queuePoll(self);
        });
    }
}

// Watches the files a commit writes, and their folder, where one comes back
// after a checkpoint removed it. Watching is an acceleration only: the poll
// delivers everything without it.
void CheckNotifier::Impl::watchCommits(CheckNotifier *self)
{
    const QStringList files = db.dialect().filesWrittenByCommits(db.config().sqlitePath);
    if (files.isEmpty())
        return;
    if (!watcher) {
        watcher = new QFileSystemWatcher(self);
        QObject::connect(watcher, &QFileSystemWatcher::fileChanged, self, [self, this] { commitSeen(self); });
        QObject::connect(watcher, &QFileSystemWatcher::directoryChanged, self, [self, this, files] {
            // A file of ours that came back is watched again (and was
            // written); other files of the folder are none of our business.
            bool back = false;
            for (const QString &f : files)
                if (!watcher->files().contains(f) && QFileInfo::exists(f))
                    back = watcher->addPath(f) || back;
            if (back)
                commitSeen(self);
        });
        const QString folder = QFileInfo(files.constFirst()).absolutePath();
        if (QFileInfo(folder).isDir())
            watcher->addPath(folder);
    }
    for (const QString &f : files)
        if (!watcher->files().contains(f) && QFileInfo::exists(f))
            watcher->addPath(f);
}

CheckNotifier::CheckNotifier(Database &db, QObject *parent)
    : QObject(parent), d(std::make_unique<Impl>(db))
{
    d->timer.setInterval(d->notifies() ? kSafetyNetPollMs : kPollMs);
    connect(&d->timer, &QTimer::timeout, this, &CheckNotifier::poll);
}

CheckNotifier::~CheckNotifier()
{
    Unsubscribe();
}

QString CheckNotifier::stationCode() const
{
    return d->subscribed ? d->station : QString();
}

bool CheckNotifier::Subscribe(const QString &stationCode)
{
    if (d->subscribed && stationCode == d->station)
        return true;
    Unsubscribe();
    d->station = stationCode;
    d->subscribed = true;
    d->haveStart = false;
    d->lastId = 0;
    d->warned = false;
    // Take the starting point now; if the database cannot be reached yet the
    // next poll takes it.
    poll();
    d->timer.start();
    if (!d->notifies())
        d->watchCommits(this);
    return true;
}

void CheckNotifier::Unsubscribe()
{
    d->timer.stop();
    delete d->watcher;
    d->watcher = nullptr;
    d->pollQueued = false;
    d->subscribed = false;
    d->haveStart = false;
    d->close();
}

void CheckNotifier::poll()
{
    d->pollQueued = false;
    if (!d->subscribed)
        return;
    const QString station = d->station;

    std::vector<QSqlRecord> rows;
    bool ok = false;
    // One retry: a connection that was dropped (server restart, terminated
    // backend) is reopened and read again at once.
    for (int attempt = 0; attempt < 2 && !ok; ++attempt) {
        if (d->connName.isEmpty() && !d->open(this))
            break;
        QSqlQuery q(d->conn);
        q.setForwardOnly(true);
        bool queryOk;
        if (!d->haveStart) {
            // Events committed before the subscription are not replayed:
            // a subscriber wants the results from now on.
            queryOk = q.prepare(u"SELECT MAX(id) FROM check_events"_s) && q.exec();
            if (queryOk) {
                d->lastId = q.next() ? q.value(0).toLongLong() : 0;
                d->haveStart = true;
                ok = true;
            }
        } else {
            queryOk = q.prepare(u"SELECT id, event, bus_id, bus_date, license, lamp, check_count, check_time, "
                                "checker, new_license, new_company FROM check_events "
                                "WHERE station_code = ? AND id > ? ORDER BY id"_s);
            if (queryOk) {
                q.addBindValue(station);
                q.addBindValue(d->lastId);
                queryOk = q.exec();
            }
            if (queryOk) {
                while (q.next())
                    rows.push_back(q.record());
                ok = true;
            }
        }
        if (!queryOk) {
            if (!d->warned)
                qWarning("CheckNotifier: reading check events failed: %s", qUtf8Printable(q.lastError().text()));
            d->warned = true;
            q = QSqlQuery();
            // Reopen on the next attempt; the read starts past the last id
            // delivered, so nothing is missed or delivered twice.
            d->close();
        }
    }
    if (!ok)
        return;
    d->warned = false;

    QPointer<CheckNotifier> self(this);
    for (const QSqlRecord &rec : rows) {
        // A handler may run a nested event loop that polls again, or may end
        // the subscription or destroy the notifier: check before each event.
        if (!self || !d->subscribed || d->station != station)
            return;
        const qint64 id = rec.value(0).toLongLong();
        if (id <= d->lastId)
            continue;
        d->lastId = id;
        deliver(id, rec);
    }
}

void CheckNotifier::deliver(qint64 id, const QSqlRecord &rec)
{
    Args a(rec, d->db.dialect());
    const QString k = rec.value(u"event"_s).toString();
    const QString trip = u"bus_id"_s, vehicle = u"license"_s;
    if (k == u"DriverCheck") {
        const Args::Shared e = a.shared(trip, Args::Lamp);
        if (a.ok()) Q_EMIT DriverCheck(e.key, e.date, e.lamp);
    } else if (k == u"SchemeCheck") {
        const Args::Shared e = a.shared(trip, Args::Lamp | Args::Time);
        if (a.ok()) Q_EMIT SchemeCheck(e.key, e.date, e.lamp, e.time);
    } else if (k == u"SchemeExCheck") {
        const Args::Shared e = a.shared(trip, Args::Lamp);
        if (a.ok()) Q_EMIT SchemeExCheck(e.key, e.date, e.lamp);
    } else if (k == u"TechCheck") {
        const Args::Shared e = a.shared(vehicle, Args::Lamp | Args::Count | Args::Time | Args::Checker);
        if (a.ok()) Q_EMIT TechCheck(e.key, e.date, e.lamp, e.count, e.time, e.checker);
    } else if (k == u"FaceCheck") {
        const Args::Shared e = a.shared(trip, Args::Lamp | Args::Count | Args::Time | Args::Checker);
        if (a.ok()) Q_EMIT FaceCheck(e.key, e.date, e.lamp, e.count, e.time, e.checker);
    } else if (k == u"ReturnCheck") {
        const Args::Shared e = a.shared(vehicle, Args::Lamp | Args::Time | Args::Checker);
        if (a.ok()) Q_EMIT ReturnCheck(e.key, e.date, e.lamp, e.time, e.checker);
    } else if (k == u"ReplaceVehicle") {
        const Args::Shared e = a.shared(trip, 0);
        const QString newLicense = a.text(u"new_license"_s);
        const QString company = a.text(u"new_company"_s);
        if (a.ok()) Q_EMIT ReplaceVehicle(e.key, e.date, newLicense, company);
    } else {
        qWarning("CheckNotifier: check event %lld skipped: unknown event \"%s\"", id, qUtf8Printable(k));
        return;
    }
    if (!a.ok())
        qWarning("CheckNotifier: check event %lld (%s) skipped: its arguments are missing or unreadable", id,
                 qUtf8Printable(k));
}

// Opens (or reopens) this notifier's connection. Where the backend notifies
// it also listens on the event channel; a notification for our station reads the
// outbox at once.
bool CheckNotifier::Impl::open(CheckNotifier *self)
{
    const QString name = u"cg-notifier-%1"_s.arg(g_notifierSerial.fetchAndAddRelaxed(1));
    try {
        conn = db.openExtraConnection(name);
    } catch (const ServiceError &e) {
        if (!warned)
            qWarning("CheckNotifier: cannot connect: %s", qUtf8Printable(e.description()));
        warned = true;
        conn = QSqlDatabase();
        return false;
    }
    connName = conn.connectionName();
    if (warned)
        qInfo("CheckNotifier: connected again");
    warned = false;
    if (notifies()) {
        QSqlDriver *driver = conn.driver();
        if (!driver->subscribeToNotification(kChannel)) {
            // Polling still delivers everything, only later.
            qWarning("CheckNotifier: LISTEN failed: %s", qUtf8Printable(driver->lastError().text()));
        }
        // The read is queued, not run inside the driver's own signal: a read
        // that finds the connection gone closes it, and a handler may delete
        // the notifier, either of which destroys the driver.
        QObject::connect(driver, &QSqlDriver::notification, self,
                         [self, this](const QString &channel, QSqlDriver::NotificationSource, const QVariant &payload) {
                             if (channel != kChannel || pollQueued)
                                 return;
                             const QString station = payload.toString();
                             if (!station.isEmpty() && station != self->stationCode())
                                 return;
                             pollQueued = true;
                             QMetaObject::invokeMethod(self, &CheckNotifier::poll, Qt::QueuedConnection);
                         });
    }
    return true;
}

void CheckNotifier::Impl::close()
{
    if (connName.isEmpty())
        return;
    if (conn.isValid() && conn.driver())
        QObject::disconnect(conn.driver(), nullptr, nullptr, nullptr);
    conn.close();
    conn = QSqlDatabase();
    QSqlDatabase::removeDatabase(connName);
    connName.clear();
}

} // namespace cg
