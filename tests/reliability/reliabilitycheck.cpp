#include "reliabilitycheck.h"

#include "core/clock.h"
#include "services/checks/checkservice.h"
#include "services/database/database.h"

#include <QHash>
#include <QMap>
#include <QSet>

using namespace Qt::StringLiterals;

namespace cg::test {

namespace {

QDateTime midnight(const QDate &d) { return QDateTime(d, QTime(0, 0)); }

// Each row of a text-only select as the key kind|column 1|column 2|...
void addKeys(Database &db, QStringList &out, const QString &kind, const QString &sql, const QVariantList &binds)
{
    const RecordSet rs = db.select(sql, binds);
    for (int r = 0; r < rs.RecordCount(); ++r) {
        QStringList parts{kind};
        for (const QVariant &v : rs.row(r))
            parts << v.toString();
        out << opKey(parts);
    }
}

QString eventOf(const QString &kind)
{
    static const QHash<QString, QString> events{
        {u"checkin"_s, u"DriverCheck"_s}, {u"uncheckin"_s, u"DriverCheck"_s}, {u"forcedriver"_s, u"DriverCheck"_s},
        {u"verdict"_s, u"TechCheck"_s},   {u"unverdict"_s, u"TechCheck"_s},   {u"forcecond"_s, u"TechCheck"_s},
        {u"sheet"_s, u"SchemeCheck"_s},   {u"depart"_s, u"SchemeExCheck"_s},  {u"face"_s, u"FaceCheck"_s},
        {u"unface"_s, u"FaceCheck"_s},    {u"forceface"_s, u"FaceCheck"_s},
    };
    return events.value(kind, u"?"_s + kind);
}

// The lamp of the latest event of each key ("Event|key" -> lamp).
QHash<QString, int> latestEventLamps(Database &db, const QString &station)
{
    QHash<QString, int> out;
    for (const QString &e : storedEvents(db, station, 0)) {
        const int cut = e.lastIndexOf(u'|');
        out.insert(e.left(cut), e.mid(cut + 1).toInt());
    }
    return out;
}

} // namespace

QStringList recordedResults(Database &db)
{
    QStringList out;
    // Check-ins written by a forced pass carry the forcing operator ("F...").
    addKeys(db, out, u"checkin"_s,
            u"SELECT bus_id, driver_run_id, operator_name FROM driver_checkins WHERE operator_name NOT LIKE 'F%'"_s,
            {});
    addKeys(db, out, u"uncheckin"_s, u"SELECT bus_id, driver_run_id FROM driver_checkins WHERE is_driver = 0"_s, {});
    addKeys(db, out, u"forcedriver"_s, u"SELECT bus_id, cause FROM forced_releases WHERE pass_type = 3"_s, {});
    addKeys(db, out, u"verdict"_s,
            u"SELECT license, check_cause FROM condition_checks WHERE cond_status IN (1, 2)"_s, {});
    addKeys(db, out, u"unverdict"_s, u"SELECT license FROM condition_checks WHERE cancelled = 1"_s, {});
    addKeys(db, out, u"forcecond"_s, u"SELECT license, check_cause FROM condition_checks WHERE cond_status = 5"_s,
            {});
    addKeys(db, out, u"sheet"_s, u"SELECT bus_id, operator_name FROM route_sheet_issues"_s, {});
    addKeys(db, out, u"depart"_s, u"SELECT bus_id, status, operator_name FROM departures"_s, {});
    addKeys(db, out, u"face"_s, u"SELECT bus_id, checker FROM appearance_checks WHERE check_status IN (1, 2)"_s, {});
    addKeys(db, out, u"unface"_s, u"SELECT bus_id FROM appearance_checks WHERE cancelled = 1"_s, {});
    addKeys(db, out, u"forceface"_s, u"SELECT bus_id, cause FROM forced_releases WHERE pass_type = 1"_s, {});
    return out;
}

QStringList impliedEvents(const QStringList &results)
{
    QStringList out;
    for (const QString &r : results)
        out << eventOf(r.section(u'|', 0, 0)) + u'|' + r.section(u'|', 1, 1);
    return out;
}

QStringList storedEvents(Database &db, const QString &station, qint64 afterId)
{
    const RecordSet rs = db.select(
        u"SELECT event, bus_id, license, lamp FROM check_events WHERE station_code = ? AND id > ? ORDER BY id"_s,
        {station, afterId},
        {{u"event"_s, FieldType::Text, 20}, {u"bus_id"_s, FieldType::Text, 20}, {u"license"_s, FieldType::Text, 20},
         {u"lamp"_s, FieldType::Integer, 0}});
    QStringList out;
    for (int r = 0; r < rs.RecordCount(); ++r) {
        const QString event = rs.valueAt(r, u"event"_s).toString();
        const bool byPlate = event == u"TechCheck"_s || event == u"ReturnCheck"_s;
        out << eventKey(event, rs.valueAt(r, byPlate ? u"license"_s : u"bus_id"_s).toString(),
                        rs.valueAt(r, u"lamp"_s).toInt());
    }
    return out;
}

qint64 lastEventId(Database &db)
{
    return db.scalar(u"SELECT COALESCE(MAX(id), 0) FROM check_events"_s).toLongLong();
}

QStringList lampFaults(Database &db, const QString &context, const QString &unit, const QString &station,
                       const QDate &day)
{
    QStringList faults;
    const auto fault = [&](const QString &what, const QString &key, const QVariant &stored, const QVariant &implied) {
        faults << u"%1 %2: stored %3, records give %4"_s.arg(what, key, stored.toString(), implied.toString());
    };
    const QHash<QString, int> lastLamp = latestEventLamps(db, station);
    const auto eventFault = [&](const QString &event, const QString &key, int stored) {
        const auto it = lastLamp.constFind(event + u'|' + key);
        if (it != lastLamp.constEnd() && *it != stored)
            faults << u"%1 %2: stored lamp %3, latest event says %4"_s.arg(event, key).arg(stored).arg(*it);
    };

    const ManualClock clock(QDateTime(day, QTime(23, 0)));
    CheckService checks(db, clock);
    const RecordSet trips = checks.QueryDayTrips(context, midnight(day), QString(), QString(), QString(), QString(),
                                                 QVariant(), 1, unit);
    const QDateTime since = clock.now().addSecs(-24 * 3600);
    // Trips nothing was recorded or sent for keep the seed's lamps.
    QSet<QString> touched;
    for (const QString &r : recordedResults(db))
        touched.insert(r.section(u'|', 1, 1));
    for (auto it = lastLamp.cbegin(); it != lastLamp.cend(); ++it)
        touched.insert(it.key().section(u'|', 1, 1));
    for (int i = 0; i < trips.RecordCount(); ++i) {
        const QString bus = trips.valueAt(i, u"bus_id"_s).toString();
        const QString plate = trips.valueAt(i, u"license_tag_no"_s).toString();
        if (!touched.contains(bus) && !touched.contains(plate))
            continue;
        const QVariantList key{midnight(day), bus};

        // Driver lamp: 0 without a valid check-in, else 1, or 5 after a forced pass.
        const int driver = trips.valueAt(i, u"driver_verify_status"_s).toInt();
        if (driver != 3) {
            const int valid = db.scalar(u"SELECT COUNT(*) FROM driver_checkins WHERE bus_date = ? AND bus_id = ? "
                                        u"AND is_driver = 1"_s, key).toInt();
            const int forced = db.scalar(u"SELECT COUNT(*) FROM forced_releases WHERE bus_date = ? AND bus_id = ? "
                                         u"AND pass_type = 3"_s, key).toInt();
            if (valid == 0 && driver != 0)
                fault(u"driver lamp"_s, bus, driver, 0);
            if (valid > 0 && driver != 1 && !(driver == 5 && forced > 0))
                fault(u"driver lamp"_s, bus, driver, forced > 0 ? u"1 or 5"_s : u"1"_s);
        }
        eventFault(u"DriverCheck"_s, bus, driver);

        // Route sheet: issued once any issue is recorded, at the latest issue's time.
        const RecordSet issue = db.select(u"SELECT issue_time FROM route_sheet_issues WHERE bus_date = ? AND bus_id = ? "
                                          u"ORDER BY id DESC LIMIT 1"_s, key,
                                          {{u"issue_time"_s, FieldType::DateTime, 0}});
        const int scheme = trips.valueAt(i, u"SchemeStatus"_s).toInt();
        if (scheme != (issue.isEmpty() ? 0 : 1))
            fault(u"route sheet lamp"_s, bus, scheme, issue.isEmpty() ? 0 : 1);
        if (!issue.isEmpty() && trips.valueAt(i, u"scheme_time"_s).toDateTime() != issue.valueAt(0, u"issue_time"_s).toDateTime())
            fault(u"route sheet time"_s, bus, trips.valueAt(i, u"scheme_time"_s), issue.valueAt(0, u"issue_time"_s));
        eventFault(u"SchemeCheck"_s, bus, scheme);

        // Departure: the latest decision, with its time when allowed.
        const RecordSet dep = db.select(u"SELECT status, decided_at FROM departures WHERE bus_date = ? AND bus_id = ? "
                                        u"ORDER BY id DESC LIMIT 1"_s, key,
                                        {{u"status"_s, FieldType::Integer, 0}, {u"decided_at"_s, FieldType::DateTime, 0}});
        const int out = trips.valueAt(i, u"OutStatus"_s).toInt();
        const int wantOut = dep.isEmpty() ? 0 : dep.valueAt(0, u"status"_s).toInt();
        if (out != wantOut)
            fault(u"departure lamp"_s, bus, out, wantOut);
        if (wantOut == 1 && trips.valueAt(i, u"exit_time"_s).toDateTime() != dep.valueAt(0, u"decided_at"_s).toDateTime())
            fault(u"exit time"_s, bus, trips.valueAt(i, u"exit_time"_s), dep.valueAt(0, u"decided_at"_s));
        eventFault(u"SchemeExCheck"_s, bus, out);

        // Appearance: the latest check not undone, and the number of those.
        const RecordSet face = db.select(u"SELECT check_status FROM appearance_checks WHERE bus_date = ? AND bus_id = ? "
                                         u"AND cancelled = 0 ORDER BY face_index DESC"_s, key,
                                         {{u"check_status"_s, FieldType::Integer, 0}});
        const int look = trips.valueAt(i, u"AppearanceStatus"_s).toInt();
        const int wantLook = face.isEmpty() ? 0 : face.valueAt(0, u"check_status"_s).toInt();
        if (look != wantLook)
            fault(u"appearance lamp"_s, bus, look, wantLook);
        if (trips.valueAt(i, u"face_check_num"_s).toInt() != face.RecordCount())
            fault(u"appearance count"_s, bus, trips.valueAt(i, u"face_check_num"_s), face.RecordCount());
        eventFault(u"FaceCheck"_s, bus, look);

        // Condition: the vehicle's latest verdict not undone within the
        // validity hours, the later id first at equal times.
        if (db.scalar(u"SELECT is_cond FROM vehicles WHERE license = ?"_s, {plate}).toInt() != 0) {
            const RecordSet cond = db.select(
                u"SELECT id, cond_status, cond_time FROM condition_checks WHERE license = ? AND cancelled = 0 "
                u"AND cond_status IN (1, 2, 5)"_s, {plate},
                {{u"id"_s, FieldType::Integer, 0}, {u"cond_status"_s, FieldType::Integer, 0},
                 {u"cond_time"_s, FieldType::DateTime, 0}});
            int wantState = 0;
            qint64 bestId = -1;
            QDateTime bestAt;
            for (int r = 0; r < cond.RecordCount(); ++r) {
                const QDateTime at = cond.valueAt(r, u"cond_time"_s).toDateTime();
                const qint64 id = cond.valueAt(r, u"id"_s).toLongLong();
                if (!at.isValid() || at < since)
                    continue;
                if (bestId < 0 || at > bestAt || (at == bestAt && id > bestId)) {
                    bestId = id;
                    bestAt = at;
                    wantState = cond.valueAt(r, u"cond_status"_s).toInt();
                }
            }
            const int state = trips.valueAt(i, u"StateStatus"_s).toInt();
            if (state != wantState)
                fault(u"condition lamp"_s, plate, state, wantState);
            eventFault(u"TechCheck"_s, plate, state);
        }
    }

    // Parts of one write that must exist together.
    QStringList forcedCond, checkedCond;
    addKeys(db, forcedCond, u"c"_s, u"SELECT cause FROM forced_releases WHERE pass_type = 2"_s, {});
    addKeys(db, checkedCond, u"c"_s, u"SELECT check_cause FROM condition_checks WHERE cond_status = 5"_s, {});
    if (const QString d = multisetDifference(forcedCond, checkedCond); !d.isEmpty())
        faults << u"forced condition passes without their check or the reverse: "_s + d;
    QStringList forcedFace, checkedFace;
    addKeys(db, forcedFace, u"f"_s, u"SELECT bus_id, operator_name FROM forced_releases WHERE pass_type = 1"_s, {});
    addKeys(db, checkedFace, u"f"_s, u"SELECT bus_id, checker FROM appearance_checks WHERE check_status = 5"_s, {});
    if (const QString d = multisetDifference(forcedFace, checkedFace); !d.isEmpty())
        faults << u"forced appearance passes without their check or the reverse: "_s + d;
    const int orphanCheckins = db.scalar(
        u"SELECT COUNT(*) FROM driver_checkins c WHERE c.operator_name LIKE 'F%' AND NOT EXISTS "
        u"(SELECT 1 FROM forced_releases f WHERE f.pass_type = 3 AND f.bus_date = c.bus_date "
        u"AND f.bus_id = c.bus_id AND f.driver_id = c.driver_run_id)"_s).toInt();
    if (orphanCheckins > 0)
        faults << u"%1 check-ins of a forced pass without the pass"_s.arg(orphanCheckins);
    const int unchecked = db.scalar(u"SELECT COUNT(*) FROM forced_releases f WHERE f.pass_type = 3 AND NOT EXISTS "
                                    u"(SELECT 1 FROM driver_checkins c WHERE c.bus_date = f.bus_date "
                                    u"AND c.bus_id = f.bus_id AND c.driver_run_id = f.driver_id)"_s).toInt();
    if (unchecked > 0)
        faults << u"%1 forced driver passes without a check-in"_s.arg(unchecked);
    return faults;
}

QString integrityCheck(Database &db)
{
    if (db.backend() != Backend::Sqlite)
        return u"ok"_s;
    const RecordSet rs = db.select(u"PRAGMA integrity_check"_s);
    QStringList lines;
    for (int r = 0; r < rs.RecordCount(); ++r)
        lines << rs.row(r).value(0).toString();
    return lines.join(u"; "_s);
}

QString multisetDifference(const QStringList &expected, const QStringList &actual)
{
    QMap<QString, int> count;
    for (const QString &e : expected)
        ++count[e];
    for (const QString &a : actual)
        --count[a];
    QStringList missing, extra;
    for (auto it = count.cbegin(); it != count.cend(); ++it) {
        for (int n = 0; n < it.value(); ++n)
            missing << it.key();
        for (int n = 0; n < -it.value(); ++n)
            extra << it.key();
    }
    if (missing.isEmpty() && extra.isEmpty())
        return {};
    const auto few = [](const QStringList &l) {
        return QStringLiteral("%1 [%2%3]").arg(l.size()).arg(l.mid(0, 8).join(u", "_s), l.size() > 8 ? u", ..."_s : u""_s);
    };
    return u"missing %1, extra %2"_s.arg(few(missing), few(extra));
}

QStringList reportedResults(const QByteArray &workerOutput)
{
    QStringList out;
    for (const QString &line : QString::fromUtf8(workerOutput).split(u'\n'))
        if (line.startsWith(u"OK "_s))
            out << line.mid(3);
    return out;
}

} // namespace cg::test
