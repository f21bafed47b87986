#include "services/database/writtenfields.h"

#include "core/text.h"
#include "services/database/serviceerror.h"

using namespace Qt::StringLiterals;

namespace cg {

RecordSet WrittenTemplate(WrittenFields fields)
{
    RecordSet rs;
    for (const WrittenField &f : fields)
        rs.appendField(f.fieldName(), f.type, f.size);
    return rs;
}

QVariantList WrittenValues(WrittenFields fields, const RecordSet &record, WrittenTexts texts, WrittenNumbers numbers,
                           const QString &emptyText)
{
    if (record.isEmpty() || record.isEOF())
        throw ServiceError(svcerr::BadArgument, emptyText);
    QVariantList values;
    values.reserve(qsizetype(fields.size()));
    for (const WrittenField &f : fields) {
        const QString name = f.fieldName();
        QVariant v = record.hasField(name) ? record.value(name) : QVariant();
        if (f.type == FieldType::Text) {
            if (texts == WrittenTexts::Trimmed)
                v = v.isValid() ? v.toString().trimmed() : QString();
            else if (v.isValid())
                v = v.toString();
        } else if (f.type == FieldType::Integer && numbers == WrittenNumbers::Whole) {
            v = v.isValid() ? QVariant(v.toLongLong()) : QVariant(qint64(0));
        }
        values.append(v);
    }
    return values;
}

int FirstOverByteLimit(WrittenFields fields, const QVariantList &values)
{
    for (int i = 0; i < int(fields.size()) && i < values.size(); ++i) {
        const WrittenField &f = fields[std::size_t(i)];
        if (f.type == FieldType::Text && f.size > 0 && AnsiByteLength(values.at(i).toString()) > f.size)
            return i;
    }
    return -1;
}

QString WrittenColumnList(WrittenFields fields)
{
    QStringList columns;
    for (const WrittenField &f : fields)
        columns << f.columnName();
    return columns.join(u", "_s);
}

} // namespace cg
