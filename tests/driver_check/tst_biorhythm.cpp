// The three-day biorhythm forecast: low periods at the edges of each cycle,
// the order of the cells, and day counts beyond the forecast's range.

#include "driver_check/biorhythm.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace cg;

class TstBiorhythm : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cycleEdges_data();
    void cycleEdges();
    void tenThousandDays();
    void range_data();
    void range();
};

void TstBiorhythm::cycleEdges_data()
{
    QTest::addColumn<int>("t");
    QTest::addColumn<int>("cycle");
    QTest::addColumn<bool>("low");
    const int intel = int(BioCycle::Intellectual), emo = int(BioCycle::Emotional), phys = int(BioCycle::Physical);
    QTest::newRow("emotional 14 high") << 14 << emo << false;
    QTest::newRow("emotional 15 low") << 15 << emo << true;
    QTest::newRow("emotional 27 low") << 27 << emo << true;
    QTest::newRow("emotional 28 new cycle") << 28 << emo << false;
    QTest::newRow("intellectual 16 high") << 16 << intel << false;
    QTest::newRow("intellectual 17 low") << 17 << intel << true;
    QTest::newRow("intellectual 33+16 high") << 49 << intel << false;
    QTest::newRow("physical 11 high") << 11 << phys << false;
    QTest::newRow("physical 12 low") << 12 << phys << true;
    QTest::newRow("physical 23+12 low") << 35 << phys << true;
    // Days before the birth date: the remainder is negative, never low.
    QTest::newRow("before birth emotional") << -13 << emo << false;
    QTest::newRow("before birth physical") << -12 << phys << false;
}

void TstBiorhythm::cycleEdges()
{
    QFETCH(int, t);
    QFETCH(int, cycle);
    QFETCH(bool, low);
    const QDate start(2026, 12, 9);
    const BiorhythmForecast f = ComputeBiorhythm(start.addDays(-t), start, 1);
    QVERIFY(f.valid);
    QCOMPARE(f.cells.size(), 3);
    QCOMPARE(int(f.cells.at(cycle).cycle), cycle);
    QCOMPARE(f.cells.at(cycle).low, low);
}

void TstBiorhythm::tenThousandDays()
{
    const QDate start(2026, 12, 9);
    const BiorhythmForecast f = ComputeBiorhythm(start.addDays(-10000), start, 3);
    QVERIFY(f.valid);
    QCOMPARE(f.cells.size(), 9);
    // t = 10000, 10001, 10002: intellectual 1..3 and emotional 4..6 high,
    // physical 18..20 low.
    QList<bool> marks;
    QStringList days;
    for (const BiorhythmCell &c : f.cells) {
        marks << c.low;
        days << c.dayText();
    }
    QCOMPARE(marks, (QList<bool>{false, false, true, false, false, true, false, false, true}));
    QCOMPARE(days.at(0), u"09日"_s);
    QCOMPARE(days.at(3), u"10日"_s);
    QCOMPARE(days.at(8), u"11日"_s);
    QVERIFY(f.anyLow());
}

void TstBiorhythm::range_data()
{
    QTest::addColumn<int>("firstT");
    QTest::addColumn<int>("days");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("cells");
    QTest::newRow("last day at 32767") << 32765 << 3 << true << 9;
    QTest::newRow("third day at 32768") << 32766 << 3 << false << 0;
    QTest::newRow("born 1900") << 46000 << 3 << false << 0;
    QTest::newRow("far future birth") << -32769 << 1 << false << 0;
    QTest::newRow("no days") << 100 << 0 << true << 0;
}

void TstBiorhythm::range()
{
    QFETCH(int, firstT);
    QFETCH(int, days);
    QFETCH(bool, valid);
    QFETCH(int, cells);
    const QDate start(2026, 12, 9);
    const BiorhythmForecast f = ComputeBiorhythm(start.addDays(-firstT), start, days);
    QCOMPARE(f.valid, valid);
    QCOMPARE(f.cells.size(), cells);
    QCOMPARE(f.error.isEmpty(), valid);
}

QTEST_GUILESS_MAIN(TstBiorhythm)
#include "tst_biorhythm.moc"
