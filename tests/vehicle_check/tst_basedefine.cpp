// 常用定义: pending additions, edits and deletions per table, the switch
// prompt, and the guards that keep one table's changes out of another.

#include "widgets/listreport.h"
#include "widgets/listexport.h"
#include "vehiclecheckfixture.h"
#include "support/testsupport.h"

#include "widgets/grid.h"
#include "vehicle_check/frmbasedefine.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QStringDecoder>
#include <QFile>
#include <QTest>
#include <QTreeWidget>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

// The screen's controls, found by name.
FlexGrid *grid(const frmBaseDefine &f) { return test::child<FlexGrid>(&f, u"vsBaseInfo"_s); }
QTreeWidget *tree(const frmBaseDefine &f) { return test::child<QTreeWidget>(&f, u"tvItemTree"_s); }
QPushButton *button(const frmBaseDefine &f, const QString &name) { return test::child<QPushButton>(&f, name); }

// The names and remarks of a code table as stored, in code order.
QStringList stored(test::InspectionStation &st, int kind)
{
    const RecordSet rs = st.db.select(u"SELECT name, remark FROM code_items WHERE kind = ? ORDER BY code"_s, {kind});
    QStringList out;
    for (int r = 0; r < rs.RecordCount(); ++r)
        out << rs.valueAt(r, u"name"_s).toString() + u"/"_s + rs.valueAt(r, u"remark"_s).toString();
    return out;
}

QLineEdit *openEditor(frmBaseDefine &f)
{
    QLineEdit *editor = nullptr;
    for (QLineEdit *e : grid(f)->viewport()->findChildren<QLineEdit *>())
        if (e->isVisible())
            editor = e;
    return editor;
}

// Types into the editor of a cell and leaves it for column 0, which commits
// the text as a click on another cell does.
void edit(frmBaseDefine &f, int row, int col, const QString &text)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    grid(f)->setCurrent(row, col);
    QLineEdit *editor = openEditor(f);
    QVERIFY(editor);
    editor->selectAll();
    editor->insert(text); // typed text (the key simulator takes ASCII only)
    grid(f)->setCurrent(row, 0);
    QCoreApplication::processEvents();
}

} // namespace

class TestBaseDefine : public QObject {
    Q_OBJECT
private slots:
    void pendingChanges_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("expected");
        // Seeded: 灯光/l, 轮胎/t.
        QTest::newRow("add then delete sends nothing") << u"add,delete"_s << QStringList{u"灯光/l"_s, u"轮胎/t"_s};
        QTest::newRow("edited new row added once")
            << u"add,name 制动,remark 刹车,name 制动器"_s << QStringList{u"灯光/l"_s, u"轮胎/t"_s, u"制动器/刹车"_s};
        QTest::newRow("deleted edited row only deleted")
            << u"edit1 灯光X,del1"_s << QStringList{u"轮胎/t"_s};
        QTest::newRow("delete above unsaved new row")
            << u"add,name 制动,remark 刹车,del1"_s << QStringList{u"轮胎/t"_s, u"制动/刹车"_s};
        QTest::newRow("edit of a saved row updates it") << u"edit2 轮胎气压"_s
                                                        << QStringList{u"灯光/l"_s, u"轮胎气压/t"_s};
    }
    // The File menu and the product bar export the code table on screen.
    void exportsTheCodeTable()
    {
        test::InspectionStation st;
        st.db.exec(u"INSERT INTO code_items (kind, name, remark) VALUES (9, '灯光', 'l')"_s);
        frmBaseDefine f(st.env, st.station);
        f.show();
        tree(f)->setCurrentItem(f.tableNode(9));
        IListReport *report = ListReportOf(&f);
        QVERIFY(report);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"codes.xls"_s);
        test::ScriptedFileChooser files;
        files.answers = {path};
        Env env = st.env;
        env.files = &files;
        GridReport(env, grid(f)).ExportFile();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QStringDecoder utf16(QStringConverter::Utf16LE);
        const QString text = utf16.decode(file.readAll());
        QVERIFY(text.contains(u"灯光"_s));
    }
    void pendingChanges()
    {
        QFETCH(QString, steps);
        QFETCH(QStringList, expected);
        test::InspectionStation st;
        st.db.exec(u"INSERT INTO code_items (kind, name, remark) VALUES (9, '灯光', 'l'), (9, '轮胎', 't')"_s);
        frmBaseDefine f(st.env, st.station);
        f.show();
        tree(f)->setCurrentItem(f.tableNode(9));
        QCOMPARE(grid(f)->dataRows(), 2);
        QVERIFY(!button(f, u"cmdSave"_s)->isEnabled());
        int newRow = -1;
        for (const QString &step : steps.split(u','))  {
            const QString arg = step.section(u' ', 1);
            if (step == u"add"_s) {
                button(f, u"cmdAdd"_s)->click();
                newRow = grid(f)->rows() - 1;
                QCOMPARE(grid(f)->textMatrix(newRow, 0), QString::number(newRow));
            } else if (step == u"delete"_s) {
                grid(f)->setCurrent(newRow, 1);
                button(f, u"cmdDelete"_s)->click();
            } else if (step.startsWith(u"name"_s)) {
                edit(f, newRow, 1, arg);
            } else if (step.startsWith(u"remark"_s)) {
                edit(f, newRow, 2, arg);
            } else if (step.startsWith(u"edit"_s)) {
                edit(f, step.mid(4, 1).toInt(), 1, arg);
                QVERIFY(button(f, u"cmdSave"_s)->isEnabled());
            } else if (step.startsWith(u"del"_s)) {
                grid(f)->setCurrent(step.mid(3, 1).toInt(), 1);
                button(f, u"cmdDelete"_s)->click();
                --newRow;
            }
        }
        button(f, u"cmdSave"_s)->click();
        QCOMPARE(stored(st, 9), expected);
        QVERIFY(!button(f, u"cmdSave"_s)->isEnabled());
        QVERIFY(!f.hasPendingChanges());
        // The running numbers stay consecutive.
        for (int r = 1; r < grid(f)->rows(); ++r)
            QCOMPARE(grid(f)->textMatrix(r, 0), QString::number(r));
    }

    void switchPrompt_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("kind9");
        QTest::newRow("No writes nothing") << int(MsgAnswer::No) << QStringList{u"灯光/l"_s};
        QTest::newRow("Yes saves under the old table") << int(MsgAnswer::Yes) << QStringList{u"灯光/l"_s, u"雨刮/"_s};
    }
    void switchPrompt()
    {
        QFETCH(int, answer);
        QFETCH(QStringList, kind9);
        test::InspectionStation st;
        st.db.exec(u"INSERT INTO code_items (kind, name, remark) VALUES (9, '灯光', 'l'), (5, '大型客车', '')"_s);
        frmBaseDefine f(st.env, st.station);
        f.show();
        tree(f)->setCurrentItem(f.tableNode(9));
        button(f, u"cmdAdd"_s)->click();
        edit(f, 2, 1, u"雨刮"_s);
        st.messages.script = {MsgAnswer(answer)};
        tree(f)->setCurrentItem(f.tableNode(5));
        QCOMPARE(st.messages.lastText(), u"项目已变动，是否保存变动？"_s);
        QCOMPARE(st.messages.lastTitle(), u"问题"_s);
        QCOMPARE(stored(st, 9), kind9);
        QCOMPARE(stored(st, 5), QStringList{u"大型客车/"_s});
        QCOMPARE(grid(f)->dataRows(), 1);
        QCOMPARE(grid(f)->textMatrix(1, 1), u"大型客车"_s);
    }

    void rootBlocksEditing()
    {
        test::InspectionStation st;
        st.db.exec(u"INSERT INTO code_items (kind, name, remark) VALUES (3, 'A1', '')"_s);
        frmBaseDefine f(st.env, st.station);
        f.show();
        tree(f)->setCurrentItem(f.tableNode(3));
        tree(f)->setCurrentItem(f.rootNode());
        // The grid stays as it was, but nothing can be changed under the root.
        QCOMPARE(grid(f)->textMatrix(1, 1), u"A1"_s);
        QCOMPARE(st.status.panels[1], u"共0项"_s);
        QVERIFY(!button(f, u"cmdAdd"_s)->isEnabled());
        button(f, u"cmdAdd"_s)->click();
        QCOMPARE(grid(f)->dataRows(), 1);
        grid(f)->setCurrent(1, 1);
        QVERIFY(!openEditor(f));
        button(f, u"cmdDelete"_s)->click();
        QCOMPARE(grid(f)->dataRows(), 1);
        QVERIFY(!f.hasPendingChanges());
        // Another table opens without a prompt.
        tree(f)->setCurrentItem(f.tableNode(4));
        QVERIFY(st.messages.boxes.isEmpty());
        QCOMPARE(stored(st, 3), QStringList{u"A1/"_s});
    }

    void textsKeepTheirByteLimits_data()
    {
        QTest::addColumn<int>("col");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("name of 160 characters") << 1 << QString(160, u'x') << QString(CodeNameMaxBytes, u'x');
        QTest::newRow("Chinese name") << 1 << QString(40, u'灯') << QString(CodeNameMaxBytes / 2, u'灯');
        QTest::newRow("remark of 160 characters") << 2 << QString(160, u'y') << QString(CodeRemarkMaxBytes, u'y');
        QTest::newRow("short name unchanged") << 1 << u"灯光"_s << u"灯光"_s;
    }
    void textsKeepTheirByteLimits()
    {
        QFETCH(int, col);
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        test::InspectionStation st;
        frmBaseDefine f(st.env, st.station);
        f.show();
        tree(f)->setCurrentItem(f.tableNode(9));
        button(f, u"cmdAdd"_s)->click();
        edit(f, 1, col, typed);
        QCOMPARE(grid(f)->textMatrix(1, col), kept);
        if (col == 2)
            edit(f, 1, 1, u"灯光"_s);
        button(f, u"cmdSave"_s)->click();
        const QStringList saved = stored(st, 9);
        QCOMPARE(saved.size(), 1);
        QCOMPARE(saved.first().section(u'/', col - 1, col - 1), kept);
    }

    void enterMovesOnAndAddsFromTheLastColumn()
    {
        test::InspectionStation st;
        frmBaseDefine f(st.env, st.station);
        f.show();
        tree(f)->setCurrentItem(f.tableNode(8));
        button(f, u"cmdAdd"_s)->click();
        QLineEdit *editor = openEditor(f);
        QVERIFY(editor);
        editor->insert(u"天气"_s);
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();
        QCOMPARE(grid(f)->row(), 1);
        QCOMPARE(grid(f)->col(), 2);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        editor = openEditor(f);
        QVERIFY(editor);
        editor->insert(u"雨雪"_s);
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();
        QCOMPARE(grid(f)->dataRows(), 2);
        QCOMPARE(grid(f)->row(), 2);
        QCOMPARE(grid(f)->textMatrix(2, 0), u"2"_s);
        // The blank row Enter added is dropped on save; only the typed one
        // is written, and nothing is refused.
        button(f, u"cmdSave"_s)->click();
        QCOMPARE(stored(st, 8), QStringList{u"天气/雨雪"_s});
        QCOMPARE(grid(f)->dataRows(), 1);
        QVERIFY(st.messages.boxes.isEmpty());
        QVERIFY(!f.hasPendingChanges());
    }

    // A save used to write the rows before a refused one and stop there;
    // answering No at the switch prompt then lost the rest. Now the save is
    // all or nothing, and the refusal names the row.
    void saveIsAllOrNothing()
    {
        test::InspectionStation st;
        st.db.exec(u"INSERT INTO code_items (kind, name, remark) VALUES (9, '灯光', 'l')"_s);
        frmBaseDefine f(st.env, st.station);
        f.show();
        tree(f)->setCurrentItem(f.tableNode(9));
        button(f, u"cmdAdd"_s)->click();
        edit(f, 2, 1, u"刹车"_s);
        button(f, u"cmdAdd"_s)->click();
        edit(f, 3, 1, u"灯光"_s);
        edit(f, 1, 2, u"lights"_s);
        button(f, u"cmdSave"_s)->click();
        QVERIFY2(st.messages.lastText().contains(u"第3行“灯光”"_s), qUtf8Printable(st.messages.lastText()));
        QCOMPARE(stored(st, 9), QStringList{u"灯光/l"_s});
        QVERIFY(f.hasPendingChanges());
        // A row with a remark and no name is refused before anything is written.
        edit(f, 3, 1, QString());
        edit(f, 3, 2, u"备注"_s);
        st.messages.clear();
        button(f, u"cmdSave"_s)->click();
        QVERIFY2(st.messages.lastText().contains(u"第3行"_s), qUtf8Printable(st.messages.lastText()));
        QCOMPARE(stored(st, 9), QStringList{u"灯光/l"_s});
        edit(f, 3, 1, u"喇叭"_s);
        button(f, u"cmdSave"_s)->click();
        QCOMPARE(stored(st, 9), (QStringList{u"灯光/lights"_s, u"刹车/"_s, u"喇叭/备注"_s}));
        QVERIFY(!f.hasPendingChanges());
    }

    void failedSaveKeepsTheOldTable()
    {
        test::InspectionStation st;
        st.db.exec(u"INSERT INTO code_items (kind, name, remark) VALUES (9, '灯光', 'l'), (4, '正式', '')"_s);
        frmBaseDefine f(st.env, st.station);
        f.show();
        tree(f)->setCurrentItem(f.tableNode(9));
        // A second 灯光 breaks the table's unique names: the save fails.
        button(f, u"cmdAdd"_s)->click();
        edit(f, 2, 1, u"灯光"_s);
        st.messages.script = {MsgAnswer::Yes};
        tree(f)->setCurrentItem(f.tableNode(4));
        QVERIFY(st.messages.lastTitle().startsWith(u"错误-"_s));
        QCOMPARE(tree(f)->currentItem(), f.tableNode(9));
        QCOMPARE(grid(f)->dataRows(), 2);
        QCOMPARE(grid(f)->textMatrix(2, 1), u"灯光"_s);
        QVERIFY(f.hasPendingChanges());
        QVERIFY(button(f, u"cmdSave"_s)->isEnabled());
        QCOMPARE(stored(st, 4), QStringList{u"正式/"_s});
        // Corrected, the change is written under its own table.
        edit(f, 2, 1, u"灯光2"_s);
        button(f, u"cmdSave"_s)->click();
        QCOMPARE(stored(st, 9), (QStringList{u"灯光/l"_s, u"灯光2/"_s}));
        QCOMPARE(stored(st, 4), QStringList{u"正式/"_s});
    }
};

QTEST_MAIN(TestBaseDefine)
#include "tst_basedefine.moc"
