#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace cg {

class RecordSet;

// Sheet templates are HTML tables (spreadsheet programs open them under an
// .xls name). A placeholder {{name}} stands for the value of the label
// "name" of the sheet table. A table row marked with the attribute
// data-repeat is written once per record of the record set, its
// placeholders {{field}} standing for the record's fields; without records
// the row is dropped. Values are escaped; a placeholder without a value
// becomes empty.
//
// In a repeated row, {{field|date}} shows a date-time as its day
// (yyyy-MM-dd) and {{field|time}} as its time of day (HH:mm).
//
// Numbers: {{#name}} (a label or, in a repeated row, a field) holds a count
// or an amount, and {{sum:field}} is the sum of that field over the records.
// Their values are marked (an anchor named SheetNumberAnchor()) so that an
// exported workbook writes them as number cells a spreadsheet can add up;
// every other value stays text, so codes, plates and card numbers keep their
// leading zeros.
QString FillSheetTemplate(const QString &templateHtml, const QList<QStringList> &labelValueRows,
                          const RecordSet *records);

// A record-set value as a sheet shows it: dates as "yyyy-MM-dd HH:mm:ss"
// (a missing date empty), texts trimmed.
// The anchor name that marks a number in a filled sheet.
QString SheetNumberAnchor();

QString SheetFieldText(const RecordSet &records, int row, const QString &field);

} // namespace cg
