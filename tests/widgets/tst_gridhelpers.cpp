#include "core/apperror.h"
#include "widgets/grid.h"
#include "widgets/gridhelpers.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <functional>

using namespace cg;
using namespace Qt::StringLiterals;

namespace {

void writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

} // namespace

class TstGridHelpers : public QObject {
    Q_OBJECT

private slots:
    void loadGridLayout_data();
    void loadGridLayout();
    void loadListViewLayout_data();
    void loadListViewLayout();
    void saveThenLoad();
    void saveKeepsOtherKeys();
    void otherControlsUntouched();
    void resetGridSize_data();
    void resetGridSize();
    void lampCell_data();
    void lampCell();
    void lampLabel_data();
    void lampLabel();
    void findComboItem_data();
    void findComboItem();
    void limitControlBytes_data();
    void limitControlBytes();
    void limitFromOwnTextChanged();
    void cleanNumericControl_data();
    void cleanNumericControl();
    void sortListViewByColumn();
    void selectAllOnFocus_data();
    void selectAllOnFocus();
    void selectAllOnFocusAfterTheControlWent();

private:
    QTemporaryDir m_dir;
};

void TstGridHelpers::loadGridLayout_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<bool>("asDirectory"); // the path is a folder: unreadable
    QTest::addColumn<QList<int>>("expectTwips");

    const QList<int> screen{1200, 1300, 1400, 1200, 900};
    QTest::newRow("only column 2 stored")
        << QByteArray("[frmTest]\nvsList_head2=3000\n") << false << QList<int>{1200, 1300, 3000, 1200, 900};
    QTest::newRow("other section, other grid")
        << QByteArray("[frmOther]\nvsList_head0=500\n[frmTest]\nvsOther_head1=500\n") << false << screen;
    QTest::newRow("zero width is a width")
        << QByteArray("[frmTest]\nvsList_head4=0\n") << false << QList<int>{1200, 1300, 1400, 1200, 0};
    QTest::newRow("damaged values count as missing")
        << QByteArray("[frmTest]\nvsList_head0=abc\nvsList_head1=-5\nvsList_head3=\n") << false << screen;
    QTest::newRow("missing file") << QByteArray() << false << screen;
    QTest::newRow("unreadable file") << QByteArray() << true << screen;
}

void TstGridHelpers::loadGridLayout()
{
    QFETCH(QByteArray, ini);
    QFETCH(bool, asDirectory);
    QFETCH(QList<int>, expectTwips);

    const QString path = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + u".ini"_s);
    if (asDirectory)
        QVERIFY(QDir().mkpath(path));
    else if (!ini.isEmpty())
        writeFile(path, ini);

    FlexGrid g;
    g.setObjectName(u"vsList"_s);
    g.setCols(5);
    g.setRows(1);
    const QList<int> screen{1200, 1300, 1400, 1200, 900};
    for (int c = 0; c < 5; ++c)
        g.setColWidthTwips(c, screen[c]);
    LoadColumnLayout(path, u"frmTest"_s, &g);
    for (int c = 0; c < 5; ++c)
        QCOMPARE(g.colWidthTwips(c), expectTwips[c]);
}

void TstGridHelpers::loadListViewLayout_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QList<int>>("expectPixels");

    // 车牌号: 6 bytes + 2 spaces = 720 twips = 48 px at 96 dpi; 姓名: 6 -> 540
    // twips = 36 px; ID: 4 -> 360 twips = 24 px.
    QTest::newRow("no file: captions") << QByteArray() << QList<int>{48, 36, 24};
    QTest::newRow("columns counted from 1")
        << QByteArray("[frmTest]\ntvList_head1=1500\ntvList_head0=3000\n") << QList<int>{100, 36, 24};
    QTest::newRow("stored last column") << QByteArray("[frmTest]\ntvList_head3=150\n") << QList<int>{48, 36, 10};
}

void TstGridHelpers::loadListViewLayout()
{
    QFETCH(QByteArray, ini);
    QFETCH(QList<int>, expectPixels);

    const QString path = m_dir.filePath(u"list-"_s + QString::fromLatin1(QTest::currentDataTag()) + u".ini"_s);
    if (!ini.isEmpty())
        writeFile(path, ini);
    QTreeWidget list;
    list.setObjectName(u"tvList"_s);
    list.setHeaderLabels({u"车牌号"_s, u"姓名"_s, u"ID"_s});
    for (int c = 0; c < 3; ++c)
        list.setColumnWidth(c, 200);
    if (list.logicalDpiX() != 96)
        QSKIP("pixel expectations are for 96 dpi");
    LoadColumnLayout(path, u"frmTest"_s, &list);
    for (int c = 0; c < 3; ++c)
        QCOMPARE(list.columnWidth(c), expectPixels[c]);
}

void TstGridHelpers::saveThenLoad()
{
    const QString path = m_dir.filePath(u"sub/roundtrip.ini"_s); // folder made on save
    FlexGrid a;
    a.setObjectName(u"vsList"_s);
    a.setCols(3);
    a.setRows(1);
    a.setColWidthTwips(0, 1000);
    a.setColWidthTwips(1, 1437);
    a.setColWidth(2, 77);
    SaveColumnLayout(path, u"frmOutCheck"_s, &a);

    QSettings ini(path, QSettings::IniFormat);
    QCOMPARE(ini.value(u"frmOutCheck/vsList_head0"_s).toString(), u"1000"_s);
    QCOMPARE(ini.value(u"frmOutCheck/vsList_head1"_s).toString(), u"1437"_s);

    FlexGrid b;
    b.setObjectName(u"vsList"_s);
    b.setCols(3);
    b.setRows(1);
    LoadColumnLayout(path, u"frmOutCheck"_s, &b);
    for (int c = 0; c < 3; ++c) {
        QCOMPARE(b.colWidth(c), a.colWidth(c));
        QCOMPARE(b.colWidthTwips(c), a.colWidthTwips(c));
    }
    // Saving what was loaded writes the same numbers again.
    SaveColumnLayout(path, u"frmOutCheck"_s, &b);
    QSettings again(path, QSettings::IniFormat);
    QCOMPARE(again.value(u"frmOutCheck/vsList_head1"_s).toString(), u"1437"_s);

    // A folder that cannot be created: nothing reported.
    SaveColumnLayout(m_dir.filePath(u"roundtrip.ini/sub/x.ini"_s), u"frmOutCheck"_s, &b);
}

void TstGridHelpers::saveKeepsOtherKeys()
{
    const QString path = m_dir.filePath(u"keep.ini"_s);
    writeFile(path, "[frmOutCheck]\nvsList_head0=1\nvsList_head7=777\n[frmOther]\nvsList_head0=555\n");
    FlexGrid g;
    g.setObjectName(u"vsList"_s);
    g.setCols(2);
    g.setRows(1);
    g.setColWidthTwips(0, 900);
    g.setColWidthTwips(1, 600);
    SaveColumnLayout(path, u"frmOutCheck"_s, &g);
    QSettings ini(path, QSettings::IniFormat);
    QCOMPARE(ini.value(u"frmOutCheck/vsList_head0"_s).toInt(), 900);
    QCOMPARE(ini.value(u"frmOutCheck/vsList_head7"_s).toInt(), 777);
    QCOMPARE(ini.value(u"frmOther/vsList_head0"_s).toInt(), 555);
}

void TstGridHelpers::otherControlsUntouched()
{
    const QString path = m_dir.filePath(u"other.ini"_s);
    writeFile(path, "[frmTest]\ntbl_head0=3000\n");
    QTableWidget plain(1, 2);
    plain.setObjectName(u"tbl"_s);
    plain.setColumnWidth(0, 50);
    LoadColumnLayout(path, u"frmTest"_s, &plain);
    QCOMPARE(plain.columnWidth(0), 50);
    SaveColumnLayout(path, u"frmTest"_s, &plain);
    QSettings ini(path, QSettings::IniFormat);
    QCOMPARE(ini.value(u"frmTest/tbl_head0"_s).toInt(), 3000);
}

void TstGridHelpers::resetGridSize_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("cols");
    QTest::addColumn<int>("expRows");
    QTest::addColumn<int>("expCols");
    QTest::addColumn<int>("expFixedRows");
    QTest::addColumn<int>("expFixedCols");

    // Starts as 5 x 4 with 2 fixed rows and 2 fixed columns.
    QTest::newRow("both untouched") << -1 << -1 << 5 << 4 << 2 << 2;
    QTest::newRow("header only") << 1 << -1 << 1 << 4 << 1 << 2;
    QTest::newRow("more rows") << 9 << -1 << 9 << 4 << 1 << 2;
    QTest::newRow("rows emptied") << 0 << -1 << 0 << 4 << 0 << 2;
    QTest::newRow("columns set") << -1 << 6 << 5 << 6 << 2 << 1;
    QTest::newRow("columns emptied") << -1 << 0 << 5 << 0 << 2 << 0;
}

void TstGridHelpers::resetGridSize()
{
    QFETCH(int, rows);
    QFETCH(int, cols);
    FlexGrid g;
    g.setCols(4);
    g.setRows(5);
    g.setFixedRows(2);
    g.setFixedCols(2);
    g.setTextMatrix(0, 0, u"车次"_s);
    ResetGridSize(&g, rows, cols);
    QTEST(g.rows(), "expRows");
    QTEST(g.cols(), "expCols");
    QTEST(g.fixedRows(), "expFixedRows");
    QTEST(g.fixedCols(), "expFixedCols");
    if (g.rows() > 0 && g.cols() > 0)
        QCOMPARE(g.textMatrix(0, 0), u"车次"_s);
}

void TstGridHelpers::lampCell_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("glyph");
    QTest::addColumn<QColor>("color");

    const QColor before(0x12, 0x34, 0x56);
    QTest::newRow("0 not checked") << 0 << u"●"_s << QColor(0xFFFF00);
    QTest::newRow("1 passed") << 1 << u"●"_s << QColor(0x00FF00);
    QTest::newRow("2 not passed") << 2 << u"●"_s << QColor(0xFF0000);
    QTest::newRow("3 no check") << 3 << u"●"_s << QColor(0xC0C0C0);
    QTest::newRow("4 cannot check") << 4 << u"×"_s << QColor(0xFF0000);
    QTest::newRow("5 like passed") << 5 << u"●"_s << QColor(0x00FF00);
    QTest::newRow("9 unknown") << 9 << QString() << before;
    QTest::newRow("-1 unknown") << -1 << QString() << before;
}

void TstGridHelpers::lampCell()
{
    QFETCH(int, code);
    QFETCH(QString, glyph);
    QFETCH(QColor, color);

    FlexGrid g;
    g.setCols(3);
    g.setRows(2);
    g.setFixedRows(1);
    QFont small = g.font();
    small.setPointSize(9);
    g.setFont(small);
    g.setTextMatrix(1, 1, u"old"_s);
    g.setCellForeColor(1, 1, QColor(0x12, 0x34, 0x56));
    SetLampCell(&g, 1, 1, code);

    QCOMPARE(g.textMatrix(1, 1), glyph);
    QCOMPARE(LampCellColor(&g, 1, 1), color);
    QCOMPARE(g.cellFontSize(1, 1), 12.0);
    QVERIFY(g.cellFontBold(1, 1));
    QCOMPARE(g.cellAlignment(1, 1), Qt::Alignment(Qt::AlignCenter));
    // Only that cell changes.
    QCOMPARE(g.cellFontSize(1, 2), 9.0);
    QVERIFY(!g.cellFontBold(1, 2));
    QCOMPARE(IsLampGreen(&g, 1, 1), code == 1 || code == 5);
}

void TstGridHelpers::lampLabel_data()
{
    lampCell_data();
}

void TstGridHelpers::lampLabel()
{
    QFETCH(int, code);
    QFETCH(QString, glyph);
    QFETCH(QColor, color);
    QLabel label(u"old"_s);
    QPalette p = label.palette();
    p.setColor(QPalette::WindowText, QColor(0x12, 0x34, 0x56));
    label.setPalette(p);
    SetLampLabel(&label, code);
    QCOMPARE(label.text(), glyph);
    QCOMPARE(LampLabelColor(&label), color);
}

void TstGridHelpers::findComboItem_data()
{
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("index");

    QTest::newRow("case ignored") << QStringList{u"x"_s, u"ABC"_s} << u"abc"_s << 1;
    QTest::newRow("first of equals") << QStringList{u"abc"_s, u"ABC"_s} << u"Abc"_s << 0;
    QTest::newRow("prefix is no match") << QStringList{u"ABCD"_s} << u"abc"_s << -1;
    QTest::newRow("chinese") << QStringList{u"K001[李四]"_s} << u"k001[李四]"_s << 0;
    QTest::newRow("empty list") << QStringList{} << u"abc"_s << -1;
}

void TstGridHelpers::findComboItem()
{
    QFETCH(QStringList, items);
    QFETCH(QString, text);
    QComboBox combo;
    combo.addItems(items);
    QTEST(FindComboItem(&combo, text), "index");
}

void TstGridHelpers::limitControlBytes_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("maxBytes");
    QTest::addColumn<QString>("expected");

    const QString chinese25 = QString(25, QChar(0x8F66)); // 车 x 25 = 50 bytes
    for (const QString &kind : {u"line"_s, u"combo"_s, u"plain"_s}) {
        QTest::addRow("%s: 51 bytes to 50", qPrintable(kind)) << kind << chinese25 + u"a"_s << 50 << chinese25;
        QTest::addRow("%s: no half character", qPrintable(kind)) << kind << u"a"_s + chinese25 << 50
                                                                 << u"a"_s + chinese25.left(24);
        QTest::addRow("%s: fits", qPrintable(kind)) << kind << chinese25 << 50 << chinese25;
    }
}

void TstGridHelpers::limitControlBytes()
{
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(int, maxBytes);
    QFETCH(QString, expected);

    const bool cut = expected != text;
    if (kind == u"plain") {
        QPlainTextEdit edit(text);
        QTextCursor start = edit.textCursor();
        start.setPosition(0);
        edit.setTextCursor(start);
        LimitControlBytes(&edit, maxBytes);
        QCOMPARE(edit.toPlainText(), expected);
        QCOMPARE(edit.textCursor().position(), cut ? int(expected.size()) : 0);
        return;
    }
    QComboBox combo;
    combo.setEditable(true);
    QLineEdit line;
    QLineEdit *edit = kind == u"combo" ? combo.lineEdit() : &line;
    QWidget *control = kind == u"combo" ? static_cast<QWidget *>(&combo) : &line;
    edit->setText(text);
    edit->setCursorPosition(0);
    LimitControlBytes(control, maxBytes);
    QCOMPARE(edit->text(), expected);
    // Caret to the end only when the text was cut; otherwise untouched.
    QCOMPARE(edit->cursorPosition(), cut ? int(expected.size()) : 0);
}

void TstGridHelpers::limitFromOwnTextChanged()
{
    // Bound once, the limit holds for typing, pasting and setText alike, on
    // every kind of text control, and stays readable on the control.
    QLineEdit edit;
    int changes = 0;
    BindByteLimit(&edit, 4);
    const auto counting = connect(&edit, &QLineEdit::textChanged, &edit, [&changes] { ++changes; });
    QCOMPARE(ControlByteLimit(&edit), 4);
    edit.setText(u"车车车"_s);
    QCOMPARE(edit.text(), u"车车"_s);
    QCOMPARE(changes, 2); // the cut ends after one round
    disconnect(counting);
    edit.clear();
    QTest::keyClicks(&edit, u"abcdef"_s);
    QCOMPARE(edit.text(), u"abcd"_s);
    edit.selectAll();
    edit.insert(u"😀车"_s); // a character outside GBK counts four bytes
    QCOMPARE(edit.text(), u"😀"_s);

    QComboBox combo;
    combo.setEditable(true);
    BindByteLimit(&combo, 3);
    combo.setEditText(u"车车"_s);
    QCOMPARE(combo.currentText(), u"车"_s);
    QCOMPARE(ControlByteLimit(&combo), 3);

    QPlainTextEdit plain;
    BindByteLimit(&plain, 3);
    plain.setPlainText(u"abcdef"_s);
    QCOMPARE(plain.toPlainText(), u"abc"_s);
    plain.insertPlainText(u"x"_s);
    QCOMPARE(plain.toPlainText(), u"abc"_s);

    // No limit: nothing bound, nothing recorded.
    QLineEdit free;
    BindByteLimit(&free, 0);
    QCOMPARE(ControlByteLimit(&free), 0);
    free.setText(QString(100, u'车'));
    QCOMPARE(free.text().size(), 100);
}

void TstGridHelpers::cleanNumericControl_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("allowNegative");
    QTest::addColumn<bool>("allowDecimal");
    QTest::addColumn<QString>("expected");

    QTest::newRow("letter typed") << u"12a"_s << false << false << u"12"_s;
    QTest::newRow("decimal allowed") << u"12.5kg"_s << false << true << u"12.5"_s;
    QTest::newRow("decimal cut") << u"12.5"_s << false << false << u"12"_s;
    QTest::newRow("negative refused") << u"-3"_s << false << false << QString();
    QTest::newRow("negative allowed") << u"-3"_s << true << false << u"-3"_s;
}

void TstGridHelpers::cleanNumericControl()
{
    QFETCH(QString, text);
    QFETCH(bool, allowNegative);
    QFETCH(bool, allowDecimal);
    QFETCH(QString, expected);

    QLineEdit edit(text);
    edit.setCursorPosition(0);
    CleanNumericControl(&edit, allowNegative, allowDecimal);
    QCOMPARE(edit.text(), expected);
    QCOMPARE(edit.cursorPosition(), int(expected.size()));

    QComboBox combo;
    combo.setEditable(true);
    combo.setEditText(text);
    CleanNumericControl(&combo, allowNegative, allowDecimal);
    QCOMPARE(combo.currentText(), expected);
}

void TstGridHelpers::sortListViewByColumn()
{
    QTreeWidget list;
    list.setHeaderLabels({u"车牌号"_s, u"座位"_s});
    const QList<QStringList> rows{{u"粤B"_s, u"45"_s}, {u"粤A"_s, u"50"_s}, {u"粤C"_s, u"30"_s}};
    for (const QStringList &r : rows)
        list.addTopLevelItem(new QTreeWidgetItem(r));
    const auto column = [&list](int c) {
        QStringList out;
        for (int i = 0; i < list.topLevelItemCount(); ++i)
            out << list.topLevelItem(i)->text(c);
        return out;
    };
    QCOMPARE(list.property("Tag").isValid(), false);

    SortListViewByColumn(&list, 1);
    QCOMPARE(column(0), (QStringList{u"粤A"_s, u"粤B"_s, u"粤C"_s}));
    QCOMPARE(list.property("Tag").toInt(), 0);
    SortListViewByColumn(&list, 1);
    QCOMPARE(column(0), (QStringList{u"粤C"_s, u"粤B"_s, u"粤A"_s}));
    SortListViewByColumn(&list, 2);
    QCOMPARE(column(1), (QStringList{u"30"_s, u"45"_s, u"50"_s}));
    QCOMPARE(list.property("Tag").toInt(), 1);
    SortListViewByColumn(&list, 1); // back to the first column: ascending
    QCOMPARE(column(0), (QStringList{u"粤A"_s, u"粤B"_s, u"粤C"_s}));
}

void TstGridHelpers::selectAllOnFocus_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addRow("line edit") << u"line"_s;
    QTest::addRow("editable combo box") << u"combo"_s;
    QTest::addRow("plain text box") << u"plain"_s;
}

// Entering the control selects its text only once the click that gave the
// focus has been handled: the selection is deferred to the event loop.
void TstGridHelpers::selectAllOnFocus()
{
    QFETCH(QString, kind);
    const QString text = u"(车牌号)"_s;
    QWidget form;
    QWidget *control = nullptr;
    std::function<QString()> selected;
    if (kind == u"line"_s) {
        auto *edit = new QLineEdit(text, &form);
        selected = [edit] { return edit->selectedText(); };
        control = edit;
    } else if (kind == u"combo"_s) {
        auto *combo = new QComboBox(&form);
        combo->setEditable(true);
        combo->setEditText(text);
        selected = [combo] { return combo->lineEdit()->selectedText(); };
        control = combo;
    } else {
        auto *plain = new QPlainTextEdit(text, &form);
        selected = [plain] { return plain->textCursor().selectedText(); };
        control = plain;
    }
    auto *other = new QLineEdit(u"不选"_s, &form);
    SelectAllOnFocus({control});

    QFocusEvent in(QEvent::FocusIn, Qt::MouseFocusReason);
    QCoreApplication::sendEvent(control, &in);
    QCOMPARE(selected(), QString());
    QTRY_COMPARE(selected(), text);
    // Only the controls named are watched.
    QCoreApplication::sendEvent(other, &in);
    QCoreApplication::processEvents();
    QCOMPARE(other->selectedText(), QString());
}

void TstGridHelpers::selectAllOnFocusAfterTheControlWent()
{
    auto *edit = new QLineEdit(u"K101"_s);
    SelectAllOnFocus({edit});
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QCoreApplication::sendEvent(edit, &in);
    delete edit;
    // The deferred selection of a control that is gone is dropped.
    QCoreApplication::processEvents();
}

QTEST_MAIN(TstGridHelpers)
#include "tst_gridhelpers.moc"
