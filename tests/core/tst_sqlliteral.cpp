#include "core/apperror.h"
#include "core/sqlliteral.h"

#include <QDateTime>
#include <QTest>

#include <limits>

using namespace cg;
using namespace Qt::StringLiterals;

class TstSqlLiteral : public QObject {
    Q_OBJECT

private slots:
    void literal_data();
    void literal();
    void notANumber_data();
    void notANumber();
};

void TstSqlLiteral::literal_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("sql");

    QTest::newRow("null") << QVariant() << QString();
    QTest::newRow("null pointer") << QVariant::fromValue(nullptr) << QString();
    QTest::newRow("bytes") << QVariant(QByteArray("ab")) << QString();
    QTest::newRow("list") << QVariant(QStringList{u"a"_s}) << QString();
    QTest::newRow("time only") << QVariant(QTime(8, 0)) << QString();

    QTest::newRow("int") << QVariant(42) << u"42"_s;
    QTest::newRow("negative int") << QVariant(-7) << u"-7"_s;
    QTest::newRow("int64 min") << QVariant(std::numeric_limits<qint64>::min()) << u"-9223372036854775808"_s;
    QTest::newRow("uint64 max") << QVariant(std::numeric_limits<quint64>::max()) << u"18446744073709551615"_s;
    QTest::newRow("byte") << QVariant::fromValue(uchar(200)) << u"200"_s;
    QTest::newRow("short") << QVariant::fromValue(short(-300)) << u"-300"_s;

    QTest::newRow("double") << QVariant(12.5) << u"12.5"_s;
    QTest::newRow("whole double") << QVariant(15.0) << u"15"_s;
    QTest::newRow("negative double") << QVariant(-1.5) << u"-1.5"_s;
    QTest::newRow("tenth") << QVariant(0.1) << u"0.1"_s;
    QTest::newRow("negative zero") << QVariant(-0.0) << u"0"_s;
    QTest::newRow("large double") << QVariant(1e20) << u"100000000000000000000"_s;
    QTest::newRow("small double") << QVariant(1e-7) << u"0.0000001"_s;
    QTest::newRow("float tenth") << QVariant(0.1f) << u"0.1"_s;
    QTest::newRow("float") << QVariant(2.75f) << u"2.75"_s;

    QTest::newRow("true") << QVariant(true) << u"1"_s;
    QTest::newRow("false") << QVariant(false) << u"0"_s;

    QTest::newRow("date-time") << QVariant(QDateTime(QDate(2026, 3, 7), QTime(21, 5, 9))) << u"'2026-03-07 21:05:09'"_s;
    QTest::newRow("date") << QVariant(QDate(2024, 2, 29)) << u"'2024-02-29 00:00:00'"_s;
    QTest::newRow("no-date") << QVariant(QDateTime(QDate(1900, 1, 1), QTime(0, 0))) << u"'1900-01-01 00:00:00'"_s;
    QTest::newRow("invalid date") << QVariant(QDateTime()) << QString();

    QTest::newRow("empty text") << QVariant(u""_s) << u"''"_s;
    QTest::newRow("null text") << QVariant(QString()) << u"''"_s;
    QTest::newRow("plain text") << QVariant(u"苏A12345"_s) << u"'苏A12345'"_s;
    QTest::newRow("number as text") << QVariant(u"12"_s) << u"'12'"_s;
    QTest::newRow("one apostrophe") << QVariant(u"O'K"_s) << u"'O'+\"'\"+'K'"_s;
    QTest::newRow("only apostrophe") << QVariant(u"'"_s) << u"''+\"'\"+''"_s;
    QTest::newRow("leading") << QVariant(u"'a"_s) << u"''+\"'\"+'a'"_s;
    QTest::newRow("trailing") << QVariant(u"a'"_s) << u"'a'+\"'\"+''"_s;
    QTest::newRow("adjacent") << QVariant(u"a''b"_s) << u"'a'+\"'\"+''+\"'\"+'b'"_s;
    QTest::newRow("several") << QVariant(u"张'三'李"_s) << u"'张'+\"'\"+'三'+\"'\"+'李'"_s;
    QTest::newRow("double quote kept") << QVariant(u"a\"b"_s) << u"'a\"b'"_s;
    QTest::newRow("char") << QVariant(QChar(u'\'')) << u"''+\"'\"+''"_s;
}

void TstSqlLiteral::literal()
{
    QFETCH(QVariant, value);
    QFETCH(QString, sql);
    QCOMPARE(SqlLiteral(value), sql);
}

// NaN and infinity have no SQL text: an error, not a broken fragment.
void TstSqlLiteral::notANumber_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::newRow("nan") << QVariant(std::numeric_limits<double>::quiet_NaN());
    QTest::newRow("inf") << QVariant(std::numeric_limits<double>::infinity());
    QTest::newRow("-inf float") << QVariant(-std::numeric_limits<float>::infinity());
}

void TstSqlLiteral::notANumber()
{
    QFETCH(QVariant, value);
    try {
        SqlLiteral(value);
        QFAIL("no error raised");
    } catch (const AppError &e) {
        QCOMPARE(e.number(), errnum::TypeMismatch);
    }
}

QTEST_APPLESS_MAIN(TstSqlLiteral)
#include "tst_sqlliteral.moc"
