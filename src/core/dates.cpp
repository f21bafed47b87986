#include "dates.h"

#include <QFileInfo>
#include <QTimeZone>

#include <algorithm>
#include <cctype>

using namespace Qt::StringLiterals;

namespace cg {

QDateTime ZeroDate()
{
    return QDateTime(QDate(1899, 12, 30), QTime(0, 0));
}

QDateTime NoDate()
{
    return QDateTime(QDate(1900, 1, 1), QTime(0, 0));
}

bool IsNoDate(const QDateTime &d)
{
    return d.isValid() && d.date() == QDate(1900, 1, 1);
}

bool IsEmptyDate(const QDateTime &d)
{
    return !d.isValid() || d.date() == QDate(1899, 12, 30);
}

QString FormatDateOrDefault(const QDateTime &d)
{
    if (IsEmptyDate(d))
        return u"1900-01-01"_s;
    return d.toString(u"yyyy-MM-dd"_s);
}

QString FormatDateTime(const QDateTime &d)
{
    if (!d.isValid())
        return QString();
    return d.toString(u"yyyy-MM-dd HH:mm:ss"_s);
}

// Both month helpers give midnight of the day: the date is rebuilt from its
// year and month text, which carries no time. An invalid date stays invalid.
QDateTime DayOf(const QDateTime &d)
{
    return QDateTime(d.date(), QTime(0, 0));
}

QDateTime FirstDayOfMonth(const QDateTime &d)
{
    if (!d.isValid())
        return QDateTime();
    QDateTime r = d;
    r.setTime(QTime(0, 0));
    r.setDate(QDate(d.date().year(), d.date().month(), 1));
    return r;
}

QDateTime LastDayOfMonth(const QDateTime &d)
{
    if (!d.isValid())
        return QDateTime();
    const QDateTime first = FirstDayOfMonth(d);
    QDateTime r = first;
    r.setDate(first.date().addMonths(1).addDays(-1));
    return r;
}

void PinLocalTimeZone()
{
    if (qEnvironmentVariableIsSet("TZ"))
        return;
    const QByteArray zone = QTimeZone::systemTimeZoneId();
    // An IANA name ("Asia/Shanghai", "Etc/UTC") of a zone file that exists.
    const bool named = !zone.isEmpty() && !zone.startsWith('/') && !zone.contains("..")
                       && std::all_of(zone.begin(), zone.end(), [](char c) {
                              return std::isalnum(static_cast<unsigned char>(c)) || c == '/' || c == '_' || c == '-'
                                     || c == '+';
                          });
    if (named && QFileInfo::exists(u"/usr/share/zoneinfo/"_s + QString::fromLatin1(zone)))
        qputenv("TZ", zone);
}

QDateTime ParseDateTime(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return QDateTime();
    static const QString formats[] = {
        u"yyyy-M-d H:m:s"_s,
        u"yyyy-M-d H:m:s.z"_s,
        u"yyyy-M-d H:m"_s,
        u"yyyy-M-d"_s,
        u"yyyy/M/d H:m:s"_s,
        u"yyyy/M/d H:m"_s,
        u"yyyy/M/d"_s,
        u"yyyy年M月d日 H:m:s"_s,
        u"yyyy年M月d日 H:m"_s,
        u"yyyy年M月d日"_s,
    };
    for (const QString &f : formats) {
        const QDateTime d = QDateTime::fromString(t, f);
        if (d.isValid())
            return d;
    }
    const QDateTime iso = QDateTime::fromString(t, Qt::ISODateWithMs);
    if (iso.isValid())
        return iso.toLocalTime();
    return QDateTime();
}

} // namespace cg
