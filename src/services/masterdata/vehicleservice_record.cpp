// The vehicle record: adding, rewriting and deleting vehicles.
#include "services/masterdata/vehicleservice.h"

#include "core/clock.h"
#include "core/text.h"
#include "services/database/database.h"
#include "services/database/writtenfields.h"

using namespace Qt::StringLiterals;

namespace cg {

namespace {

// The written columns, in the record screen's order.
constexpr WrittenField kWritten[] = {
    {u"license_id", u"license_id", FieldType::Text, 5},
    {u"license", u"license", FieldType::Text, 10},
    {u"model_id", u"model_id", FieldType::Text, 50},
    {u"service_kind", u"service_kind", FieldType::Text, 20},
    {u"Owner", u"owner", FieldType::Text, 20},
    {u"company_name", u"company_name", FieldType::Text, 30},
    {u"Status", u"status", FieldType::Integer, 0},
    {u"seat_weight_num", u"seat_weight_num", FieldType::Integer, 0},
    {u"create_date", u"create_date", FieldType::DateTime, 0},
    {u"ic_card_id", u"ic_card_id", FieldType::Text, 10},
    {u"driver_num", u"driver_num", FieldType::Integer, 0},
    {u"Memo", u"memo", FieldType::Text, 255},
};

enum Col { Code = 0, Plate = 1, Status = 6, Seats = 7, Card = 9, Drivers = 10 };

// A bound value; an empty text is stored as '' (never NULL: the card
// column is NOT NULL, and an empty text binds as NULL).
QString mark(const WrittenField &c)
{
    return c.type == FieldType::Text ? u"COALESCE(?, '')"_s : u"?"_s;
}

// The values of the written columns from the row, checked.
QVariantList writtenValues(const RecordSet &row)
{
    const QVariantList values =
        WrittenValues(kWritten, row, WrittenTexts::Trimmed, WrittenNumbers::Whole, u"车辆资料为空，无法保存"_s);
    if (values.at(Code).toString().isEmpty())
        throw ArgumentRefused(u"车辆代码不能为空"_s);
    if (values.at(Plate).toString().isEmpty())
        throw ArgumentRefused(u"车牌号不能为空"_s);
    if (const int over = FirstOverByteLimit(kWritten, values); over >= 0)
        throw ArgumentRefused(u"车辆资料的%1超过%2个字节"_s.arg(kWritten[over].fieldName()).arg(kWritten[over].size));
    const qint64 status = values.at(Status).toLongLong();
    if (status != 0 && status != 1)
        throw ArgumentRefused(u"车辆状态只能是正常(0)或停班(1)，不能是%1"_s.arg(status));
    if (values.at(Seats).toLongLong() < 0)
        throw ArgumentRefused(u"座位数不能是负数"_s);
    if (values.at(Drivers).toLongLong() < 1)
        throw ArgumentRefused(u"驾驶人数至少为1"_s);
    return values;
}

// A plate or card already used by another vehicle is refused, naming it.
void requireUnused(Database &db, const QVariantList &values, const QString &self)
{
    const auto holder = [&](const QString &column, const QString &value) {
        return db.scalar(u"SELECT license_id FROM vehicles WHERE %1 = ? AND license_id <> ?"_s.arg(column),
                         {value, self}).toString();
    };
    const QString plate = values.at(Plate).toString();
    if (const QString other = holder(u"license"_s, plate); !other.isEmpty())
        throw ArgumentRefused(u"车牌号[%1]已被车辆[%2]使用，不能重复"_s.arg(plate, other));
    const QString card = values.at(Card).toString();
    if (card.isEmpty())
        return;
    if (const QString other = holder(u"ic_card_id"_s, card); !other.isEmpty()) {
        const QString otherPlate =
            db.scalar(u"SELECT license FROM vehicles WHERE license_id = ?"_s, {other}).toString();
        throw ArgumentRefused(u"IC卡号[%1]已被车辆[%2]（%3）使用，不能重复"_s.arg(card, other, otherPlate));
    }
}

} // namespace

RecordSet VehicleService::GetVehicleTemplate()
{
    return WrittenTemplate(kWritten);
}

QString VehicleService::AddVehicle(const QString &, const RecordSet &row)
{
    QString code;
    m_db.transact([&] {
        const QVariantList values = writtenValues(row);
        code = values.at(Code).toString();
        const QVariant taken = m_db.scalar(u"SELECT license FROM vehicles WHERE license_id = ?"_s, {code});
        if (taken.isValid())
            throw ArgumentRefused(u"车辆代码[%1]已经存在（车牌号%2）"_s.arg(code, taken.toString()));
        requireUnused(m_db, values, code);
        QStringList marks;
        for (const WrittenField &c : kWritten)
            marks << mark(c);
        m_db.exec(u"INSERT INTO vehicles (%1) VALUES (%2)"_s.arg(WrittenColumnList(kWritten), marks.join(u", "_s)),
                  values);
    });
    return code;
}

void VehicleService::UpdateVehicle(const QString &, const QString &id, const RecordSet &row)
{
    m_db.transact([&] {
        if (id.trimmed().isEmpty())
            throw ArgumentRefused(u"没有车辆代码，请先保存车辆资料"_s);
        if (!m_db.scalar(u"SELECT license_id FROM vehicles WHERE license_id = ?"_s, {id}).isValid())
            throw ServiceError(svcerr::NotFound, u"车辆[%1]不存在，可能已被删除"_s.arg(id));
        QVariantList values = writtenValues(row);
        if (values.at(Code).toString() != id)
            throw ArgumentRefused(u"车辆代码不能修改（[%1]不是[%2]）"_s.arg(values.at(Code).toString(), id));
        requireUnused(m_db, values, id);
        QStringList sets;
        for (const WrittenField &c : kWritten)
            sets << c.columnName() + u" = "_s + mark(c);
        values.append(id);
        m_db.exec(u"UPDATE vehicles SET %1 WHERE license_id = ?"_s.arg(sets.join(u", "_s)), values);
    });
}

bool VehicleService::DeleteVehicle(const QString &, const QString &id, QString *reason)
{
    QString why;
    m_db.transact([&] {
        if (!m_db.scalar(u"SELECT license_id FROM vehicles WHERE license_id = ?"_s, {id}).isValid()) {
            why = u"车辆[%1]不存在，可能已被删除"_s.arg(id);
            return;
        }
        const auto count = [&](const QString &sql, const QVariantList &binds) {
            return m_db.scalar(sql, binds).toLongLong();
        };
        if (count(u"SELECT COUNT(*) FROM arrangements WHERE license_id = ?"_s, {id}) > 0) {
            why = u"车辆[%1]还有驾驶员排班，请先删除它的排班"_s.arg(id);
            return;
        }
        // A trip still to run would lose its vehicle at the gate.
        const QDateTime today(m_clock.today(), QTime(0, 0));
        if (count(u"SELECT COUNT(*) FROM trips WHERE license_id = ? AND bus_date >= ?"_s, {id, today}) > 0
            || count(u"SELECT COUNT(*) FROM rolling_trips WHERE license_id = ? AND bus_date >= ?"_s, {id, today})
                   > 0) {
            why = u"车辆[%1]还有今天或以后的车次，不能删除"_s.arg(id);
            return;
        }
        m_db.exec(u"DELETE FROM vehicles WHERE license_id = ?"_s, {id});
    });
    if (reason)
        *reason = why;
    return why.isEmpty();
}

} // namespace cg
