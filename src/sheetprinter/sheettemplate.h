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
QString FillSheetTemplate(const QString &templateHtml, const QList<QStringList> &labelValueRows,
                          const RecordSet *records);

// A record-set value as a sheet shows it: dates as "yyyy-MM-dd HH:mm:ss"
// (a missing date empty), texts trimmed.
QString SheetFieldText(const RecordSet &records, int row, const QString &field);

} // namespace cg
