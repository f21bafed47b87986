// The driver record: adding, rewriting and deleting drivers, and storing
// their fingerprint templates.
#include "services/masterdata/driverservice.h"

#include "core/text.h"
#include "services/database/database.h"
#include "services/database/writtenfields.h"

using namespace Qt::StringLiterals;

namespace cg {

namespace {

// The written columns, in the record screen's order.
constexpr WrittenField kWritten[] = {
    {u"driver_id", u"driver_id", FieldType::Text, 10},
    {u"driver_name", u"driver_name", FieldType::Text, 10},
    {u"sex", u"sex", FieldType::Text, 2},
    {u"credit", u"credit", FieldType::Text, 18},
    {u"birth_date", u"birth_date", FieldType::DateTime, 0},
    {u"link_phone", u"link_phone", FieldType::Text, 20},
    {u"home_phone", u"home_phone", FieldType::Text, 30},
    {u"Address", u"address", FieldType::Text, 50},
    {u"cert_kind", u"cert_kind", FieldType::Text, 4},
    {u"service_kind", u"service_kind", FieldType::Text, 20},
    {u"job_cert_id", u"job_cert_id", FieldType::Text, 20},
    {u"post_cert_id", u"post_cert_id", FieldType::Text, 20},
    {u"company_name", u"company_name", FieldType::Text, 30},
    {u"in_start_date", u"in_start_date", FieldType::DateTime, 0},
    {u"in_end_date", u"in_end_date", FieldType::DateTime, 0},
    {u"create_date", u"create_date", FieldType::DateTime, 0},
    {u"is_driver", u"is_driver", FieldType::Integer, 0},
    {u"Memo", u"memo", FieldType::Text, 255},
    {u"photo_id", u"photo_id", FieldType::Integer, 0},
    {u"finger_id", u"finger_id", FieldType::Integer, 0},
    {u"finger_id1", u"finger_id1", FieldType::Integer, 0},
};

// The values of the written columns from the row, checked.
QVariantList writtenValues(Database &db, const RecordSet &row)
{
    QVariantList values =
        WrittenValues(kWritten, row, WrittenTexts::AsText, WrittenNumbers::Whole, u"驾驶员资料为空，无法保存"_s);
    const QString number = values.at(0).toString().trimmed();
    const QString name = values.at(1).toString().trimmed();
    if (number.isEmpty())
        throw ArgumentRefused(u"驾驶员编号不能为空"_s);
    if (name.isEmpty())
        throw ArgumentRefused(u"驾驶员姓名不能为空"_s);
    values[0] = number;
    values[1] = name;
    if (const int over = FirstOverByteLimit(kWritten, values); over >= 0)
        throw ArgumentRefused(u"驾驶员资料的%1超过%2个字节"_s.arg(kWritten[over].fieldName()).arg(kWritten[over].size));
    // The three picture ids must name stored pictures (0 = none).
    for (int i = int(std::size(kWritten)) - 3; i < int(std::size(kWritten)); ++i) {
        const qint64 id = values.at(i).toLongLong();
        if (id < 0)
            values[i] = qint64(0);
        else if (id > 0 && !db.scalar(u"SELECT id FROM pictures WHERE id = ?"_s, {id}).isValid())
            throw ArgumentRefused(u"图片[%1]不存在，驾驶员资料没有保存"_s.arg(id));
    }
    return values;
}

void requireDriver(Database &db, const QString &id)
{
    if (id.trimmed().isEmpty())
        throw ArgumentRefused(u"没有驾驶员编号，请先保存驾驶员资料"_s);
    if (!db.scalar(u"SELECT driver_id FROM drivers WHERE driver_id = ?"_s, {id}).isValid())
        throw ServiceError(svcerr::NotFound, u"驾驶员[%1]不存在"_s.arg(id));
}

} // namespace

RecordSet DriverService::GetDriverTemplate()
{
    RecordSet rs = WrittenTemplate(kWritten);
    rs.appendField(u"fng_value"_s, FieldType::Text, 0);
    rs.appendField(u"fng_value1"_s, FieldType::Text, 0);
    return rs;
}

QString DriverService::AddDriver(const QString &, const RecordSet &row)
{
    QString number;
    m_db.transact([&] {
        const QVariantList values = writtenValues(m_db, row);
        number = values.at(0).toString();
        if (m_db.scalar(u"SELECT driver_id FROM drivers WHERE driver_id = ?"_s, {number}).isValid())
            throw ArgumentRefused(u"驾驶员编号[%1]已经存在"_s.arg(number));
        const QStringList marks(qsizetype(std::size(kWritten)), u"?"_s);
        m_db.exec(u"INSERT INTO drivers (%1) VALUES (%2)"_s.arg(WrittenColumnList(kWritten), marks.join(u", "_s)),
                  values);
    });
    return number;
}

void DriverService::UpdateDriver(const QString &, const QString &id, const RecordSet &row)
{
    m_db.transact([&] {
        requireDriver(m_db, id);
        QVariantList values = writtenValues(m_db, row);
        if (values.at(0).toString() != id)
            throw ArgumentRefused(u"驾驶员编号不能修改（[%1]不是[%2]）"_s.arg(values.at(0).toString(), id));
        QStringList sets;
        for (const WrittenField &c : kWritten)
            sets << c.columnName() + u" = ?"_s;
        values.append(id);
        m_db.exec(u"UPDATE drivers SET %1 WHERE driver_id = ?"_s.arg(sets.join(u", "_s)), values);
    });
}

bool DriverService::DeleteDriver(const QString &, const QString &id, QString *reason)
{
    QString why;
    m_db.transact([&] {
        const RecordSet pics = m_db.select(
            u"SELECT photo_id, finger_id, finger_id1 FROM drivers WHERE driver_id = ?"_s, {id},
            {{u"photo_id"_s, FieldType::Integer, 0}, {u"finger_id"_s, FieldType::Integer, 0},
             {u"finger_id1"_s, FieldType::Integer, 0}});
        if (pics.isEmpty()) {
            why = u"驾驶员[%1]不存在，可能已被删除"_s.arg(id);
            return;
        }
        const auto count = [&](const QString &sql) {
            return m_db.scalar(sql, {id}).toLongLong();
        };
        if (count(u"SELECT COUNT(*) FROM arrangements WHERE driver_id = ?"_s) > 0) {
            why = u"驾驶员[%1]还有车辆排班，请先删除他的排班"_s.arg(id);
            return;
        }
        if (count(u"SELECT COUNT(*) FROM substitutions WHERE substitute_id = ?"_s) > 0) {
            why = u"驾驶员[%1]还有顶班记录，不能删除"_s.arg(id);
            return;
        }
        if (count(u"SELECT COUNT(*) FROM temporary_drivers WHERE driver_id = ?"_s) > 0) {
            why = u"驾驶员[%1]还有临时借调记录，不能删除"_s.arg(id);
            return;
        }
        m_db.exec(u"DELETE FROM drivers WHERE driver_id = ?"_s, {id});
        // His pictures go with him, unless another record still points at one.
        for (const QString &f : {u"photo_id"_s, u"finger_id"_s, u"finger_id1"_s}) {
            const qint64 pic = pics.valueAt(0, f).toLongLong();
            if (pic <= 0)
                continue;
            const qint64 users = m_db.scalar(
                u"SELECT COUNT(*) FROM drivers WHERE photo_id = ? OR finger_id = ? OR finger_id1 = ?"_s,
                {pic, pic, pic}).toLongLong();
            if (users == 0)
                m_db.exec(u"DELETE FROM pictures WHERE id = ?"_s, {pic});
        }
    });
    if (reason)
        *reason = why;
    return why.isEmpty();
}

void DriverService::SetDriverFingerTemplate(const QString &, const QString &id, const QString &templateText)
{
    m_db.transact([&] {
        requireDriver(m_db, id);
        m_db.exec(u"UPDATE drivers SET fng_value = ? WHERE driver_id = ?"_s, {templateText, id});
    });
}

void DriverService::SetDriverBackupFingerTemplate(const QString &, const QString &id, const QString &templateText)
{
    m_db.transact([&] {
        requireDriver(m_db, id);
        m_db.exec(u"UPDATE drivers SET fng_value1 = ? WHERE driver_id = ?"_s, {templateText, id});
    });
}

} // namespace cg
