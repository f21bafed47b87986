#include "services/station/coreservices.h"
#include "services/station/station.h"

#include "services/database/database.h"
#include "services/database/serviceerror.h"

#include <QRegularExpression>

#include <cmath>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

// Events older than this are dropped from the outbox at the end of the
// start-up check-in; every workstation has long delivered them.
constexpr int kCheckEventKeepDays = 7;

constexpr int kFirstParam = 1;
constexpr int kLastParam = 15;

// The code tables kept in code_items; kind 7 (companies) is read-only here
// and served from the companies table.
constexpr int kCompanyKind = 7;
bool isCodeTableKind(int kind)
{
    return kind == 3 || kind == 4 || kind == 5 || kind == 8 || kind == 9;
}

void requireCodeTableKind(int kind)
{
    if (!isCodeTableKind(kind))
        throw ServiceError(svcerr::BadArgument,
                           u"代码表类别 %1 不存在（可用类别：3、4、5、8、9）"_s.arg(kind));
}

void requireParamIndex(int index)
{
    if (index < kFirstParam || index > kLastParam)
        throw ServiceError(svcerr::BadArgument,
                           u"系统参数序号 %1 超出范围（%2～%3）"_s.arg(index).arg(kFirstParam).arg(kLastParam));
}

// The stored text of a parameter value: numbers as plain decimal text
// (15 -> "15", 1.5 -> "1.5"), booleans as "1"/"0", texts unchanged.
QVariant storedParamText(int index, const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QVariant(QMetaType::fromType<QString>());
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? u"1"_s : u"0"_s;
    case QMetaType::Short: case QMetaType::Int: case QMetaType::Long: case QMetaType::LongLong:
    case QMetaType::Char: case QMetaType::SChar:
        return QString::number(value.toLongLong());
    case QMetaType::UShort: case QMetaType::UInt: case QMetaType::ULong: case QMetaType::ULongLong:
    case QMetaType::UChar:
        return QString::number(value.toULongLong());
    case QMetaType::Float: case QMetaType::Double: {
        const double d = value.toDouble();
        if (!std::isfinite(d))
            throw ServiceError(svcerr::BadArgument, u"系统参数 %1 的值不是有效数字"_s.arg(index));
        if (d == 0.0)
            return u"0"_s; // never "-0"
        return QString::number(d, 'f', QLocale::FloatingPointShortest);
    }
    case QMetaType::QString:
        return value.toString();
    default:
        if (value.canConvert<QString>())
            return value.toString();
        throw ServiceError(svcerr::BadArgument,
                           u"系统参数 %1 的值类型（%2）无法保存"_s.arg(index).arg(QString::fromLatin1(value.typeName())));
    }
}

QString duplicateNameText(int kind, const QString &name)
{
    return u"名称“%1”在代码表（类别 %2）中已存在，不能重复"_s.arg(name).arg(kind);
}

QString cleanName(const QString &name)
{
    const QString n = name.trimmed();
    if (n.isEmpty())
        throw ServiceError(svcerr::BadArgument, u"代码项的名称不能为空"_s);
    return n;
}

} // namespace

// ---------------------------------------------------------------- context

SessionContext SessionContext::parse(const QString &context)
{
    static const QRegularExpression re(
        uR"(^\[([^\[\]]+)\]\[([^\[\]]+)\]\[([^\[\]]+)\]\[(-?\d{1,6})\]$)"_s);
    const auto m = re.match(context);
    bool ok = false;
    const int flag = m.hasMatch() ? m.captured(4).toInt(&ok) : 0;
    if (!ok || flag < -32768 || flag > 32767)
        throw ServiceError(svcerr::BadArgument,
                           u"会话上下文“%1”格式不正确，应为 [操作员][站点编码][单位编码][标志]"_s.arg(context));
    SessionContext c;
    c.operatorCode = m.captured(1);
    c.stationCode = m.captured(2);
    c.unitCode = m.captured(3);
    c.flag = flag;
    return c;
}

QString StationData::stationCode() const
{
    return SessionContext::parse(context).stationCode;
}

// ---------------------------------------------------------------- session

void SessionService::OpenSession(const QString &operatorCode, const QString &reserved,
                                 const QString &sessionCode, int &outValue)
{
    Q_UNUSED(reserved);
    outValue = 0;
    const QString code = operatorCode.trimmed();
    if (code.isEmpty())
        throw ServiceError(svcerr::BadArgument, u"打开会话失败：未指定操作员代码"_s);
    const RecordSet rs = m_db.select(
        u"SELECT operator_name, station_code, unit_code, unit_name FROM operators WHERE operator_code = ?"_s,
        {code});
    if (rs.isEmpty())
        throw ServiceError(svcerr::NotFound,
                           u"打开会话失败：操作员“%1”不存在，请检查工作站配置"_s.arg(code));
    m_operatorCode = code;
    m_operatorName = rs.valueAt(0, u"operator_name"_s).toString();
    m_stationCode = rs.valueAt(0, u"station_code"_s).toString();
    m_unitCode = rs.valueAt(0, u"unit_code"_s).toString();
    m_unitName = rs.valueAt(0, u"unit_name"_s).toString();
    m_sessionCode = sessionCode;
    m_open = true;
}

void SessionService::requireOpen() const
{
    if (!m_open)
        throw ServiceError(svcerr::BadArgument, u"会话尚未打开，无法读取操作员信息"_s);
}

QString SessionService::GetOperatorCode() const { requireOpen(); return m_operatorCode; }
QString SessionService::GetOperatorName() const { requireOpen(); return m_operatorName; }
QString SessionService::GetStationCode() const { requireOpen(); return m_stationCode; }
QString SessionService::GetUnitCode() const { requireOpen(); return m_unitCode; }
QString SessionService::GetUnitName() const { requireOpen(); return m_unitName; }

// ---------------------------------------------------------------- clock

QDateTime ClockService::GetServerTime()
{
    const QVariant v = m_db.scalar(u"SELECT "_s + m_db.dialect().nowExpression());
    const QDateTime t = m_db.dialect().fromDb(v, FieldType::DateTime).toDateTime();
    if (!t.isValid())
        throw ServiceError(svcerr::Sql, u"无法读取数据库服务器的时间"_s);
    return t;
}

QDateTime ClockService::GetServerDate()
{
    return QDateTime(GetServerTime().date(), QTime(0, 0));
}

// ---------------------------------------------------------------- start-up

// Prunes the check-event outbox: events older than a week are gone. The
// newest event is always kept so that event ids never fall back below what
// a subscriber has already delivered, whatever the backend's id allocation.
void StartupService::Run()
{
    const QDateTime cutoff = ClockService(m_db).GetServerTime().addDays(-kCheckEventKeepDays);
    m_db.transact([&] {
        m_db.exec(u"DELETE FROM check_events WHERE created_at < ? "
                  "AND id < (SELECT MAX(id) FROM check_events)"_s,
                  {m_db.dialect().toDb(cutoff)});
    });
}

// ---------------------------------------------------------------- definitions

QVariant DefinitionService::GetSysParam(const QString &context, int index)
{
    Q_UNUSED(context);
    requireParamIndex(index);
    const QVariant v = m_db.scalar(u"SELECT param_value FROM sys_params WHERE param_index = ?"_s, {index});
    if (!v.isValid() || v.isNull())
        return {};
    return v.toString();
}

void DefinitionService::SetSysParam(const QString &context, int index, const QVariant &value)
{
    Q_UNUSED(context);
    requireParamIndex(index);
    const QVariant text = storedParamText(index, value);
    m_db.transact([&] {
        m_db.exec(u"INSERT INTO sys_params (param_index, param_value) VALUES (?, ?) "
                  "ON CONFLICT (param_index) DO UPDATE SET param_value = excluded.param_value"_s,
                  {index, text});
    });
}

Array2D DefinitionService::GetCodeList(const QString &context, int kind)
{
    Q_UNUSED(context);
    RecordSet rs;
    if (kind == kCompanyKind) {
        // The companies as pick-list entries: the name column holds the
        // code-with-name form that vehicles store as their company.
        rs = m_db.select(u"SELECT company_code AS code, company_name AS name, short_name AS remark "
                         "FROM companies ORDER BY company_code"_s);
        Array2D list(rs.RecordCount(), 4);
        for (int i = 0; i < rs.RecordCount(); ++i) {
            const QString code = rs.valueAt(i, u"code"_s).toString();
            list.set(i + 1, 1, code);
            list.set(i + 1, 2, kCompanyKind);
            list.set(i + 1, 3, QString(code + u'[' + rs.valueAt(i, u"name"_s).toString() + u']'));
            list.set(i + 1, 4, rs.valueAt(i, u"remark"_s).toString());
        }
        return list;
    }
    requireCodeTableKind(kind);
    rs = m_db.select(u"SELECT code, kind, name, remark FROM code_items WHERE kind = ? ORDER BY code"_s,
                     {kind},
                     {{u"code"_s, FieldType::Integer}, {u"kind"_s, FieldType::Integer},
                      {u"name"_s, FieldType::Text}, {u"remark"_s, FieldType::Text}});
    Array2D list(rs.RecordCount(), 4);
    for (int i = 0; i < rs.RecordCount(); ++i) {
        list.set(i + 1, 1, rs.valueAt(i, u"code"_s).toInt());
        list.set(i + 1, 2, rs.valueAt(i, u"kind"_s).toInt());
        list.set(i + 1, 3, rs.valueAt(i, u"name"_s).toString());
        list.set(i + 1, 4, rs.valueAt(i, u"remark"_s).toString());
    }
    return list;
}

int DefinitionService::AddCodeItem(const QString &context, int kind, const QString &name, const QString &remark)
{
    Q_UNUSED(context);
    requireCodeTableKind(kind);
    const QString n = cleanName(name);
    qint64 code = 0;
    m_db.transact([&] {
        // The unique key decides; the look-up first only gives a clear text.
        if (m_db.scalar(u"SELECT code FROM code_items WHERE kind = ? AND name = ?"_s, {kind, n}).isValid())
            throw ServiceError(svcerr::Constraint, duplicateNameText(kind, n));
        try {
            code = m_db.insert(u"INSERT INTO code_items (kind, name, remark) VALUES (?, ?, ?)"_s,
                               {kind, n, remark.isNull() ? u""_s : remark}, u"code"_s);
        } catch (const ServiceError &e) {
            if (e.number() == svcerr::Constraint)
                throw ServiceError(svcerr::Constraint, duplicateNameText(kind, n));
            throw;
        }
    });
    return int(code);
}

void DefinitionService::UpdateCodeItem(const QString &context, int code, int kind, const QString &name,
                                       const QString &remark)
{
    Q_UNUSED(context);
    requireCodeTableKind(kind);
    const QString n = cleanName(name);
    m_db.transact([&] {
        if (m_db.scalar(u"SELECT code FROM code_items WHERE kind = ? AND name = ? AND code <> ?"_s,
                        {kind, n, code}).isValid())
            throw ServiceError(svcerr::Constraint, duplicateNameText(kind, n));
        RecordSet rs;
        try {
            rs = m_db.select(u"UPDATE code_items SET name = ?, remark = ? WHERE code = ? AND kind = ? "
                             "RETURNING code"_s,
                             {n, remark.isNull() ? u""_s : remark, code, kind});
        } catch (const ServiceError &e) {
            if (e.number() == svcerr::Constraint)
                throw ServiceError(svcerr::Constraint, duplicateNameText(kind, n));
            throw;
        }
        if (rs.isEmpty())
            throw ServiceError(svcerr::NotFound,
                               u"代码项 %1 在代码表（类别 %2）中不存在，可能已被删除"_s.arg(code).arg(kind));
    });
}

void DefinitionService::DeleteCodeItem(const QString &context, int code, bool reserved, const QString &reservedText)
{
    Q_UNUSED(context);
    Q_UNUSED(reserved);
    Q_UNUSED(reservedText);
    m_db.transact([&] {
        const RecordSet rs = m_db.select(u"DELETE FROM code_items WHERE code = ? RETURNING code"_s, {code});
        if (rs.isEmpty())
            throw ServiceError(svcerr::NotFound, u"代码项 %1 不存在，可能已被删除"_s.arg(code));
    });
}

RecordSet DefinitionService::QueryCheckItems(const QString &context, int kind)
{
    Q_UNUSED(context);
    requireCodeTableKind(kind);
    return m_db.select(u"SELECT name, remark AS \"Memo\" FROM code_items WHERE kind = ? ORDER BY code"_s,
                       {kind}, {{u"name"_s, FieldType::Text}, {u"Memo"_s, FieldType::Text}});
}

} // namespace cg
