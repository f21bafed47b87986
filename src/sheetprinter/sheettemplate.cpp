#include "sheettemplate.h"

#include "core/dates.h"
#include "core/recordset.h"
#include "widgets/listexport.h"

#include <QDateTime>
#include <QHash>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace cg {

QString SheetNumberAnchor()
{
    return u"cg-number"_s;
}

namespace {

const QRegularExpression &placeholderPattern()
{
    static const QRegularExpression re(u"\\{\\{\\s*([^{}]*?)\\s*\\}\\}"_s);
    return re;
}

const QString kSumPrefix = u"sum:"_s;

// Replaces every placeholder through lookup(name); the result is escaped.
// "#name" and "sum:field" are numbers: their value is marked so that an
// exported workbook writes it as a number.
template <typename Lookup>
QString replacePlaceholders(const QString &html, Lookup lookup)
{
    QString out;
    out.reserve(html.size());
    qsizetype last = 0;
    auto it = placeholderPattern().globalMatch(html);
    while (it.hasNext()) {
        const auto m = it.next();
        out += QStringView(html).mid(last, m.capturedStart() - last);
        QString name = m.captured(1);
        bool number = name.startsWith(u'#');
        if (number)
            name = name.mid(1).trimmed();
        number = number || name.startsWith(kSumPrefix);
        const QString value = lookup(name).toHtmlEscaped();
        if (number && !value.isEmpty())
            out += u"<a name=\"%1\">%2</a>"_s.arg(SheetNumberAnchor(), value);
        else
            out += value;
        last = m.capturedEnd();
    }
    out += QStringView(html).mid(last);
    return out;
}

// The sum of a field over the records; values that are not plain numbers
// (NumericCellValue, the rule of number cells in a workbook) count as
// nothing, so the total agrees with the cells a spreadsheet adds up. Whole
// sums print without decimals.
QString sumOf(const RecordSet *records, const QString &field)
{
    if (!records || records->fieldIndex(field) < 0)
        return {};
    double sum = 0;
    for (int r = 0; r < records->RecordCount(); ++r) {
        double v = 0;
        if (NumericCellValue(SheetFieldText(*records, r, field), &v))
            sum += v;
    }
    if (sum == double(qint64(sum)))
        return QString::number(qint64(sum));
    return QString::number(sum, 'f', 2);
}

// A field of a repeated row; "field|date" shows a date-time as its day
// (yyyy-MM-dd), "field|time" as its time of day (HH:mm).
QString recordText(const RecordSet &records, int row, const QString &placeholder)
{
    const qsizetype bar = placeholder.indexOf(u'|');
    if (bar < 0)
        return SheetFieldText(records, row, placeholder);
    const QString field = placeholder.left(bar).trimmed();
    const QString format = placeholder.mid(bar + 1).trimmed();
    if (records.fieldIndex(field) < 0 || row < 0 || row >= records.RecordCount())
        return {};
    const QVariant v = records.valueAt(row, field);
    if (v.metaType().id() != QMetaType::QDateTime)
        return SheetFieldText(records, row, field);
    const QDateTime dt = v.toDateTime();
    if (!dt.isValid() || IsNoDate(dt))
        return {};
    if (format == u"date"_s)
        return dt.toString(u"yyyy-MM-dd"_s);
    if (format == u"time"_s)
        return dt.toString(u"HH:mm"_s);
    return SheetFieldText(records, row, field);
}

} // namespace

QString SheetFieldText(const RecordSet &records, int row, const QString &field)
{
    if (records.fieldIndex(field) < 0 || row < 0 || row >= records.RecordCount())
        return {};
    const QVariant v = records.valueAt(row, field);
    if (!v.isValid() || v.isNull())
        return {};
    if (v.metaType().id() == QMetaType::QDateTime) {
        const QDateTime dt = v.toDateTime();
        return IsNoDate(dt) ? QString() : FormatDateTime(dt);
    }
    if (v.metaType().id() == QMetaType::Bool)
        return v.toBool() ? u"1"_s : u"0"_s;
    return v.toString().trimmed();
}

QString FillSheetTemplate(const QString &templateHtml, const QList<QStringList> &labelValueRows,
                          const RecordSet *records)
{
    static const QRegularExpression repeatRow(u"<tr\\b[^>]*\\bdata-repeat\\b[^>]*>.*?</tr\\s*>"_s,
                                              QRegularExpression::DotMatchesEverythingOption
                                                  | QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression repeatAttr(u"\\s+data-repeat(\\s*=\\s*(\"[^\"]*\"|'[^']*'|[^\\s>]*))?"_s,
                                               QRegularExpression::CaseInsensitiveOption);
    QHash<QString, QString> values;
    for (const QStringList &pair : labelValueRows) {
        const QString label = pair.value(0).trimmed();
        if (!label.isEmpty() && !values.contains(label))
            values.insert(label, pair.value(1));
    }
    const auto labelText = [&](const QString &name) {
        if (name.startsWith(kSumPrefix))
            return sumOf(records, name.mid(kSumPrefix.size()).trimmed());
        return values.value(name);
    };

    // Every part of the template is filled once: repeated rows from the
    // records (so that their field placeholders are not taken for labels),
    // the rest from the labels. A value is never read again, so a record
    // holding "{{...}}" prints as it is.
    QString html;
    qsizetype last = 0;
    auto it = repeatRow.globalMatch(templateHtml);
    while (it.hasNext()) {
        const auto m = it.next();
        html += replacePlaceholders(templateHtml.mid(last, m.capturedStart() - last), labelText);
        QString row = m.captured(0);
        const qsizetype tagEnd = row.indexOf(u'>');
        row = row.left(tagEnd).remove(repeatAttr) + row.mid(tagEnd);
        if (records) {
            for (int r = 0; r < records->RecordCount(); ++r)
                html += replacePlaceholders(row, [&](const QString &f) { return recordText(*records, r, f); });
        }
        last = m.capturedEnd();
    }
    html += replacePlaceholders(templateHtml.mid(last), labelText);
    return html;
}

} // namespace cg
