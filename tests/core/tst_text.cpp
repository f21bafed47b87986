#include "core/text.h"

#include <QTest>

using namespace cg;
using namespace Qt::StringLiterals;

class TstText : public QObject {
    Q_OBJECT

private slots:
    void splitAtFirst_data();
    void splitAtFirst();
    void brackets_data();
    void brackets();
    void incrementTrailingNumber_data();
    void incrementTrailingNumber();
    void cleanNumericText_data();
    void cleanNumericText();
    void ansiByteLength_data();
    void ansiByteLength();
    void truncateToBytes_data();
    void truncateToBytes();
    void truncateAtEveryLimit_data();
    void truncateAtEveryLimit();
    void codeText_data();
    void codeText();
};

void TstText::splitAtFirst_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("sep");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::newRow("several separators") << u"a\\b\\c"_s << u"\\"_s << u"a"_s << u"b\\c"_s;
    QTest::newRow("absent") << u"abc"_s << u"\\"_s << u"abc"_s << QString();
    QTest::newRow("at start") << u",x"_s << u","_s << QString() << u"x"_s;
    QTest::newRow("at end") << u"x,"_s << u","_s << u"x"_s << QString();
    QTest::newRow("long separator") << u"K001--李四--"_s << u"--"_s << u"K001"_s << u"李四--"_s;
    QTest::newRow("empty text") << QString() << u","_s << QString() << QString();
}

void TstText::splitAtFirst()
{
    QFETCH(QString, text);
    QFETCH(QString, sep);
    QFETCH(QString, before);
    QFETCH(QString, after);
    QCOMPARE(SplitAtFirst(text, true, sep), before);
    QCOMPARE(SplitAtFirst(text, false, sep), after);
}

void TstText::brackets_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("hasBracket");
    QTest::addColumn<QString>("head");
    QTest::addColumn<QString>("inner");
    QTest::newRow("code with name") << u"K001[李四]"_s << true << u"K001"_s << u"李四"_s;
    QTest::newRow("no bracket") << u"K001"_s << false << u"K001"_s << QString();
    QTest::newRow("empty name") << u"K001[]"_s << true << u"K001"_s << QString();
    QTest::newRow("empty code") << u"[李四]"_s << true << QString() << u"李四"_s;
    QTest::newRow("nested name") << u"A[B[C]]"_s << true << u"A"_s << u"B[C]"_s;
    QTest::newRow("bracket last") << u"K001["_s << true << u"K001"_s << QString();
    QTest::newRow("empty") << QString() << false << QString() << QString();
}

void TstText::brackets()
{
    QFETCH(QString, text);
    QFETCH(bool, hasBracket);
    QFETCH(QString, head);
    QFETCH(QString, inner);

    QString gotHead = u"untouched"_s;
    QCOMPARE(BracketInner(text, &gotHead), hasBracket ? inner : text);
    QCOMPARE(gotHead, hasBracket ? head : u"untouched"_s);

    QString gotInner = u"stale"_s;
    QCOMPARE(BracketHead(text, &gotInner), hasBracket ? head : text);
    QCOMPARE(gotInner, inner);

    if (hasBracket && !text.endsWith(u'[') && inner.count(u'[') == 0)
        QCOMPARE(JoinCodeName(head, inner), text);
}

void TstText::incrementTrailingNumber_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("result");
    QTest::newRow("no digits") << u"A"_s << 1 << u"A"_s;
    QTest::newRow("empty") << QString() << 1 << QString();
    QTest::newRow("A9 wraps") << u"A9"_s << 1 << u"A0"_s;
    QTest::newRow("007") << u"007"_s << 1 << u"008"_s;
    QTest::newRow("099 carries") << u"099"_s << 1 << u"100"_s;
    QTest::newRow("99 keeps width") << u"99"_s << 1 << u"00"_s;
    QTest::newRow("K009") << u"K009"_s << 1 << u"K010"_s;
    QTest::newRow("digits inside") << u"K12A05"_s << 1 << u"K12A06"_s;
    QTest::newRow("big step") << u"X0001"_s << 1234 << u"X1235"_s;
    QTest::newRow("step over width") << u"B05"_s << 1000 << u"B05"_s;
    QTest::newRow("zero step") << u"C08"_s << 0 << u"C08"_s;
    QTest::newRow("negative step") << u"K010"_s << -1 << u"K009"_s;
    QTest::newRow("negative wraps") << u"K000"_s << -1 << u"K999"_s;
    QTest::newRow("int min") << u"0000000000"_s << std::numeric_limits<int>::min() << u"7852516352"_s;
    QTest::newRow("int max") << u"T00"_s << std::numeric_limits<int>::max() << u"T47"_s;
    QTest::newRow("full-width digit is not a digit") << u"K１"_s << 1 << u"K１"_s;
    QTest::newRow("25 digits") << u"N9999999999999999999999999"_s << 1 << u"N0000000000000000000000000"_s;
    QTest::newRow("22 digits carry") << u"0000999999999999999999"_s << 2 << u"0001000000000000000001"_s;
}

void TstText::incrementTrailingNumber()
{
    QFETCH(QString, code);
    QFETCH(int, step);
    QFETCH(QString, result);
    QCOMPARE(IncrementTrailingNumber(code, step), result);
}

void TstText::cleanNumericText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("negative");
    QTest::addColumn<bool>("decimal");
    QTest::addColumn<QString>("result");
    QTest::newRow("unit cut") << u"12.5kg"_s << true << true << u"12.5"_s;
    QTest::newRow("no decimals") << u"12.5kg"_s << true << false << u"12"_s;
    QTest::newRow("negative not allowed") << u"-3"_s << false << true << QString();
    QTest::newRow("negative allowed") << u"-3"_s << true << true << u"-3"_s;
    QTest::newRow("letters") << u"abc"_s << true << true << QString();
    QTest::newRow("blank") << u"   "_s << true << true << QString();
    QTest::newRow("trimmed") << u"  42  "_s << false << false << u"42"_s;
    QTest::newRow("lone minus typing") << u"-"_s << true << true << u"-"_s;
    QTest::newRow("lone minus not allowed") << u"-"_s << false << true << QString();
    QTest::newRow("lone point") << u"."_s << true << true << u"."_s;
    QTest::newRow("lone point no decimals") << u"."_s << true << false << QString();
    QTest::newRow("minus point") << u"-.5"_s << true << true << u"-.5"_s;
    QTest::newRow("second point stops") << u"1.2.3"_s << true << true << u"1.2"_s;
    QTest::newRow("minus inside stops") << u"5-3"_s << true << true << u"5"_s;
    QTest::newRow("plus refused") << u"+5"_s << true << true << QString();
    QTest::newRow("no exponent") << u"1e5"_s << true << true << u"1"_s;
    QTest::newRow("no thousands") << u"1,000"_s << true << true << u"1"_s;
    QTest::newRow("space inside") << u"1 2"_s << true << true << u"1"_s;
    QTest::newRow("full-width digits") << u"１２"_s << true << true << QString();
    QTest::newRow("trailing point") << u"7."_s << false << true << u"7."_s;
}

void TstText::cleanNumericText()
{
    QFETCH(QString, text);
    QFETCH(bool, negative);
    QFETCH(bool, decimal);
    QFETCH(QString, result);
    QCOMPARE(CleanNumericText(text, negative, decimal), result);
}

static const QString kEmoji = u"\U0001F600"_s;     // no GBK form: 4 bytes
static const QString kExtA = u"\u4DB5"_s;          // CJK extension A, not in GBK: 4 bytes

void TstText::ansiByteLength_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("bytes");
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("ascii") << u"AB12-"_s << 5;
    QTest::newRow("chinese") << u"李四"_s << 4;
    QTest::newRow("mixed") << u"K001[李四]"_s << 10;
    QTest::newRow("full-width") << u"（１）\u3000"_s << 8;
    QTest::newRow("middle dot") << u"\u00B7"_s << 2;
    QTest::newRow("emoji") << kEmoji << 4;
    QTest::newRow("not in GBK") << kExtA << 4;
    QTest::newRow("lone surrogate") << QString(QChar(0xD83D)) << 1;
    QTest::newRow("emoji among chinese") << (u"李"_s + kEmoji + u"A"_s) << 7;
}

void TstText::ansiByteLength()
{
    QFETCH(QString, text);
    QFETCH(int, bytes);
    QCOMPARE(AnsiByteLength(text), bytes);
}

void TstText::truncateToBytes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("max");
    QTest::addColumn<QString>("result");
    QTest::newRow("five chinese to 6") << u"一二三四五"_s << 6 << u"一二三"_s;
    QTest::newRow("straddling dropped") << u"一二三四五"_s << 7 << u"一二三"_s;
    QTest::newRow("fits") << u"一二三四五"_s << 10 << u"一二三四五"_s;
    QTest::newRow("ascii then chinese") << u"A李"_s << 2 << u"A"_s;
    QTest::newRow("zero") << u"abc"_s << 0 << QString();
    QTest::newRow("negative") << u"abc"_s << -1 << QString();
    QTest::newRow("emoji not halved") << (u"A"_s + kEmoji) << 4 << u"A"_s;
    QTest::newRow("emoji whole") << (u"A"_s + kEmoji + u"B"_s) << 5 << (u"A"_s + kEmoji);
}

void TstText::truncateToBytes()
{
    QFETCH(QString, text);
    QFETCH(int, max);
    QFETCH(QString, result);
    QCOMPARE(TruncateToBytes(text, max), result);
}

// Every limit from below zero to past the end: the result is the longest
// prefix of whole characters within the limit, never a broken character.
void TstText::truncateAtEveryLimit_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("boundaries"); // byte length after each character
    QTest::newRow("mixed") << (u"A李"_s + kEmoji + u"b四"_s + kExtA + u"·"_s)
                           << QList<int>{1, 3, 7, 8, 10, 14, 16};
    QTest::newRow("chinese only") << u"车况门检"_s << QList<int>{2, 4, 6, 8};
}

void TstText::truncateAtEveryLimit()
{
    QFETCH(QString, text);
    QFETCH(QList<int>, boundaries);
    // UTF-16 end of each character
    QList<qsizetype> ends;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (!text.at(i).isHighSurrogate())
            ends.append(i + 1);
    QCOMPARE(ends.size(), boundaries.size());
    QCOMPARE(AnsiByteLength(text), boundaries.last());

    for (int max = -2; max <= boundaries.last() + 2; ++max) {
        qsizetype expected = 0;
        for (int k = 0; k < boundaries.size(); ++k)
            if (boundaries[k] <= max)
                expected = ends[k];
        const QString got = TruncateToBytes(text, max);
        QCOMPARE(got, text.left(expected));
        QVERIFY(AnsiByteLength(got) <= std::max(max, 0));
        QVERIFY(got.isEmpty() || !got.back().isHighSurrogate());
    }
}

void TstText::codeText_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("1/0") << 1 << 0 << u"正常"_s;
    QTest::newRow("1/1") << 1 << 1 << u"停班"_s;
    QTest::newRow("1/2") << 1 << 2 << QString();
    QTest::newRow("2/0") << 2 << 0 << QString();
    QTest::newRow("2/1") << 2 << 1 << u"季检"_s;
    QTest::newRow("2/2") << 2 << 2 << u"年检"_s;
    QTest::newRow("2/3") << 2 << 3 << u"春检"_s;
    QTest::newRow("2/4") << 2 << 4 << u"临检"_s;
    QTest::newRow("3/1") << 3 << 1 << QString();
}

void TstText::codeText()
{
    QFETCH(int, kind);
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(CodeText(kind, code), text);
}

QTEST_APPLESS_MAIN(TstText)
#include "tst_text.moc"
