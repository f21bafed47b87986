// The driver register: its filter fragment, the list query and its status
// line, the row operations the record screen calls, deletion and export.

#include "widgets/listexport.h"
#include "masterdatafixture.h"

#include "master_data/frmdriver.h"
#include "master_data/frmdrivermain.h"
#include "widgets/grid.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

QStringList column(FlexGrid *grid, int c)
{
    QStringList out;
    for (int r = grid->fixedRows(); r < grid->rows(); ++r)
        out << grid->textMatrix(r, c);
    return out;
}

} // namespace

class TstDriverMain : public QObject {
    Q_OBJECT
private slots:
    void fragment_data();
    void fragment();
    void queryListsAndResetsFilters();
    void placeholderHandling();
    void queryFailureIsShownAndPointerReturns();
    void emptyGridButtons();
    void deleteRenumbers_data();
    void deleteRenumbers();
    void refusedDeletionKeepsRow();
    void updateFollowsTheKeyNotTheCurrentRow();
    void addOneLineAppendsOnlyOneMatch();
    void exportWritesTheGrid();
};

void TstDriverMain::fragment_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("placeholders") << QString() << QString() << u"1=1"_s;
    QTest::newRow("number 12") << u"12"_s << QString()
                               << u"1=1 AND (driver_no LIKE '%12%' OR driver_no LIKE '%12' OR driver_no LIKE '12%' "
                                  u"OR driver_no = '12')"_s;
    QTest::newRow("apostrophe name")
        << QString() << u"O'K"_s
        << u"1=1 AND (driver_name LIKE '%O'+\"'\"+'K%' OR driver_name LIKE '%O'+\"'\"+'K' OR driver_name LIKE "
           u"'O'+\"'\"+'K%' OR driver_name = 'O'+\"'\"+'K')"_s;
    QTest::newRow("both, untrimmed")
        << u"D "_s << u"张"_s
        << u"1=1 AND (driver_no LIKE '%D %' OR driver_no LIKE '%D ' OR driver_no LIKE 'D %' OR driver_no = 'D ') "
           u"AND (driver_name LIKE '%张%' OR driver_name LIKE '%张' OR driver_name LIKE '张%' OR driver_name = '张')"_s;
}

void TstDriverMain::fragment()
{
    QFETCH(QString, number);
    QFETCH(QString, name);
    QFETCH(QString, expected);
    test::MasterDataStation s;
    frmDriverMain form(s.env, s.station);
    if (!number.isEmpty())
        test::child<QLineEdit>(&form, u"txtDriverID"_s)->setText(number);
    if (!name.isEmpty())
        test::child<QLineEdit>(&form, u"txtDriverName"_s)->setText(name);
    QCOMPARE(form.Fragment(), expected);
}

void TstDriverMain::queryListsAndResetsFilters()
{
    test::MasterDataStation s;
    frmDriverMain form(s.env, s.station);
    form.show();
    auto *vsList = test::child<FlexGrid>(&form, u"vsList"_s);
    QCOMPARE(vsList->rows(), 1);
    QCOMPARE(vsList->textMatrix(0, 7), u"安全学习有效期"_s);
    test::child<QLineEdit>(&form, u"txtDriverName"_s)->setText(u"赵"_s);
    QTest::mouseClick(test::child<QPushButton>(&form, u"cmdQuery"_s), Qt::LeftButton);
    QCOMPARE(column(vsList, 1), QStringList{u"D04"_s});
    QCOMPARE(vsList->rowData(1).toString(), u"D04"_s);
    QCOMPARE(s.status.panels[1], u"查询完毕,共1条记录"_s);
    QCOMPARE(test::child<QLineEdit>(&form, u"txtDriverName"_s)->text(), u"(输入驾驶员姓名)"_s);
    // The filters went back to their placeholders: every driver now.
    QTest::mouseClick(test::child<QPushButton>(&form, u"cmdQuery"_s), Qt::LeftButton);
    QCOMPARE(column(vsList, 1), (QStringList{u"D01"_s, u"D02"_s, u"D03"_s, u"D04"_s, u"D05"_s}));
    QCOMPARE(column(vsList, 0), (QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s}));
    QCOMPARE(vsList->textMatrix(5, 3), u"女"_s);
    QCOMPARE(s.status.panels[0], QString());
    QCOMPARE(s.status.panels[1], u"查询完毕,共5条记录"_s);
    QCOMPARE(s.status.calls.first(), (QPair<QString, int>{u"正在查询相关车次，请稍等..."_s, 1}));
}

void TstDriverMain::placeholderHandling()
{
    test::MasterDataStation s;
    frmDriverMain form(s.env, s.station);
    form.show();
    QApplication::setActiveWindow(&form);
    QCOMPARE(test::child<QLineEdit>(&form, u"txtDriverID"_s)->text(), u"(输入驾驶员编号)"_s);
    QCOMPARE(test::child<PlaceholderBox>(&form, u"txtDriverID"_s)->filterText(), QString());
    test::child<QLineEdit>(&form, u"txtDriverID"_s)->setFocus();
    QTRY_VERIFY(test::child<QLineEdit>(&form, u"txtDriverID"_s)->hasFocus());
    QCOMPARE(test::child<QLineEdit>(&form, u"txtDriverID"_s)->text(), QString());
    test::child<QLineEdit>(&form, u"txtDriverName"_s)->setFocus();
    QTRY_VERIFY(test::child<QLineEdit>(&form, u"txtDriverName"_s)->hasFocus());
    QCOMPARE(test::child<QLineEdit>(&form, u"txtDriverID"_s)->text(), u"(输入驾驶员编号)"_s);
    // Typed text stays, and an exact placeholder text counts as no filter.
    test::child<QLineEdit>(&form, u"txtDriverName"_s)->insert(u"李"_s);
    test::child<QLineEdit>(&form, u"txtDriverID"_s)->setFocus();
    QTRY_VERIFY(test::child<QLineEdit>(&form, u"txtDriverID"_s)->hasFocus());
    QCOMPARE(test::child<QLineEdit>(&form, u"txtDriverName"_s)->text(), u"李"_s);
    QCOMPARE(test::child<PlaceholderBox>(&form, u"txtDriverName"_s)->filterText(), u"李"_s);
}

void TstDriverMain::queryFailureIsShownAndPointerReturns()
{
    test::MasterDataStation s;
    frmDriverMain form(s.env, s.station);
    form.show();
    s.db.exec(u"ALTER TABLE drivers RENAME TO drivers_gone"_s);
    QTest::mouseClick(test::child<QPushButton>(&form, u"cmdQuery"_s), Qt::LeftButton);
    QCOMPARE(s.status.panels[0], u"查询错误,请检查后继续"_s);
    // The pointer comes back: the last call is the result panel.
    QCOMPARE(s.status.calls.last().second, 2);
    QCOMPARE(s.messages.boxes.size(), 1);
    QVERIFY(s.messages.lastTitle().startsWith(u"错误-"_s));
    QCOMPARE(test::child<FlexGrid>(&form, u"vsList"_s)->rows(), 1);
}

void TstDriverMain::emptyGridButtons()
{
    test::MasterDataStation s;
    frmDriverMain form(s.env, s.station);
    form.show();
    QTest::mouseClick(test::child<QPushButton>(&form, u"cmdDelete"_s), Qt::LeftButton);
    QCOMPARE(s.messages.boxes.size(), 1);
    QCOMPARE(s.messages.lastText(), u"先查询出并选择一条货运信息！"_s);
    QCOMPARE(s.messages.boxes.last().spec.buttons, MsgButtons::Ok); // no question asked
    QTest::mouseClick(test::child<QPushButton>(&form, u"cmdEdit"_s), Qt::LeftButton);
    QCOMPARE(form.recordScreen(), nullptr);
}

void TstDriverMain::deleteRenumbers_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QStringList>("left");
    QTest::addColumn<QStringList>("numbers");
    QTest::newRow("row 2 of 5") << 2 << true << QStringList{u"D01"_s, u"D03"_s, u"D04"_s, u"D05"_s}
                                << QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s};
    QTest::newRow("last row") << 5 << true << QStringList{u"D01"_s, u"D02"_s, u"D03"_s, u"D04"_s}
                              << QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s};
    QTest::newRow("answered No") << 2 << false
                                 << QStringList{u"D01"_s, u"D02"_s, u"D03"_s, u"D04"_s, u"D05"_s}
                                 << QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s};
}

void TstDriverMain::deleteRenumbers()
{
    QFETCH(int, row);
    QFETCH(bool, yes);
    QFETCH(QStringList, left);
    QFETCH(QStringList, numbers);
    test::MasterDataStation s;
    // Only D01 is arranged; D02 substitutes: both would lose records.
    s.db.exec(u"DELETE FROM substitutions"_s);
    s.db.exec(u"DELETE FROM arrangements"_s);
    frmDriverMain form(s.env, s.station);
    form.show();
    QTest::mouseClick(test::child<QPushButton>(&form, u"cmdQuery"_s), Qt::LeftButton);
    auto *vsList = test::child<FlexGrid>(&form, u"vsList"_s);
    vsList->setCurrent(row, 1);
    s.messages.script = {yes ? MsgAnswer::Yes : MsgAnswer::No};
    QTest::mouseClick(test::child<QPushButton>(&form, u"cmdDelete"_s), Qt::LeftButton);
    QCOMPARE(s.messages.boxes.first().spec.text,
             u"是否真的要删除序号为[%1]的信息，删除后将不能再恢复？"_s.arg(row));
    QCOMPARE(s.messages.boxes.first().spec.title, u"提示"_s);
    QCOMPARE(column(vsList, 1), left);
    QCOMPARE(column(vsList, 0), numbers);
    QCOMPARE(s.messages.notices.isEmpty() && s.messages.boxes.size() == 1, !yes);
    if (yes)
        QCOMPARE(s.messages.boxes.last().spec.text, u"删除成功！"_s);
    QCOMPARE(s.db.scalar(u"SELECT COUNT(*) FROM drivers"_s).toInt(), int(left.size()));
}

void TstDriverMain::refusedDeletionKeepsRow()
{
    test::MasterDataStation s;
    frmDriverMain form(s.env, s.station);
    form.show();
    QTest::mouseClick(test::child<QPushButton>(&form, u"cmdQuery"_s), Qt::LeftButton);
    auto *vsList = test::child<FlexGrid>(&form, u"vsList"_s);
    vsList->setCurrent(1, 1); // D01, arranged on V1
    QTest::mouseClick(test::child<QPushButton>(&form, u"cmdDelete"_s), Qt::LeftButton);
    QCOMPARE(vsList->dataRows(), 5);
    QCOMPARE(vsList->textMatrix(1, 1), u"D01"_s);
    QVERIFY2(s.messages.lastText().contains(u"排班"_s), qPrintable(s.messages.lastText()));
    for (const auto &b : std::as_const(s.messages.boxes))
        QVERIFY(b.spec.text != u"删除成功！"_s);
    QCOMPARE(s.field(u"D01"_s, u"driver_name"_s).toString(), u"张三"_s);
}

void TstDriverMain::updateFollowsTheKeyNotTheCurrentRow()
{
    test::MasterDataStation s;
    frmDriverMain form(s.env, s.station);
    form.show();
    QTest::mouseClick(test::child<QPushButton>(&form, u"cmdQuery"_s), Qt::LeftButton);
    auto *vsList = test::child<FlexGrid>(&form, u"vsList"_s);
    vsList->setCurrent(1, 1);
    s.db.exec(u"UPDATE drivers SET driver_name = '赵六改' WHERE driver_id = 'D04'"_s);
    form.UpdOneInfoLine(u"D04"_s);
    QCOMPARE(column(vsList, 2), (QStringList{u"张三"_s, u"李四"_s, u"王五"_s, u"赵六改"_s, u"钱七"_s}));
    QCOMPARE(vsList->textMatrix(4, 0), u"4"_s);
    QCOMPARE(s.status.panels[1], u"查询完毕,共1条记录"_s);
    // A driver not in the grid changes nothing.
    s.db.exec(u"INSERT INTO drivers (driver_id, driver_name) VALUES ('D09', '不在表中')"_s);
    form.UpdOneInfoLine(u"D09"_s);
    QCOMPARE(vsList->dataRows(), 5);
    QCOMPARE(vsList->textMatrix(1, 2), u"张三"_s);
}

void TstDriverMain::addOneLineAppendsOnlyOneMatch()
{
    test::MasterDataStation s;
    frmDriverMain form(s.env, s.station);
    form.show();
    test::child<QLineEdit>(&form, u"txtDriverID"_s)->setText(u"D01"_s);
    QTest::mouseClick(test::child<QPushButton>(&form, u"cmdQuery"_s), Qt::LeftButton);
    s.db.exec(u"INSERT INTO drivers (driver_id, driver_name) VALUES ('D20', '新人')"_s);
    form.AddOneLine(u"D20"_s);
    auto *vsList = test::child<FlexGrid>(&form, u"vsList"_s);
    QCOMPARE(column(vsList, 1), (QStringList{u"D01"_s, u"D20"_s}));
    QCOMPARE(vsList->textMatrix(2, 0), u"2"_s);
    QCOMPARE(vsList->row(), 2);
    form.AddOneLine(u"D99"_s);
    QCOMPARE(vsList->dataRows(), 2);
}

void TstDriverMain::exportWritesTheGrid()
{
    test::MasterDataStation s;
    frmDriverMain form(s.env, s.station);
    form.show();
    QTest::mouseClick(test::child<QPushButton>(&form, u"cmdQuery"_s), Qt::LeftButton);
    const QString path = s.dir.filePath(u"drivers.xls"_s);
    s.files.answers = {path};
    IListReport &report = *ListReportOf(&form);
    QVERIFY(!report.CanPrint()); // export only: the File menu disables its print entries
    report.ExportFile();
    QCOMPARE(s.files.calls.first().title, u"当前表格导出至..."_s);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    // UTF-16 after its byte-order mark; the file ends without a NUL.
    const QByteArray bytes = f.readAll();
    QVERIFY(bytes.size() >= 2);
    const QString text =
        QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData() + 2), (bytes.size() - 2) / 2);
    QVERIFY(text.startsWith(u"序\t编号\t姓名"_s));
    QVERIFY(text.contains(u"\t钱七\t"_s));
}

QTEST_MAIN(TstDriverMain)
#include "tst_drivermain.moc"
