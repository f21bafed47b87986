#pragma once

// The check events the notifier tests write and expect: event i of a writer
// (tag) has a kind and arguments that follow from (tag, i) alone, so the
// peer process and the test agree without talking to each other.

#include "services/checks/checknotifier.h"

#include <QDateTime>
#include <QStringList>

namespace cg::test {

constexpr int kEventKinds = 7;

inline QDateTime eventDate(int i) { return QDateTime(QDate(2026, 12, 9).addDays(i % 3), QTime(0, 0)); }
inline QDateTime eventTime(int i) { return QDateTime(QDate(2026, 12, 9), QTime(6, 0).addSecs(i * 61)); }
inline QString busId(const QString &tag, int i) { return QStringLiteral("%1-%2").arg(tag).arg(i, 4, 10, QChar(u'0')); }
inline QString plate(const QString &tag, int i) { return QStringLiteral("粤A%1%2").arg(tag).arg(i, 3, 10, QChar(u'0')); }

// Writes event i of writer tag (in the caller's transaction, if any).
inline void writeEvent(Database &db, const QString &station, const QString &tag, int i)
{
    const int lamp = i % 6;
    switch (i % kEventKinds) {
    case 0: CheckEvents::driverCheck(db, station, busId(tag, i), eventDate(i), lamp); break;
    case 1: CheckEvents::schemeCheck(db, station, busId(tag, i), eventDate(i), lamp, eventTime(i)); break;
    case 2: CheckEvents::schemeExCheck(db, station, busId(tag, i), eventDate(i), lamp); break;
    case 3: CheckEvents::techCheck(db, station, plate(tag, i), eventDate(i), lamp, i, eventTime(i),
                                   QStringLiteral("检查员%1").arg(i)); break;
    case 4: CheckEvents::faceCheck(db, station, busId(tag, i), eventDate(i), lamp, i + 1, eventTime(i),
                                   QStringLiteral("车容员")); break;
    case 5: CheckEvents::returnCheck(db, station, plate(tag, i), eventDate(i), lamp, eventTime(i),
                                     QStringLiteral("回场员")); break;
    default: CheckEvents::replaceVehicle(db, station, busId(tag, i), eventDate(i), plate(tag, i + 1000),
                                         QStringLiteral("广汽")); break;
    }
}

inline QString dt(const QDateTime &t) { return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")); }

// One delivered event as a line of text: its name and every argument.
inline QString expectedEvent(const QString &tag, int i)
{
    const int lamp = i % 6;
    const QString L = QString::number(lamp);
    switch (i % kEventKinds) {
    case 0: return QStringList{QStringLiteral("DriverCheck"), busId(tag, i), dt(eventDate(i)), L}.join(u'|');
    case 1: return QStringList{QStringLiteral("SchemeCheck"), busId(tag, i), dt(eventDate(i)), L, dt(eventTime(i))}.join(u'|');
    case 2: return QStringList{QStringLiteral("SchemeExCheck"), busId(tag, i), dt(eventDate(i)), L}.join(u'|');
    case 3: return QStringList{QStringLiteral("TechCheck"), plate(tag, i), dt(eventDate(i)), L, QString::number(i),
                               dt(eventTime(i)), QStringLiteral("检查员%1").arg(i)}.join(u'|');
    case 4: return QStringList{QStringLiteral("FaceCheck"), busId(tag, i), dt(eventDate(i)), L, QString::number(i + 1),
                               dt(eventTime(i)), QStringLiteral("车容员")}.join(u'|');
    case 5: return QStringList{QStringLiteral("ReturnCheck"), plate(tag, i), dt(eventDate(i)), L, dt(eventTime(i)),
                               QStringLiteral("回场员")}.join(u'|');
    default: return QStringList{QStringLiteral("ReplaceVehicle"), busId(tag, i), dt(eventDate(i)), plate(tag, i + 1000),
                                QStringLiteral("广汽")}.join(u'|');
    }
}

// Appends every event a notifier delivers to lines, in delivery order.
inline void recordEvents(CheckNotifier &n, QStringList &lines)
{
    const auto L = [](int v) { return QString::number(v); };
    QObject::connect(&n, &CheckNotifier::DriverCheck, &n, [&lines, L](const QString &b, const QDateTime &d, int l) {
        lines << QStringList{QStringLiteral("DriverCheck"), b, dt(d), L(l)}.join(u'|');
    });
    QObject::connect(&n, &CheckNotifier::SchemeCheck, &n,
                     [&lines, L](const QString &b, const QDateTime &d, int l, const QDateTime &t) {
                         lines << QStringList{QStringLiteral("SchemeCheck"), b, dt(d), L(l), dt(t)}.join(u'|');
                     });
    QObject::connect(&n, &CheckNotifier::SchemeExCheck, &n, [&lines, L](const QString &b, const QDateTime &d, int l) {
        lines << QStringList{QStringLiteral("SchemeExCheck"), b, dt(d), L(l)}.join(u'|');
    });
    QObject::connect(&n, &CheckNotifier::TechCheck, &n,
                     [&lines, L](const QString &p, const QDateTime &d, int l, int c, const QDateTime &t,
                                 const QString &who) {
                         lines << QStringList{QStringLiteral("TechCheck"), p, dt(d), L(l), L(c), dt(t), who}.join(u'|');
                     });
    QObject::connect(&n, &CheckNotifier::FaceCheck, &n,
                     [&lines, L](const QString &b, const QDateTime &d, int l, int c, const QDateTime &t,
                                 const QString &who) {
                         lines << QStringList{QStringLiteral("FaceCheck"), b, dt(d), L(l), L(c), dt(t), who}.join(u'|');
                     });
    QObject::connect(&n, &CheckNotifier::ReturnCheck, &n,
                     [&lines, L](const QString &p, const QDateTime &d, int l, const QDateTime &t, const QString &who) {
                         lines << QStringList{QStringLiteral("ReturnCheck"), p, dt(d), L(l), dt(t), who}.join(u'|');
                     });
    QObject::connect(&n, &CheckNotifier::ReplaceVehicle, &n,
                     [&lines](const QString &b, const QDateTime &d, const QString &p, const QString &c) {
                         lines << QStringList{QStringLiteral("ReplaceVehicle"), b, dt(d), p, c}.join(u'|');
                     });
}

} // namespace cg::test
