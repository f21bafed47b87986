#include "core/dates.h"

#include <QTest>
#include <QTimeZone>

using namespace cg;
using namespace Qt::StringLiterals;

class TstDates : public QObject {
    Q_OBJECT

private slots:
    void emptyAndNoDate_data();
    void emptyAndNoDate();
    void formats();
    void dayAndMonthBounds_data();
    void dayAndMonthBounds();
    void parse_data();
    void parse();
    void pinnedZoneKeepsLocalTimes();
};

static QDateTime dt(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

void TstDates::emptyAndNoDate_data()
{
    QTest::addColumn<QDateTime>("date");
    QTest::addColumn<bool>("empty");
    QTest::addColumn<bool>("noDate");
    QTest::addColumn<QString>("shown");
    QTest::newRow("zero date") << ZeroDate() << true << false << u"1900-01-01"_s;
    QTest::newRow("zero date with time") << dt(1899, 12, 30, 13, 45) << true << false << u"1900-01-01"_s;
    QTest::newRow("invalid") << QDateTime() << true << false << u"1900-01-01"_s;
    QTest::newRow("day before zero") << dt(1899, 12, 29, 23, 59, 59) << false << false << u"1899-12-29"_s;
    QTest::newRow("no-date value") << NoDate() << false << true << u"1900-01-01"_s;
    QTest::newRow("no-date day with time") << dt(1900, 1, 1, 8) << false << true << u"1900-01-01"_s;
    QTest::newRow("ordinary") << dt(2026, 3, 7, 9, 5, 2) << false << false << u"2026-03-07"_s;
}

void TstDates::emptyAndNoDate()
{
    QFETCH(QDateTime, date);
    QFETCH(bool, empty);
    QFETCH(bool, noDate);
    QFETCH(QString, shown);
    QCOMPARE(IsEmptyDate(date), empty);
    QCOMPARE(IsNoDate(date), noDate);
    QCOMPARE(FormatDateOrDefault(date), shown);
}

void TstDates::formats()
{
    QCOMPARE(FormatDateTime(dt(2026, 3, 7, 21, 5, 9)), u"2026-03-07 21:05:09"_s);
    QCOMPARE(FormatDateTime(dt(2026, 3, 7)), u"2026-03-07 00:00:00"_s);
    QCOMPARE(FormatDateTime(NoDate()), u"1900-01-01 00:00:00"_s);
    QCOMPARE(FormatDateTime(ZeroDate()), u"1899-12-30 00:00:00"_s);
    QCOMPARE(FormatDateTime(QDateTime()), QString());
}

void TstDates::dayAndMonthBounds_data()
{
    QTest::addColumn<QDateTime>("date");
    QTest::addColumn<QDateTime>("day");
    QTest::addColumn<QDateTime>("first");
    QTest::addColumn<QDateTime>("last");
    QTest::newRow("leap february") << dt(2024, 2, 10, 15, 30) << dt(2024, 2, 10) << dt(2024, 2, 1) << dt(2024, 2, 29);
    QTest::newRow("plain february") << dt(2026, 2, 28, 23, 59, 59) << dt(2026, 2, 28) << dt(2026, 2, 1)
                                    << dt(2026, 2, 28);
    QTest::newRow("century not leap") << dt(2100, 2, 5) << dt(2100, 2, 5) << dt(2100, 2, 1) << dt(2100, 2, 28);
    QTest::newRow("400 years leap") << dt(2000, 2, 5) << dt(2000, 2, 5) << dt(2000, 2, 1) << dt(2000, 2, 29);
    QTest::newRow("year end") << dt(2026, 12, 31, 23, 59, 59) << dt(2026, 12, 31) << dt(2026, 12, 1)
                              << dt(2026, 12, 31);
    QTest::newRow("year start") << dt(2027, 1, 1) << dt(2027, 1, 1) << dt(2027, 1, 1) << dt(2027, 1, 31);
    QTest::newRow("30-day month") << dt(2026, 4, 30, 6) << dt(2026, 4, 30) << dt(2026, 4, 1) << dt(2026, 4, 30);
    QTest::newRow("last millisecond") << dt(2026, 3, 7, 23, 59, 59).addMSecs(999) << dt(2026, 3, 7) << dt(2026, 3, 1)
                                      << dt(2026, 3, 31);
    QTest::newRow("no-date value") << NoDate() << NoDate() << NoDate() << dt(1900, 1, 31);
    QTest::newRow("invalid") << QDateTime() << QDateTime() << QDateTime() << QDateTime();
}

void TstDates::dayAndMonthBounds()
{
    QFETCH(QDateTime, date);
    QFETCH(QDateTime, day);
    QFETCH(QDateTime, first);
    QFETCH(QDateTime, last);
    QCOMPARE(DayOf(date), day);
    QCOMPARE(FirstDayOfMonth(date), first);
    QCOMPARE(LastDayOfMonth(date), last);
}

void TstDates::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("date");
    QTest::newRow("full") << u"2026-03-07 21:05:09"_s << dt(2026, 3, 7, 21, 5, 9);
    QTest::newRow("minutes") << u"2026-03-07 21:05"_s << dt(2026, 3, 7, 21, 5);
    QTest::newRow("date only") << u" 2026-03-07 "_s << dt(2026, 3, 7);
    QTest::newRow("short numbers") << u"2026-3-7 9:05"_s << dt(2026, 3, 7, 9, 5);
    QTest::newRow("chinese") << u"2026年03月07日 21:05"_s << dt(2026, 3, 7, 21, 5);
    QTest::newRow("chinese date") << u"2026年3月7日"_s << dt(2026, 3, 7);
    QTest::newRow("iso") << u"2026-03-07T21:05:09"_s << dt(2026, 3, 7, 21, 5, 9);
    QTest::newRow("round trip") << FormatDateTime(NoDate()) << NoDate();
    QTest::newRow("bad month") << u"2026-13-07"_s << QDateTime();
    QTest::newRow("29 feb of plain year") << u"2026-02-29"_s << QDateTime();
    QTest::newRow("text") << u"明天"_s << QDateTime();
    QTest::newRow("empty") << QString() << QDateTime();
}

void TstDates::parse()
{
    QFETCH(QString, text);
    QFETCH(QDateTime, date);
    const QDateTime got = ParseDateTime(text);
    QCOMPARE(got.isValid(), date.isValid());
    if (date.isValid())
        QCOMPARE(got, date);
}

// Pinning the zone must not move a single local time: the same wall-clock
// texts give the same instants before and after, across a year (zones with
// summer time included), and a TZ the user set is never replaced.
void TstDates::pinnedZoneKeepsLocalTimes()
{
    const QByteArray saved = qgetenv("TZ");
    const bool wasSet = qEnvironmentVariableIsSet("TZ");
    qunsetenv("TZ");
    QList<qint64> before;
    for (int month = 1; month <= 12; ++month)
        before << QDateTime(QDate(2026, month, 15), QTime(8, 30)).toSecsSinceEpoch();
    PinLocalTimeZone();
    const QByteArray pinned = qgetenv("TZ");
    QList<qint64> after;
    for (int month = 1; month <= 12; ++month)
        after << QDateTime(QDate(2026, month, 15), QTime(8, 30)).toSecsSinceEpoch();
    QCOMPARE(after, before);
    if (!pinned.isEmpty())
        QCOMPARE(pinned, QTimeZone::systemTimeZoneId());

    qputenv("TZ", "Asia/Shanghai");
    PinLocalTimeZone();
    QCOMPARE(qgetenv("TZ"), QByteArray("Asia/Shanghai"));

    if (wasSet)
        qputenv("TZ", saved);
    else
        qunsetenv("TZ");
}

QTEST_APPLESS_MAIN(TstDates)
#include "tst_dates.moc"
