// The screen patterns built once for every list and record screen: the
// list query's status line, the four-way text filter, and the pick-list
// dialog's search and keys.

#include "../support/testsupport.h"

#include "core/apperror.h"
#include "stationui/listquery.h"
#include "stationui/picklist.h"
#include "stationui/registerscreen.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

RecordSet companies()
{
    RecordSet rs;
    rs.appendField(u"code"_s, FieldType::Text);
    rs.appendField(u"name"_s, FieldType::Text);
    rs.appendField(u"extra"_s, FieldType::Text);
    rs.appendRow({u"C01"_s, u"天河运输"_s, u"x1"_s});
    rs.appendRow({u"C02 "_s, u"白云运输"_s, u"x2"_s});
    rs.appendRow({u"K10"_s, u"Kowloon Bus"_s, QVariant()});
    return rs;
}

} // namespace

class TstStationUi : public QObject {
    Q_OBJECT
private slots:
    void listQueryStatusLine_data();
    void listQueryStatusLine();
    void fourWayMatch();
    void pickListSearch_data();
    void pickListSearch();
    void pickListKeys();
    void pickListNothingToPick();
    void putPicked_data();
    void putPicked();
};

void TstStationUi::listQueryStatusLine_data()
{
    QTest::addColumn<bool>("fails");
    QTest::newRow("ok") << false;
    QTest::newRow("fails") << true;
}

void TstStationUi::listQueryStatusLine()
{
    QFETCH(bool, fails);
    test::RecordingMessageSink messages;
    test::RecordingStatusSink status;
    Env env;
    env.messages = &messages;
    env.status = &status;
    int written = 0;
    const bool ok = RunListQuery(env, [&] {
        ++written;
        if (fails)
            throw AppError(errnum::InvalidArgument, u"坏了"_s);
        return 7;
    });
    QCOMPARE(ok, !fails);
    QCOMPARE(written, 1);
    QCOMPARE(status.calls.first(), (QPair<QString, int>{u"正在查询相关车次，请稍等..."_s, 1}));
    if (fails) {
        QCOMPARE(status.panels[0], u"查询错误,请检查后继续"_s);
        // The pointer is restored (panel 2 ends the busy state).
        QCOMPARE(status.calls.last(), (QPair<QString, int>{QString(), 2}));
        QCOMPARE(messages.boxes.size(), 1);
        QCOMPARE(messages.lastText(), u"坏了"_s);
    } else {
        QCOMPARE(status.panels[0], QString());
        QCOMPARE(status.panels[1], u"查询完毕,共7条记录"_s);
        QVERIFY(messages.boxes.isEmpty());
    }
}

void TstStationUi::fourWayMatch()
{
    QCOMPARE(FourWayMatch(u" AND ("_s, u"driver_no"_s, u"1'2"_s),
             u" AND (driver_no LIKE '%1'+\"'\"+'2%' OR driver_no LIKE '%1'+\"'\"+'2' OR driver_no LIKE "
             u"'1'+\"'\"+'2%' OR driver_no = '1'+\"'\"+'2')"_s);
    QCOMPARE(FourWayMatch(u" AND ( "_s, u"license"_s, u"粤A"_s),
             u" AND ( license LIKE '%粤A%' OR license LIKE '%粤A' OR license LIKE '粤A%' OR license = '粤A')"_s);
}

void TstStationUi::pickListSearch_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("shown");
    QTest::addColumn<QString>("picked");
    QTest::newRow("nothing typed") << QString() << 3 << u"C01"_s;
    QTest::newRow("by name") << u"白云"_s << 1 << u"C02"_s;
    QTest::newRow("by code, any case") << u"k1"_s << 1 << u"K10"_s;
    QTest::newRow("by name, any case") << u"kowloon"_s << 1 << u"K10"_s;
    QTest::newRow("common part") << u"运输"_s << 2 << u"C01"_s;
    QTest::newRow("no match") << u"zzz"_s << 0 << QString();
}

void TstStationUi::pickListSearch()
{
    QFETCH(QString, typed);
    QFETCH(int, shown);
    QFETCH(QString, picked);
    PickListDialog dialog(u"选择参运公司"_s, {u"公司代码"_s, u"公司名称"_s}, companies());
    dialog.show();
    dialog.txtSearch->setText(typed);
    QCOMPARE(dialog.shownCount(), shown);
    QCOMPARE(dialog.lblCount->text(), u"共%1项"_s.arg(shown));
    QCOMPARE(dialog.cmdOK->isEnabled(), shown > 0);
    QTest::keyClick(dialog.txtSearch, Qt::Key_Return);
    if (picked.isEmpty()) {
        QVERIFY(!dialog.result().isAllocated() || dialog.result().rows() == 0);
        QVERIFY(dialog.isVisible()); // Enter on an empty list picks nothing
        return;
    }
    QCOMPARE(dialog.result().rows(), 1);
    QCOMPARE(dialog.result().at(1, 1).toString(), picked);
    QCOMPARE(dialog.result().cols(), 3); // every column, shown or not
}

void TstStationUi::pickListKeys()
{
    PickListDialog dialog(u"选择参运公司"_s, {u"公司代码"_s, u"公司名称"_s}, companies());
    dialog.show();
    // Down moves the list while the typing stays in the box.
    QTest::keyClick(dialog.txtSearch, Qt::Key_Down);
    QTest::keyClick(dialog.txtSearch, Qt::Key_Down);
    QTest::keyClicks(dialog.txtSearch, u"B"_s); // K10 still matches "B"us
    QCOMPARE(dialog.txtSearch->text(), u"B"_s);
    QCOMPARE(dialog.lvList->currentItem()->text(0), u"K10"_s);
    QTest::keyClick(dialog.txtSearch, Qt::Key_Return);
    QCOMPARE(dialog.result().at(1, 1).toString(), u"K10"_s);
    QCOMPARE(dialog.result().at(1, 3), QVariant(QString())); // Null comes back as empty text

    PickListDialog cancelled(u"选择参运公司"_s, {u"公司代码"_s, u"公司名称"_s}, companies());
    cancelled.show();
    QTest::keyClick(cancelled.txtSearch, Qt::Key_Escape);
    QVERIFY(!cancelled.isVisible());
    QVERIFY(!cancelled.result().isAllocated());
    // Trimmed codes and names, as the screens store them.
    PickListDialog trimmed(u"选择"_s, {u"代码"_s, u"名称"_s}, companies());
    trimmed.show();
    trimmed.txtSearch->setText(u"白云"_s);
    QTest::mouseClick(trimmed.cmdOK, Qt::LeftButton);
    QCOMPARE(trimmed.result().at(1, 1).toString(), u"C02"_s);
}

void TstStationUi::pickListNothingToPick()
{
    RecordSet empty;
    empty.appendField(u"code"_s, FieldType::Text);
    empty.appendField(u"name"_s, FieldType::Text);
    PickListDialog dialog(u"选择车主"_s, {u"车主代码"_s, u"车主名称"_s}, empty);
    dialog.show();
    QVERIFY(!dialog.cmdOK->isEnabled());
    QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
    QVERIFY(!dialog.result().isAllocated());
}

void TstStationUi::putPicked_data()
{
    QTest::addColumn<Array2D>("picked");
    QTest::addColumn<bool>("written");
    QTest::addColumn<QString>("field");
    Array2D entry(1, 3);
    entry.set(1, 1, u" C02 "_s);
    entry.set(1, 2, u" 白云客运 "_s);
    entry.set(1, 3, u"45"_s);
    QTest::newRow("an entry, trimmed") << entry << true << u"C02[白云客运]"_s;
    QTest::newRow("cancelled") << Array2D() << false << u"C01[旧公司]"_s;
    QTest::newRow("no rows") << Array2D(0, 2) << false << u"C01[旧公司]"_s;
}

void TstStationUi::putPicked()
{
    QFETCH(Array2D, picked);
    QFETCH(bool, written);
    QFETCH(QString, field);
    QLineEdit company(u"C01[旧公司]"_s);
    QCOMPARE(PutPicked(&company, picked), written);
    QCOMPARE(company.text(), field);
}

QTEST_MAIN(TstStationUi)
#include "tst_stationui.moc"
