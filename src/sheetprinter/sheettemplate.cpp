#include "sheettemplate.h"

#include "core/dates.h"
#include "core/recordset.h"

#include <QDateTime>
#include <QHash>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

const QRegularExpression &placeholderPattern()
{
    static const QRegularExpression re(u"\\{\\{\\s*([^{}]*?)\\s*\\}\\}"_s);
    return re;
}

// Replaces every placeholder through lookup(name); the result is escaped.
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
        out += lookup(m.captured(1)).toHtmlEscaped();
        last = m.capturedEnd();
    }
    out += QStringView(html).mid(last);
    return out;
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
    // Repeated rows first, so that their field placeholders are not taken
    // for labels.
    static const QRegularExpression repeatRow(u"<tr\\b[^>]*\\bdata-repeat\\b[^>]*>.*?</tr\\s*>"_s,
                                              QRegularExpression::DotMatchesEverythingOption
                                                  | QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression repeatAttr(u"\\s+data-repeat(\\s*=\\s*(\"[^\"]*\"|'[^']*'|[^\\s>]*))?"_s,
                                               QRegularExpression::CaseInsensitiveOption);
    QString html;
    qsizetype last = 0;
    auto it = repeatRow.globalMatch(templateHtml);
    while (it.hasNext()) {
        const auto m = it.next();
        html += QStringView(templateHtml).mid(last, m.capturedStart() - last);
        QString row = m.captured(0);
        const qsizetype tagEnd = row.indexOf(u'>');
        row = row.left(tagEnd).remove(repeatAttr) + row.mid(tagEnd);
        if (records) {
            for (int r = 0; r < records->RecordCount(); ++r)
                html += replacePlaceholders(row, [&](const QString &f) { return SheetFieldText(*records, r, f); });
        }
        last = m.capturedEnd();
    }
    html += QStringView(templateHtml).mid(last);

    QHash<QString, QString> values;
    for (const QStringList &pair : labelValueRows) {
        const QString label = pair.value(0).trimmed();
        if (!label.isEmpty() && !values.contains(label))
            values.insert(label, pair.value(1));
    }
    return replacePlaceholders(html, [&](const QString &name) { return values.value(name); });
}

} // namespace cg
