// Writing arrangements and substitutions.
#include "services/scheduling/arrangementservice.h"

#include "core/dates.h"
#include "core/text.h"
#include "services/database/database.h"

using namespace Qt::StringLiterals;

namespace cg {

namespace {

QString dayText(const QDateTime &t)
{
    return t.date().toString(u"yyyy-MM-dd"_s);
}

// A refusal: the reason, nothing written.
struct Refused {
    QString why;
};

struct Row {
    QString vehicle;
    QString driverName;
    QDateTime start;
    QDateTime end;
    QString memo;
};

QList<Row> readRows(const RecordSet &rows, const QString &driverId)
{
    QList<Row> out;
    for (int r = 0; r < rows.RecordCount(); ++r) {
        const auto text = [&](const QString &f) {
            return rows.hasField(f) ? rows.valueAt(r, f).toString().trimmed() : QString();
        };
        Row row{text(u"license_id"_s), text(u"driver_name"_s), rows.valueAt(r, u"start_date"_s).toDateTime(),
                rows.valueAt(r, u"end_date"_s).toDateTime(), text(u"Memo"_s)};
        if (row.vehicle.isEmpty())
            throw Refused{u"第%1行没有车辆代码"_s.arg(r + 1)};
        if (const QString d = text(u"driver_id"_s); !d.isEmpty() && d != driverId)
            throw Refused{u"第%1行的驾驶员[%2]不是[%3]"_s.arg(r + 1).arg(d, driverId)};
        if (!row.start.isValid() || !row.end.isValid() || IsNoDate(row.start))
            throw Refused{u"车辆[%1]的排班没有开始或结束日期"_s.arg(row.vehicle)};
        row.start = DayOf(row.start);
        row.end = DayOf(row.end);
        if (row.end < row.start)
            throw Refused{u"车辆[%1]的排班结束日期%2早于开始日期%3"_s.arg(row.vehicle, dayText(row.end),
                                                                             dayText(row.start))};
        if (AnsiByteLength(row.memo) > 255)
            throw Refused{u"车辆[%1]的排班备注超过255个字节"_s.arg(row.vehicle)};
        out.append(row);
    }
    return out;
}

} // namespace

RecordSet ArrangementService::GetArrangementTemplate()
{
    RecordSet rs;
    rs.appendField(u"license_id"_s, FieldType::Text, 5);
    rs.appendField(u"driver_id"_s, FieldType::Text, 10);
    rs.appendField(u"driver_name"_s, FieldType::Text, 10);
    rs.appendField(u"start_date"_s, FieldType::DateTime, 0);
    rs.appendField(u"end_date"_s, FieldType::DateTime, 0);
    rs.appendField(u"Memo"_s, FieldType::Text, 255);
    return rs;
}

bool ArrangementService::SaveArrangements(const QString &, const QString &driverIdIn, const RecordSet &rows,
                                          QString *reason, const QDateTime &originalStart)
{
    const QString driverId = driverIdIn.trimmed();
    QString why;
    try {
        m_db.transact([&] {
            if (rows.isEmpty() || rows.RecordCount() == 0)
                throw Refused{u"没有要保存的排班"_s};
            const QVariant name =
                m_db.scalar(u"SELECT driver_name FROM drivers WHERE driver_id = ?"_s, {driverId});
            if (!name.isValid())
                throw Refused{u"驾驶员[%1]不存在"_s.arg(driverId)};
            const QList<Row> list = readRows(rows, driverId);
            const bool modifying = originalStart.isValid() && !IsNoDate(originalStart);
            if (modifying && list.size() != 1)
                throw Refused{u"修改排班时只能保存一条"_s};
            for (int i = 0; i < list.size(); ++i) {
                const Row &row = list.at(i);
                if (!m_db.scalar(u"SELECT license_id FROM vehicles WHERE license_id = ?"_s, {row.vehicle}).isValid())
                    throw Refused{u"车辆[%1]不存在"_s.arg(row.vehicle)};
                for (int j = 0; j < i; ++j)
                    if (list.at(j).vehicle == row.vehicle && list.at(j).start <= row.end && row.start <= list.at(j).end)
                        throw Refused{u"车辆[%1]的两条排班时间重叠"_s.arg(row.vehicle)};
            }
            for (const Row &row : list) {
                // The arrangement this row replaces: the one being modified,
                // else the one with the same vehicle and start day.
                const QDateTime replacedDay = modifying ? DayOf(originalStart) : row.start;
                const QVariant replaced = m_db.scalar(
                    u"SELECT start_date FROM arrangements WHERE license_id = ? AND driver_id = ? "
                    u"AND start_date >= ? AND start_date < ?"_s,
                    {row.vehicle, driverId, replacedDay, replacedDay.addDays(1)});
                if (modifying && !replaced.isValid())
                    throw Refused{u"车辆[%1]驾驶员[%2]%3开始的排班不存在，可能已被删除"_s.arg(
                        row.vehicle, driverId, dayText(originalStart))};
                // Another arrangement of this driver and vehicle over any of these days.
                QString otherSql = u"SELECT start_date FROM arrangements WHERE license_id = ? AND driver_id = ? "
                                   u"AND start_date < ? AND end_date >= ?"_s;
                QVariantList binds{row.vehicle, driverId, row.end.addDays(1), row.start};
                if (replaced.isValid()) {
                    otherSql += u" AND start_date <> ?"_s;
                    binds << replaced;
                }
                const QVariant other = m_db.scalar(otherSql, binds);
                if (other.isValid())
                    throw Refused{u"驾驶员[%1]在车辆[%2]上已有%3开始的排班，时间重叠"_s.arg(
                        driverId, row.vehicle, dayText(other.toDateTime()))};
                if (replaced.isValid()) {
                    // An update keeps the arrangement's substitutions (they follow its start).
                    m_db.exec(u"UPDATE arrangements SET start_date = ?, end_date = ?, driver_name = ?, memo = ? "
                              u"WHERE license_id = ? AND driver_id = ? AND start_date = ?"_s,
                              {row.start, row.end, name, row.memo, row.vehicle, driverId, replaced});
                } else {
                    m_db.exec(u"INSERT INTO arrangements (license_id, driver_id, driver_name, start_date, end_date, "
                              u"memo) VALUES (?, ?, ?, ?, ?, ?)"_s,
                              {row.vehicle, driverId, name, row.start, row.end, row.memo});
                }
            }
        });
    } catch (const Refused &r) {
        why = r.why;
    }
    if (reason)
        *reason = why;
    return why.isEmpty();
}

bool ArrangementService::DeleteArrangement(const QString &, const QString &vehicleCode, const QString &driverId,
                                           const QDateTime &startDate, QString *reason)
{
    QString why;
    m_db.transact([&] {
        const QDateTime day = DayOf(startDate);
        const QVariant start = m_db.scalar(u"SELECT start_date FROM arrangements WHERE license_id = ? AND "
                                           u"driver_id = ? AND start_date >= ? AND start_date < ?"_s,
                                           {vehicleCode, driverId, day, day.addDays(1)});
        if (!start.isValid()) {
            why = u"车辆[%1]驾驶员[%2]%3开始的排班不存在，可能已被删除"_s.arg(vehicleCode, driverId, dayText(day));
            return;
        }
        m_db.exec(u"DELETE FROM substitutions WHERE license_id = ? AND driver_id = ? AND arrangement_start = ?"_s,
                  {vehicleCode, driverId, start});
        m_db.exec(u"DELETE FROM arrangements WHERE license_id = ? AND driver_id = ? AND start_date = ?"_s,
                  {vehicleCode, driverId, start});
    });
    if (reason)
        *reason = why;
    return why.isEmpty();
}

bool ArrangementService::SubstituteDriver(const QString &, const QString &driverId, const QString &vehicleCode,
                                          const QDateTime &arrangementStart, const QString &substituteIdIn,
                                          const QDateTime &start, const QDateTime &end, const QString &memo,
                                          QString *reason)
{
    const QString substituteId = substituteIdIn.trimmed();
    QString why;
    try {
        m_db.transact([&] {
            const QDateTime day = DayOf(arrangementStart);
            const RecordSet arr = m_db.select(
                u"SELECT start_date, end_date FROM arrangements WHERE license_id = ? AND driver_id = ? "
                u"AND start_date >= ? AND start_date < ?"_s,
                {vehicleCode, driverId, day, day.addDays(1)},
                {{u"start_date"_s, FieldType::DateTime, 0}, {u"end_date"_s, FieldType::DateTime, 0}});
            if (arr.RecordCount() != 1)
                throw Refused{u"车辆[%1]驾驶员[%2]%3开始的排班不存在"_s.arg(vehicleCode, driverId, dayText(day))};
            if (substituteId.isEmpty()
                || !m_db.scalar(u"SELECT driver_id FROM drivers WHERE driver_id = ?"_s, {substituteId}).isValid())
                throw Refused{u"顶班驾驶员[%1]不存在"_s.arg(substituteId)};
            if (substituteId == driverId)
                throw Refused{u"顶班驾驶员不能是排班驾驶员本人"_s};
            if (!start.isValid() || !end.isValid())
                throw Refused{u"顶班没有开始或结束日期"_s};
            const QDateTime from = DayOf(start);
            const QDateTime to = DayOf(end);
            if (to < from)
                throw Refused{u"顶班结束日期%1早于开始日期%2"_s.arg(dayText(to), dayText(from))};
            const QDateTime arrStart = arr.valueAt(0, u"start_date"_s).toDateTime();
            const QDateTime arrEnd = arr.valueAt(0, u"end_date"_s).toDateTime();
            if (from < DayOf(arrStart) || to > DayOf(arrEnd))
                throw Refused{u"顶班时间%1至%2不在排班时间%3至%4之内"_s.arg(dayText(from), dayText(to), dayText(arrStart),
                                                                           dayText(arrEnd))};
            const QVariant other = m_db.scalar(
                u"SELECT substitute_id FROM substitutions WHERE license_id = ? AND driver_id = ? "
                u"AND arrangement_start = ? AND start_date < ? AND end_date >= ?"_s,
                {vehicleCode, driverId, arrStart, to.addDays(1), from});
            if (other.isValid())
                throw Refused{u"这段时间已有驾驶员[%1]顶班，时间重叠"_s.arg(other.toString())};
            m_db.exec(u"INSERT INTO substitutions (license_id, driver_id, arrangement_start, substitute_id, "
                      u"start_date, end_date, memo) VALUES (?, ?, ?, ?, ?, ?, ?)"_s,
                      {vehicleCode, driverId, arrStart, substituteId, from, to, memo});
        });
    } catch (const Refused &r) {
        why = r.why;
    }
    if (reason)
        *reason = why;
    return why.isEmpty();
}

} // namespace cg
