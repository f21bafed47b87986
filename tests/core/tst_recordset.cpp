#include "core/apperror.h"
#include "core/array2d.h"
#include "core/recordset.h"

#include <QDateTime>
#include <QTest>

using namespace cg;
using namespace Qt::StringLiterals;

class TstRecordSet : public QObject {
    Q_OBJECT

private slots:
    void unknownFieldNamed();
    void fieldValue_data();
    void fieldValue();
    void navigation();
    void cloneShape();
    void arrayCount_data();
    void arrayCount();
    void arrayAppend();
};

static RecordSet driverSet()
{
    RecordSet rs;
    rs.appendField(u"driver_id"_s, FieldType::Text, 10);
    rs.appendField(u"name"_s, FieldType::Text, 20);
    rs.appendField(u"age"_s, FieldType::Integer);
    rs.appendField(u"check_time"_s, FieldType::DateTime);
    return rs;
}

void TstRecordSet::unknownFieldNamed()
{
    RecordSet rs = driverSet();
    rs.appendRow({u"D01"_s, u"李四"_s, 40});
    QCOMPARE(rs.value(u"NAME"_s).toString(), u"李四"_s); // names are case-insensitive
    try {
        FieldValue(rs, u"licence_no"_s);
        QFAIL("no error for an unknown field");
    } catch (const AppError &e) {
        QCOMPARE(e.number(), errnum::UnknownField);
        QVERIFY2(e.description().contains(u"licence_no"_s), qPrintable(e.description()));
    }
    QVERIFY_THROWS_EXCEPTION(AppError, rs.setValue(u"licence_no"_s, 1));
    QVERIFY_THROWS_EXCEPTION(AppError, rs.appendField(u"Name"_s, FieldType::Text));
}

void TstRecordSet::fieldValue_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QVariant>("read");
    QTest::newRow("null") << QVariant() << QVariant();
    QTest::newRow("empty text is not null") << QVariant(u""_s) << QVariant(u""_s);
    QTest::newRow("padded text") << QVariant(u"  苏A12345  "_s) << QVariant(u"苏A12345"_s);
    QTest::newRow("only spaces") << QVariant(u"    "_s) << QVariant(u""_s);
    QTest::newRow("inner spaces kept") << QVariant(u" 李 四 "_s) << QVariant(u"李 四"_s);
    QTest::newRow("line breaks kept") << QVariant(u"第一行\r\n第二行\r\n "_s) << QVariant(u"第一行\r\n第二行\r\n"_s);
    QTest::newRow("full-width indent kept") << QVariant(u"\u3000\u3000备注"_s) << QVariant(u"\u3000\u3000备注"_s);
    QTest::newRow("integer") << QVariant(0) << QVariant(0);
    QTest::newRow("date") << QVariant(QDateTime(QDate(2026, 1, 2), QTime(3, 4))) << QVariant(QDateTime(QDate(2026, 1, 2), QTime(3, 4)));
}

void TstRecordSet::fieldValue()
{
    QFETCH(QVariant, stored);
    QFETCH(QVariant, read);
    RecordSet rs;
    rs.appendField(u"f"_s, FieldType::Text);
    rs.appendRow({stored});
    const QVariant got = FieldValue(rs, u"f"_s);
    QCOMPARE(got.isValid(), read.isValid());
    QCOMPARE(got, read);
    QCOMPARE(rs.isNull(u"f"_s), !stored.isValid());
}

void TstRecordSet::navigation()
{
    RecordSet rs = driverSet();
    QVERIFY(rs.isEOF());
    QVERIFY_THROWS_EXCEPTION(AppError, rs.value(u"name"_s));

    rs.appendRow({u"D01"_s, u"甲"_s});
    rs.appendRow({u"D02"_s, u"乙"_s});
    rs.appendRow({u"D03"_s, u"丙"_s});
    QCOMPARE(rs.RecordCount(), 3);
    QCOMPARE(rs.value(u"driver_id"_s).toString(), u"D03"_s); // the appended row is current
    QVERIFY(rs.isNull(u"age"_s));                             // values not given are Null

    QStringList seen;
    for (rs.MoveFirst(); !rs.isEOF(); rs.MoveNext())
        seen << FieldValue(rs, u"name"_s).toString();
    QCOMPARE(seen, (QStringList{u"甲"_s, u"乙"_s, u"丙"_s}));

    rs.MoveNext(); // stays at end
    QVERIFY(rs.isEOF());
    try {
        rs.value(u"name"_s);
        QFAIL("read past the end");
    } catch (const AppError &e) {
        QCOMPARE(e.number(), errnum::NoCurrentRecord);
    }
    rs.Move(-2);
    QCOMPARE(rs.value(u"driver_id"_s).toString(), u"D02"_s);
    rs.MoveLast();
    QCOMPARE(rs.value(u"driver_id"_s).toString(), u"D03"_s);

    rs.appendField(u"remark"_s, FieldType::Text); // existing rows get Null
    QVERIFY(!rs.valueAt(0, u"remark"_s).isValid());
    QVERIFY_THROWS_EXCEPTION(AppError, rs.appendRow({1, 2, 3, 4, 5, 6}));
}

void TstRecordSet::cloneShape()
{
    RecordSet src = driverSet();
    src.appendRow({u"D01"_s, u"甲"_s, 30});
    const RecordSet copy = CloneRecordsetShape(src);
    QCOMPARE(copy.fieldCount(), src.fieldCount());
    for (int i = 0; i < src.fieldCount(); ++i) {
        QCOMPARE(copy.field(i).name, src.field(i).name);
        QCOMPARE(copy.field(i).type, src.field(i).type);
        QCOMPARE(copy.field(i).definedSize, src.field(i).definedSize);
    }
    QCOMPARE(copy.RecordCount(), 0);
    QVERIFY(copy.isEOF());
    QCOMPARE(src.RecordCount(), 1);

    RecordSet filled = CloneRecordsetShape(src);
    filled.appendRow();
    filled.setValue(u"name"_s, u"乙"_s);
    QCOMPARE(filled.value(u"name"_s).toString(), u"乙"_s);
    QCOMPARE(src.value(u"name"_s).toString(), u"甲"_s);
}

void TstRecordSet::arrayCount_data()
{
    QTest::addColumn<int>("rows"); // -1: not allocated
    QTest::addColumn<int>("cols");
    QTest::addColumn<int>("dim1");
    QTest::addColumn<int>("dim2");
    QTest::addColumn<int>("dim3");
    QTest::newRow("not allocated") << -1 << 0 << 0 << 0 << 0;
    QTest::newRow("3 x 2") << 3 << 2 << 3 << 2 << 0;
    QTest::newRow("no rows") << 0 << 4 << 0 << 4 << 0;
}

void TstRecordSet::arrayCount()
{
    QFETCH(int, rows);
    QFETCH(int, cols);
    QFETCH(int, dim1);
    QFETCH(int, dim2);
    QFETCH(int, dim3);
    const Array2D a = rows < 0 ? Array2D() : Array2D(rows, cols);
    QCOMPARE(ArrayCount(a, 1), dim1);
    QCOMPARE(ArrayCount(a, 2), dim2);
    QCOMPARE(ArrayCount(a, 3), dim3);
    QCOMPARE(ArrayCount(a, 0), 0);
}

void TstRecordSet::arrayAppend()
{
    Array2D a;
    a.appendRow({u"K001"_s, u"甲"_s});
    a.appendRow({u"K002"_s});
    QCOMPARE(ArrayCount(a, 1), 2);
    QCOMPARE(ArrayCount(a, 2), 2);
    QCOMPARE(a.at(1, 2).toString(), u"甲"_s);
    QCOMPARE(a.at(2, 1).toString(), u"K002"_s);
    QVERIFY(!a.at(2, 2).isValid());
    QVERIFY(!a.at(3, 1).isValid());
    QVERIFY(!a.at(0, 1).isValid());
}

QTEST_APPLESS_MAIN(TstRecordSet)
#include "tst_recordset.moc"
