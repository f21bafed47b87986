#include "dates.h"

#include <QFileInfo>
#include <QTimeZone>

#include <algorithm>
#include <cctype>

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
        return QStringLiteral("1900-01-01");
    return d.toString(QStringLiteral("yyyy-MM-dd"));
}

QString FormatDateTime(const QDateTime &d)
{
    if (!d.isValid())
        return QString();
    return d.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// Both month helpers give midnight of the day: the date is rebuilt from its
// year and month text, which carries no time. An invalid date stays invalid.
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
    if (named && QFileInfo::exists(QStringLiteral("/usr/share/zoneinfo/") + QString::fromLatin1(zone)))
        qputenv("TZ", zone);
}

QDateTime ParseDateTime(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return QDateTime();
    static const QString formats[] = {
        QStringLiteral("yyyy-M-d H:m:s"),
        QStringLiteral("yyyy-M-d H:m:s.z"),
        QStringLiteral("yyyy-M-d H:m"),
        QStringLiteral("yyyy-M-d"),
        QStringLiteral("yyyy/M/d H:m:s"),
        QStringLiteral("yyyy/M/d H:m"),
        QStringLiteral("yyyy/M/d"),
        QStringLiteral("yyyy年M月d日 H:m:s"),
        QStringLiteral("yyyy年M月d日 H:m"),
        QStringLiteral("yyyy年M月d日"),
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
