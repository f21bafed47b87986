// Sheet templates (the route sheet and the statistics sheets), filled from a
// label table and a record set. The input is the template text, optionally
// followed by a NUL byte and one value per line for the labels and the
// records' text fields.
//
// Values are data: whatever they hold, they appear escaped where their
// placeholder stood and nowhere else. The fuzzer checks this by filling the
// template a second time with each text value replaced by a plain marker,
// then putting the escaped value in place of each marker: both sheets must
// be the same.

#include "fuzzsupport.h"

#include "core/recordset.h"
#include "sheetprinter/sheettemplate.h"
#include "widgets/listexport.h"

#include <QCoreApplication>
#include <QDateTime>

#include <functional>

using namespace Qt::StringLiterals;
using namespace cg;
using cgfuzz::check;

namespace {

const QStringList Labels = {u"车次"_s, u"车牌号"_s, u"驾驶员"_s, u"统计"_s, u"填表人"_s};
const QStringList TextFields = {u"license"_s, u"company_name"_s};
constexpr int Rows = 2;

const QStringList DefaultValues = {
    u"K1024"_s, u"粤A·12345"_s, u"张 <三> & 'O\"K'"_s, u"12"_s, u"王刚"_s,
    u"粤A12345"_s, u"客运<一>公司"_s, u" 粤B54321 "_s, u"0012"_s,
};

struct Values {
    QList<QStringList> labels;
    RecordSet records;
};

Values build(const QStringList &values, const std::function<QString(int, const QString &)> &shown)
{
    Values out;
    int k = 0;
    for (const QString &label : Labels) {
        out.labels.append({label, shown(k, values.value(k))});
        ++k;
    }
    out.records.appendField(u"license"_s, FieldType::Text);
    out.records.appendField(u"company_name"_s, FieldType::Text);
    out.records.appendField(u"check_count"_s, FieldType::Integer);
    out.records.appendField(u"bus_date"_s, FieldType::DateTime);
    for (int r = 0; r < Rows; ++r) {
        const QString license = shown(k, values.value(k));
        ++k;
        const QString company = shown(k, values.value(k));
        ++k;
        out.records.appendRow({license, company, 3 + r,
                               QDateTime(QDate(2026, 12, 9 + r), QTime(8, 30 + r))});
    }
    return out;
}

QString marker(int k)
{
    return QChar(0xE000) + QString::number(k) + QChar(0xE001);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 16384)
        return -1;
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype nul = input.indexOf('\0');
    const QString templateHtml = QString::fromUtf8(nul < 0 ? input : input.left(nul));
    QStringList values = DefaultValues;
    if (nul >= 0) {
        const QStringList given = QString::fromUtf8(input.mid(nul + 1)).split(u'\n');
        for (int i = 0; i < given.size() && i < values.size(); ++i)
            values[i] = given[i];
    }

    const Values real = build(values, [](int, const QString &v) { return v; });
    const QString filled = FillSheetTemplate(templateHtml, real.labels, &real.records);
    check(FillSheetTemplate(templateHtml, real.labels, &real.records) == filled, "filling is deterministic");
    FillSheetTemplate(templateHtml, real.labels, nullptr);

    if (templateHtml.contains(QChar(0xE000)) || templateHtml.contains(QChar(0xE001)))
        return 0;
    // How each value shows in a sheet: labels as given, record texts trimmed;
    // both escaped. Values that are empty or numbers stay as they are (an
    // empty value drops its number mark, a number counts in sums), and so do
    // values that could be taken for a marker.
    QStringList shownAs;
    const Values marked = build(values, [&](int k, const QString &v) {
        const QString seen = k < Labels.size() ? v : v.trimmed();
        double number = 0;
        if (seen.isEmpty() || NumericCellValue(seen, &number) || v.contains(QChar(0xE000)))
            return v;
        while (shownAs.size() <= k)
            shownAs.append(QString());
        shownAs[k] = seen.toHtmlEscaped();
        return marker(k);
    });
    QString expected = FillSheetTemplate(templateHtml, marked.labels, &marked.records);
    for (int k = 0; k < shownAs.size(); ++k)
        if (!shownAs[k].isNull())
            expected.replace(marker(k), shownAs[k]);
    check(filled == expected, "values are filled in as data, escaped, and nowhere else",
          u"template:\n"_s + templateHtml + u"\nvalues:\n"_s + values.join(u'\n') + u"\nfilled:\n"_s + filled
              + u"\nexpected:\n"_s + expected);
    return 0;
}
