// The system parameters dialog over a store that records every call and can
// be told to fail on a given write.
#include "app/frmsysparam.h"
#include "app/sysparamstore.h"
#include "core/apperror.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>

using namespace cg;

namespace {

class FakeStore : public SysParamStore {
public:
    QVariant GetSysParam(int index) override
    {
        reads.append(index);
        if (index == failReadAt)
            throw AppError(10001, QStringLiteral("数据库连接中断"));
        return values.value(index);
    }
    void SetSysParam(int index, const QVariant &value) override
    {
        if (index == failWriteAt) {
            failWriteAt = 0; // only once
            throw AppError(10001, QStringLiteral("数据库连接中断"));
        }
        writes.append({index, value});
        values.insert(index, value);
    }
    QHash<int, QVariant> values;
    QList<int> reads;
    QList<QPair<int, QVariant>> writes;
    int failWriteAt = 0;
    int failReadAt = 0;
};

QHash<int, QVariant> demoValues()
{
    return {{1, QStringLiteral("粤")}, {2, QStringLiteral("8888")}, {3, QStringLiteral("30")},
            {4, QStringLiteral("60")}, {5, QStringLiteral("12")}, {6, QStringLiteral("请稍候")},
            {7, QStringLiteral("安检合格")}, {8, QStringLiteral("安检不合格")}, {9, QStringLiteral("64")},
            {10, QStringLiteral("256")}, {11, QStringLiteral("30")}, {12, QStringLiteral("1")},
            {13, QStringLiteral("0")}, {14, QStringLiteral("0")}, {15, QStringLiteral("24")}};
}

} // namespace

class tst_sysparam : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void opensWithStoredValuesUnchanged();
    void layoutAndCaptions();
    void checkBoxCheckedOnlyForOne_data();
    void checkBoxCheckedOnlyForOne();
    void oneEditWritesOneValue_data();
    void oneEditWritesOneValue();
    void numberBoxesRefuseWhatTheyCannotHold_data();
    void numberBoxesRefuseWhatTheyCannotHold();
    void numericFieldKeepsLeadingNumber_data();
    void numericFieldKeepsLeadingNumber();
    void textFieldsCutAtFiftyBytes_data();
    void textFieldsCutAtFiftyBytes();
    void saveWritesInItsOrder();
    void failureInTheMiddleOfSave();
    void closingAfterEditsWritesNothing();
    void failedReadIsReported();
    void passwordFieldSelectsAllOnFocus();

private:
    test::RecordingMessageSink m_sink;
    Env m_env;
    FakeStore m_store;
};

void tst_sysparam::init()
{
    m_sink.clear();
    m_env = Env{};
    m_env.messages = &m_sink;
    m_store = FakeStore{};
    m_store.values = demoValues();
}

void tst_sysparam::cleanup()
{
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

// Types like the keyboard would, Chinese characters included (keyClicks
// only takes Latin-1).
static void type(QWidget *w, const QString &text)
{
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

template <typename T>
static T *field(QWidget *w, const QString &name)
{
    return test::child<T>(w, name);
}

void tst_sysparam::opensWithStoredValuesUnchanged()
{
    frmSysParam dialog(m_env, m_store);
    QCOMPARE(m_store.reads, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 10, 9, 11, 12, 13, 14, 15}));
    QCOMPARE(field<QLineEdit>(&dialog, QStringLiteral("txtPrefixLicense"))->text(), QStringLiteral("粤"));
    QCOMPARE(field<QLineEdit>(&dialog, QStringLiteral("txtScreenWidth"))->text(), QStringLiteral("256"));
    QCOMPARE(field<QLineEdit>(&dialog, QStringLiteral("txtScreenHeight"))->text(), QStringLiteral("64"));
    QCOMPARE(field<QComboBox>(&dialog, QStringLiteral("cboFontSize"))->currentText(), QStringLiteral("12"));
    QCOMPARE(field<QLineEdit>(&dialog, QStringLiteral("txtCondTime"))->text(), QStringLiteral("24"));
    for (int i = 1; i <= 15; ++i)
        QVERIFY(!dialog.isChanged(i));
    QVERIFY(!field<QPushButton>(&dialog, QStringLiteral("cmdSave"))->isEnabled());
    QVERIFY(m_sink.boxes.isEmpty());
}

void tst_sysparam::layoutAndCaptions()
{
    frmSysParam dialog(m_env, m_store);
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("系统参数设置"));
    auto *tabs = field<QTabWidget>(&dialog, QStringLiteral("tabParam"));
    QCOMPARE(tabs->count(), 3);
    QCOMPARE(tabs->tabText(0), QStringLiteral("通用"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("显示屏"));
    QCOMPARE(tabs->tabText(2), QStringLiteral("触摸屏"));
    QVERIFY(!field<QLineEdit>(&dialog, QStringLiteral("txtPrefixLicense"))->isVisible());
    // Each field on its page.
    const QStringList touch{QStringLiteral("txtExitPassword"), QStringLiteral("txtStartCheckTime"),
                            QStringLiteral("txtEndCheckTime")};
    for (const QString &name : touch)
        QVERIFY2(tabs->widget(2)->isAncestorOf(field<QWidget>(&dialog, name)), qPrintable(name));
    QVERIFY(tabs->widget(2)->isAncestorOf(field<QWidget>(&dialog, QStringLiteral("chkBiologicalClockReport"))));
    QVERIFY(tabs->widget(0)->isAncestorOf(field<QWidget>(&dialog, QStringLiteral("txtBeforeMinute"))));
    QVERIFY(tabs->widget(0)->isAncestorOf(field<QWidget>(&dialog, QStringLiteral("chkOutCheck"))));
    QVERIFY(tabs->widget(1)->isAncestorOf(field<QWidget>(&dialog, QStringLiteral("txtScreenNotPass"))));
    auto *font = field<QComboBox>(&dialog, QStringLiteral("cboFontSize"));
    QVERIFY(font->isEditable());
    QCOMPARE(font->count(), 4);
    QCOMPARE(font->itemText(3), QStringLiteral("16"));
    QCOMPARE(field<QPushButton>(&dialog, QStringLiteral("cmdSave"))->text(), QStringLiteral("保存(&S)"));
    QCOMPARE(field<QPushButton>(&dialog, QStringLiteral("cmdClose"))->text(), QStringLiteral("关闭(&C)"));
}

void tst_sysparam::checkBoxCheckedOnlyForOne_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<bool>("checked");
    QTest::newRow("1") << QVariant(QStringLiteral("1")) << true;
    QTest::newRow("1.0") << QVariant(QStringLiteral("1.0")) << true;
    QTest::newRow("-1 (true at start-up)") << QVariant(QStringLiteral("-1")) << false;
    QTest::newRow("2") << QVariant(QStringLiteral("2")) << false;
    QTest::newRow("0") << QVariant(QStringLiteral("0")) << false;
    QTest::newRow("True as a word") << QVariant(QStringLiteral("True")) << false;
    QTest::newRow("never set") << QVariant() << false;
}

void tst_sysparam::checkBoxCheckedOnlyForOne()
{
    QFETCH(QVariant, stored);
    QFETCH(bool, checked);
    m_store.values.insert(12, stored);
    frmSysParam dialog(m_env, m_store);
    QCOMPARE(field<QCheckBox>(&dialog, QStringLiteral("chkBiologicalClockReport"))->isChecked(), checked);
}

void tst_sysparam::oneEditWritesOneValue_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("typed"); // replaces the text; empty = click the box
    QTest::addColumn<int>("index");
    QTest::addColumn<QVariant>("written");
    QTest::newRow("提前出站时间 15") << QStringLiteral("txtBeforeMinute") << QStringLiteral("15") << 11 << QVariant(15.0);
    QTest::newRow("显示屏宽度 with unit") << QStringLiteral("txtScreenWidth") << QStringLiteral("320px") << 10
                                     << QVariant(320.0);
    QTest::newRow("退出密码 as text") << QStringLiteral("txtExitPassword") << QStringLiteral("0012") << 2
                                  << QVariant(QStringLiteral("0012"));
    QTest::newRow("显示车次时间(前) as text") << QStringLiteral("txtStartCheckTime") << QStringLiteral("45") << 3
                                      << QVariant(QStringLiteral("45"));
    QTest::newRow("字体大小 typed") << QStringLiteral("cboFontSize") << QStringLiteral("14号") << 5 << QVariant(14.0);
    QTest::newRow("车况例检有效时间 negative") << QStringLiteral("txtCondTime") << QStringLiteral("-1.5") << 15
                                       << QVariant(-1.5);
    QTest::newRow("生物钟预测 clicked off") << QStringLiteral("chkBiologicalClockReport") << QString() << 12 << QVariant(0);
    QTest::newRow("出站门检指纹核对 clicked on") << QStringLiteral("chkOutCheck") << QString() << 13 << QVariant(1);
}

void tst_sysparam::oneEditWritesOneValue()
{
    QFETCH(QString, control);
    QFETCH(QString, typed);
    QFETCH(int, index);
    QFETCH(QVariant, written);
    frmSysParam dialog(m_env, m_store);
    dialog.show();
    auto *tabs = field<QTabWidget>(&dialog, QStringLiteral("tabParam"));
    QWidget *w = field<QWidget>(&dialog, control);
    for (int page = 0; page < tabs->count(); ++page)
        if (tabs->widget(page)->isAncestorOf(w))
            tabs->setCurrentIndex(page);
    if (typed.isEmpty()) {
        QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(6, w->height() / 2));
    } else {
        QWidget *edit = qobject_cast<QComboBox *>(w) ? static_cast<QWidget *>(static_cast<QComboBox *>(w)->lineEdit()) : w;
        edit->setFocus();
        static_cast<QLineEdit *>(edit)->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        type(edit, typed);
    }
    QVERIFY(dialog.isChanged(index));
    auto *save = field<QPushButton>(&dialog, QStringLiteral("cmdSave"));
    QVERIFY(save->isEnabled());
    QTest::mouseClick(save, Qt::LeftButton);
    QCOMPARE(m_store.writes.size(), 1);
    QCOMPARE(m_store.writes.first().first, index);
    QCOMPARE(m_store.writes.first().second, written);
    QVERIFY(!save->isEnabled());
    QVERIFY(!dialog.isChanged(index));
    QCOMPARE(m_sink.lastText(), QStringLiteral("系统参数保存完毕!"));
    QCOMPARE(m_sink.lastTitle(), QStringLiteral("注意"));
}

void tst_sysparam::numberBoxesRefuseWhatTheyCannotHold_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown"); // what the box holds after typing
    QTest::addColumn<QString>("caption");
    QTest::newRow("提前出站时间 abc") << QStringLiteral("txtBeforeMinute") << QStringLiteral("abc") << QString()
                                 << QStringLiteral("提前出站时间");
    QTest::newRow("提前出站时间 1.5 minutes") << QStringLiteral("txtBeforeMinute") << QStringLiteral("-1.5")
                                        << QStringLiteral("15") << QString();
    QTest::newRow("显示屏高度 高") << QStringLiteral("txtScreenHeight") << QStringLiteral("高") << QString()
                              << QStringLiteral("显示屏高度");
    QTest::newRow("显示车次时间(后) letters") << QStringLiteral("txtEndCheckTime") << QStringLiteral("一小时")
                                        << QString() << QStringLiteral("显示车次时间(后)");
    QTest::newRow("字体大小 大") << QStringLiteral("cboFontSize") << QStringLiteral("大") << QString()
                             << QStringLiteral("字体大小");
    QTest::newRow("车况例检有效时间 lone minus") << QStringLiteral("txtCondTime") << QStringLiteral("-")
                                         << QStringLiteral("-") << QStringLiteral("车况例检有效时间");
}

void tst_sysparam::numberBoxesRefuseWhatTheyCannotHold()
{
    QFETCH(QString, control);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QString, caption); // "" = the cleaned text is a number and is saved
    frmSysParam dialog(m_env, m_store);
    dialog.show();
    QWidget *w = field<QWidget>(&dialog, control);
    auto *edit = qobject_cast<QComboBox *>(w) ? static_cast<QComboBox *>(w)->lineEdit() : static_cast<QLineEdit *>(w);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    type(edit, typed);
    QCOMPARE(edit->text(), shown);
    QTest::mouseClick(field<QPushButton>(&dialog, QStringLiteral("cmdSave")), Qt::LeftButton);
    if (caption.isEmpty()) {
        QCOMPARE(m_store.writes.size(), 1);
        QCOMPARE(m_store.writes.first().second, QVariant(shown.toDouble()));
        return;
    }
    // Never saved as 0 without a word: nothing is written and the box says which field.
    QVERIFY(m_store.writes.isEmpty());
    QCOMPARE(m_sink.boxes.size(), 1);
    QCOMPARE(m_sink.lastTitle(), QStringLiteral("输入错误"));
    QVERIFY2(m_sink.lastText().contains(caption), qPrintable(m_sink.lastText()));
    QVERIFY(field<QPushButton>(&dialog, QStringLiteral("cmdSave"))->isEnabled());
}

void tst_sysparam::numericFieldKeepsLeadingNumber_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("12a") << QStringLiteral("12a") << QStringLiteral("12");
    QTest::newRow("-1.5") << QStringLiteral("-1.5") << QStringLiteral("-1.5");
    QTest::newRow("second point") << QStringLiteral("1.2.3") << QStringLiteral("1.23");
    QTest::newRow("letters only") << QStringLiteral("abc") << QString();
}

void tst_sysparam::numericFieldKeepsLeadingNumber()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    frmSysParam dialog(m_env, m_store);
    dialog.show();
    auto *edit = field<QLineEdit>(&dialog, QStringLiteral("txtCondTime"));
    edit->clear();
    type(edit, typed);
    QCOMPARE(edit->text(), shown);
}

void tst_sysparam::textFieldsCutAtFiftyBytes_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    const QString ascii51 = QString(51, QLatin1Char('x'));
    QTest::newRow("password 51 bytes") << QStringLiteral("txtExitPassword") << ascii51 << QString(50, QLatin1Char('x'));
    // 25 Chinese characters are 50 bytes; one more ASCII letter does not fit.
    const QString chinese25 = QString(25, QChar(0x5B89));
    QTest::newRow("Chinese then ASCII") << QStringLiteral("txtScreenWait") << chinese25 + QStringLiteral("a") << chinese25;
    QTest::newRow("a half character never stays") << QStringLiteral("txtScreenPass")
                                                  << QString(49, QLatin1Char('x')) + QChar(0x5B89)
                                                  << QString(49, QLatin1Char('x'));
    QTest::newRow("font size box") << QStringLiteral("cboFontSize") << QString(51, QLatin1Char('9')) << QString(50, QLatin1Char('9'));
}

void tst_sysparam::textFieldsCutAtFiftyBytes()
{
    QFETCH(QString, control);
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    frmSysParam dialog(m_env, m_store);
    dialog.show();
    QWidget *w = field<QWidget>(&dialog, control);
    QLineEdit *edit = qobject_cast<QComboBox *>(w) ? static_cast<QComboBox *>(w)->lineEdit() : static_cast<QLineEdit *>(w);
    edit->clear();
    type(edit, typed);
    QCOMPARE(edit->text(), kept);
}

void tst_sysparam::saveWritesInItsOrder()
{
    frmSysParam dialog(m_env, m_store);
    dialog.show();
    // Touch every field but the hidden prefix, in a scrambled order.
    for (const char *name : {"txtCondTime", "txtScreenHeight", "txtScreenWidth", "txtExitPassword", "txtBeforeMinute",
                             "txtScreenWait", "txtStartCheckTime", "txtEndCheckTime", "txtScreenPass",
                             "txtScreenNotPass"}) {
        auto *edit = field<QLineEdit>(&dialog, QString::fromLatin1(name));
        edit->setText(edit->text() + QStringLiteral("1"));
    }
    field<QComboBox>(&dialog, QStringLiteral("cboFontSize"))->setEditText(QStringLiteral("16"));
    for (const char *name : {"chkTechPrint", "chkOutCheck", "chkBiologicalClockReport"})
        field<QCheckBox>(&dialog, QString::fromLatin1(name))->click();
    field<QPushButton>(&dialog, QStringLiteral("cmdSave"))->click();
    QList<int> order;
    for (const auto &w : std::as_const(m_store.writes))
        order.append(w.first);
    QCOMPARE(order, (QList<int>{2, 3, 4, 5, 6, 7, 8, 10, 9, 11, 12, 13, 14, 15}));
    QCOMPARE(m_store.values.value(9), QVariant(641.0));
    QCOMPARE(m_store.values.value(12), QVariant(0));
    QCOMPARE(m_store.values.value(13), QVariant(1));
    QCOMPARE(m_store.values.value(3), QVariant(QStringLiteral("301")));
}

void tst_sysparam::failureInTheMiddleOfSave()
{
    frmSysParam dialog(m_env, m_store);
    dialog.show();
    field<QLineEdit>(&dialog, QStringLiteral("txtExitPassword"))->setText(QStringLiteral("9999"));
    field<QLineEdit>(&dialog, QStringLiteral("txtScreenWidth"))->setText(QStringLiteral("300"));
    field<QLineEdit>(&dialog, QStringLiteral("txtScreenHeight"))->setText(QStringLiteral("80"));
    field<QLineEdit>(&dialog, QStringLiteral("txtBeforeMinute"))->setText(QStringLiteral("20"));
    m_store.failWriteAt = 9; // written after 10
    auto *save = field<QPushButton>(&dialog, QStringLiteral("cmdSave"));
    QTest::mouseClick(save, Qt::LeftButton);

    QCOMPARE(m_sink.boxes.size(), 1);
    QCOMPARE(m_sink.lastTitle(), QStringLiteral("错误-10001"));
    QCOMPARE(m_sink.lastText(), QStringLiteral("数据库连接中断"));
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QCOMPARE(m_store.writes.size(), 2);
    QVERIFY(!dialog.isChanged(2));
    QVERIFY(!dialog.isChanged(10));
    QVERIFY(dialog.isChanged(9));
    QVERIFY(dialog.isChanged(11));
    QVERIFY(save->isEnabled());

    m_store.writes.clear();
    m_sink.clear();
    QTest::mouseClick(save, Qt::LeftButton);
    QCOMPARE(m_store.writes.size(), 2);
    QCOMPARE(m_store.writes.at(0).first, 9);
    QCOMPARE(m_store.writes.at(0).second, QVariant(80.0));
    QCOMPARE(m_store.writes.at(1).first, 11);
    QVERIFY(!save->isEnabled());
    QCOMPARE(m_sink.lastText(), QStringLiteral("系统参数保存完毕!"));
}

void tst_sysparam::closingAfterEditsWritesNothing()
{
    frmSysParam dialog(m_env, m_store);
    dialog.show();
    field<QLineEdit>(&dialog, QStringLiteral("txtBeforeMinute"))->setText(QStringLiteral("15"));
    field<QCheckBox>(&dialog, QStringLiteral("chkTechPrint"))->click();
    QTest::mouseClick(field<QPushButton>(&dialog, QStringLiteral("cmdClose")), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QVERIFY(m_store.writes.isEmpty());
    QVERIFY(m_sink.boxes.isEmpty());
}

void tst_sysparam::failedReadIsReported()
{
    m_store.failReadAt = 5;
    frmSysParam dialog(m_env, m_store);
    QCOMPARE(m_sink.lastTitle(), QStringLiteral("错误-10001"));
    QCOMPARE(m_store.reads.last(), 5);
    // What was read before stays; nothing counts as changed.
    QCOMPARE(field<QLineEdit>(&dialog, QStringLiteral("txtEndCheckTime"))->text(), QStringLiteral("60"));
    QVERIFY(!field<QPushButton>(&dialog, QStringLiteral("cmdSave"))->isEnabled());
}

void tst_sysparam::passwordFieldSelectsAllOnFocus()
{
    frmSysParam dialog(m_env, m_store);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    field<QTabWidget>(&dialog, QStringLiteral("tabParam"))->setCurrentIndex(2);
    auto *edit = field<QLineEdit>(&dialog, QStringLiteral("txtExitPassword"));
    QTest::mouseClick(edit, Qt::LeftButton);
    QTRY_COMPARE(edit->selectedText(), QStringLiteral("8888"));
}

QTEST_MAIN(tst_sysparam)
#include "tst_sysparam.moc"
