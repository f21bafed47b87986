#pragma once

#include "core/recordset.h"

#include <QString>
#include <QVariantList>

#include <span>

namespace cg {

// The fields a record screen writes into one table, in the screen's order:
// the record-set field, the table column (nullptr: the field's own name),
// its type and the byte limit of a text (0 = none). The services that save
// a screen's record keep one constant array of these and derive from it the
// empty record the screen fills, the values read back, the byte-limit check
// and the column lists of their INSERT and UPDATE.
struct WrittenField {
    const char16_t *field;
    const char16_t *column;
    FieldType type;
    int size;

    QString fieldName() const { return QString::fromUtf16(field); }
    QString columnName() const { return QString::fromUtf16(column ? column : field); }
};
using WrittenFields = std::span<const WrittenField>;

// An empty record set with the fields, for the screen to fill.
RecordSet WrittenTemplate(WrittenFields fields);

// How the values read from a record are made ready to be written.
enum class WrittenTexts {
    AsText,  // a text field's value as text; one the record lacks stays null
    Trimmed, // trimmed; one the record lacks is empty
};
enum class WrittenNumbers {
    AsGiven, // integer fields as the record holds them (the caller checks them)
    Whole,   // whole numbers; one the record lacks is 0
};

// The values of the record's current row, one per field in order. A record
// with no current row is refused (BadArgument) with emptyText.
QVariantList WrittenValues(WrittenFields fields, const RecordSet &record, WrittenTexts texts, WrittenNumbers numbers,
                           const QString &emptyText);

// The first text value over its field's byte limit (counted as the
// operator's terminal counts them), or -1.
int FirstOverByteLimit(WrittenFields fields, const QVariantList &values);

// "a, b, c": the columns, for an INSERT.
QString WrittenColumnList(WrittenFields fields);

} // namespace cg
