#include "recordset.h"

#include "apperror.h"

using namespace Qt::StringLiterals;

namespace cg {

void RecordSet::appendField(const QString &name, FieldType type, int definedSize)
{
    if (fieldIndex(name) >= 0)
        throw AppError(errnum::InvalidArgument,
                       u"记录集中已有字段“%1”"_s.arg(name));
    m_fields.append({name, type, definedSize});
    for (auto &r : m_rows)
        r.append(QVariant());
}

int RecordSet::fieldIndex(const QString &name) const
{
    for (qsizetype i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

void RecordSet::appendRow(const QVariantList &values)
{
    if (values.size() > m_fields.size())
        throw AppError(errnum::InvalidArgument,
                       u"记录的值多于字段（%1 > %2）"_s.arg(values.size()).arg(m_fields.size()));
    QVariantList r = values;
    while (r.size() < m_fields.size())
        r.append(QVariant());
    m_rows.append(r);
    m_pos = m_rows.size() - 1;
}

void RecordSet::Move(int n)
{
    qsizetype p = m_pos + n;
    if (p < 0)
        p = 0;
    if (p > m_rows.size())
        p = m_rows.size();
    m_pos = p;
}

int RecordSet::requireField(const QString &name) const
{
    const int i = fieldIndex(name);
    if (i < 0)
        throw AppError(errnum::UnknownField,
                       u"记录集中没有字段“%1”"_s.arg(name));
    return i;
}

void RecordSet::requireCurrent() const
{
    if (m_pos < 0 || m_pos >= m_rows.size())
        throw AppError(errnum::NoCurrentRecord,
                       u"记录集没有当前记录（已到末尾或为空）"_s);
}

QVariant RecordSet::value(const QString &name) const
{
    const int i = requireField(name);
    requireCurrent();
    return m_rows[m_pos][i];
}

void RecordSet::setValue(const QString &name, const QVariant &value)
{
    const int i = requireField(name);
    requireCurrent();
    m_rows[m_pos][i] = value;
}

QVariant RecordSet::valueAt(int row, const QString &name) const
{
    const int i = requireField(name);
    if (row < 0 || row >= m_rows.size())
        throw AppError(errnum::NoCurrentRecord,
                       u"记录集没有第 %1 条记录"_s.arg(row + 1));
    return m_rows[row][i];
}

void RecordSet::setValueAt(int row, const QString &name, const QVariant &value)
{
    const int i = requireField(name);
    if (row < 0 || row >= m_rows.size())
        throw AppError(errnum::NoCurrentRecord,
                       u"记录集没有第 %1 条记录"_s.arg(row + 1));
    m_rows[row][i] = value;
}

QVariant FieldValue(const RecordSet &rs, const QString &name)
{
    const QVariant v = rs.value(name);
    if (!v.isValid() || v.isNull())
        return QVariant();
    if (v.typeId() == QMetaType::QString) {
        // Spaces only (the padding of fixed-width columns): a remark's line
        // breaks, tabs or full-width indentation are part of the value.
        const QString s = v.toString();
        qsizetype b = 0, e = s.size();
        while (b < e && s.at(b) == QLatin1Char(' '))
            ++b;
        while (e > b && s.at(e - 1) == QLatin1Char(' '))
            --e;
        return s.mid(b, e - b);
    }
    return v;
}

RecordSet CloneRecordsetShape(const RecordSet &source)
{
    RecordSet copy;
    for (const auto &f : source.fields())
        copy.appendField(f.name, f.type, f.definedSize);
    return copy;
}

} // namespace cg
