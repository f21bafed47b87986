#include "sqlliteral.h"

#include "apperror.h"
#include "dates.h"

#include <QDateTime>

#include <charconv>
#include <cmath>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

// Ordinary decimal text of a floating value, the shortest that reads back
// as the same value, never in exponent notation (1e20 gives
// 100000000000000000000). A value that is not a number cannot be put into
// SQL and raises an error instead of giving a broken fragment.
template <typename F>
QString decimalText(F value)
{
    if (!std::isfinite(value))
        throw AppError(errnum::TypeMismatch,
                       u"数值无效（非数字或无穷大），不能用于查询条件"_s);
    if (value == 0)
        return u"0"_s; // also for -0
    char buf[1100];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    return QString::fromLatin1(buf, res.ptr - buf);
}

QString quotedText(const QString &text)
{
    if (text.isEmpty())
        return u"''"_s;
    const QStringList pieces = text.split(QLatin1Char('\''));
    QString out = QLatin1Char('\'') + pieces.first() + QLatin1Char('\'');
    for (qsizetype i = 1; i < pieces.size(); ++i)
        out += u"+\"'\"+'"_s + pieces.at(i) + QLatin1Char('\'');
    return out;
}

} // namespace

QString SqlLiteral(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QString();
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
        return QString::number(value.toLongLong());
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return QString::number(value.toULongLong());
    case QMetaType::Double:
        return decimalText(value.toDouble());
    case QMetaType::Float:
        return decimalText(value.toFloat());
    case QMetaType::Bool:
        return value.toBool() ? u"1"_s : u"0"_s;
    case QMetaType::QDateTime: {
        const QDateTime d = value.toDateTime();
        return d.isValid() ? QLatin1Char('\'') + FormatDateTime(d) + QLatin1Char('\'') : QString();
    }
    case QMetaType::QDate: {
        const QDate d = value.toDate();
        return d.isValid() ? QLatin1Char('\'') + FormatDateTime(QDateTime(d, QTime(0, 0))) + QLatin1Char('\'')
                           : QString();
    }
    case QMetaType::QString:
        return quotedText(value.toString());
    case QMetaType::QChar:
        return quotedText(QString(value.toChar()));
    default:
        return QString();
    }
}

} // namespace cg
