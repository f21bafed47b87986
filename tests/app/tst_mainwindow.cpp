// The main window: menu entries, child windows, status bar and product bar.
#include "app/mainwindow.h"
#include "core/apperror.h"
#include "widgets/listreport.h"
#include "stationui/stationcontext.h"
#include "support/testsupport.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QCloseEvent>
#include <QMessageBox>
#include <QTest>

using namespace cg;
using State = mdiMain::ButtonState;

namespace {

// A screen offering the product bar's operations by name.
class NamedOpsScreen : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    Q_INVOKABLE void ExportFile() { calls.append(QStringLiteral("ExportFile")); }
    Q_INVOKABLE void ExportFileOpen() { calls.append(QStringLiteral("ExportFileOpen")); }
    Q_INVOKABLE void PreView() { calls.append(QStringLiteral("PreView")); }
    Q_INVOKABLE void PrintReport(bool showDialog)
    {
        calls.append(QStringLiteral("PrintReport(%1)").arg(showDialog ? u"true" : u"false"));
    }
    QStringList calls;
};

// A list screen with the report interface; can be told to fail.
class ReportScreen : public QWidget, public IListReport {
public:
    using QWidget::QWidget;
    void ExportFile() override { record(QStringLiteral("ExportFile")); }
    void ExportFileOpen() override { record(QStringLiteral("ExportFileOpen")); }
    void PrintReport(bool showDialog) override
    {
        record(QStringLiteral("PrintReport(%1)").arg(showDialog ? u"true" : u"false"));
    }
    void PreView() override { record(QStringLiteral("PreView")); }
    void PageSet() override { record(QStringLiteral("PageSet")); }
    void PrintSet() override { record(QStringLiteral("PrintSet")); }
    void record(const QString &call)
    {
        calls.append(call);
        if (fail)
            throw AppError(75, QStringLiteral("路径/文件访问错误"));
    }
    QStringList calls;
    bool fail = false;
};

} // namespace

// A list screen that exports and has nothing to print.
class ExportOnlyScreen : public QWidget, public IListReport {
public:
    void ExportFile() override {}
    void ExportFileOpen() override {}
    void PrintReport(bool) override {}
    void PreView() override {}
    void PageSet() override {}
    void PrintSet() override {}
    bool CanPrint() const override { return false; }
};

// Notes its close (where a screen saves its column layout) and can refuse.
class ClosingScreen : public QWidget {
public:
    std::function<void()> onClose;
    bool refuse = false;

protected:
    void closeEvent(QCloseEvent *event) override
    {
        if (refuse) {
            event->ignore();
            return;
        }
        if (onClose)
            onClose();
        QWidget::closeEvent(event);
    }
};

class tst_mainwindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void menuEntries_data();
    void menuEntries();
    void screenOpensOnceAndComesForward();
    void closedScreenOpensAnew();
    void entriesWithoutScreenDoNothing();
    void windowsMenuListsChildren();
    void touchScreenAsks_data();
    void touchScreenAsks();
    void exitClosesWindow();

    void statusTextAndHourglass_data();
    void statusTextAndHourglass();

    void hoverStateMachine();
    void pressAndRelease();
    void buttonsDescribed();
    void buttonsWithoutChildDoNothing_data();
    void buttonsWithoutChildDoNothing();
    void buttonsAskChildByName_data();
    void buttonsAskChildByName();
    void goBackAndCloseCurrent();
    void productBarLayout_data();
    void productBarLayout();

    void fileMenuUsesReportInterface_data();
    void fileMenuUsesReportInterface();
    void fileMenuFollowsActiveScreen();
    void errorBoxRestoresPointer();
    void closingClosesScreensFirst();

private:
    std::unique_ptr<mdiMain> makeWindow(bool showHidden = false);
    void clickButton(mdiMain &w, int index);

    test::RecordingMessageSink m_sink;
    Env m_env;
    StationContext m_station;
};

void tst_mainwindow::init()
{
    m_sink.clear();
    m_env = Env{};
    m_env.messages = &m_sink;
    m_station = StationContext{};
}

std::unique_ptr<mdiMain> tst_mainwindow::makeWindow(bool showHidden)
{
    m_station.showHiddenMenus = showHidden;
    auto w = std::make_unique<mdiMain>(m_env, m_station);
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get()))
        qFatal("main window not exposed");
    return w;
}

void tst_mainwindow::clickButton(mdiMain &w, int index)
{
    ProductButton *b = w.productButton(index);
    QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
}

void tst_mainwindow::menuEntries_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("hidden");
    auto row = [](const char *name, const QString &caption, bool hidden = false) {
        QTest::newRow(name) << QString::fromLatin1(name) << caption << hidden;
    };
    row("mnu_return", QStringLiteral("回场报班"), true);
    row("mnu_tech", QStringLiteral("自动门检"), true);
    row("mnu_check_face", QStringLiteral("车容门检"), true);
    row("mnu_check_cond", QStringLiteral("车容车况"));
    row("mnu_center", QStringLiteral("调度中心"));
    row("mnu_touch", QStringLiteral("触摸屏"));
    row("mnu_check_exit", QStringLiteral("出站门检"));
    row("m1", QStringLiteral("安机管理"));
    row("m7", QStringLiteral("基本信息"));
    row("m4", QStringLiteral("系统设置"));
    row("m2", QString());
    row("m5", QStringLiteral("车辆管理"));
    row("m6", QStringLiteral("驾驶员管理"));
    row("m9", QString(), true);
    row("m11", QStringLiteral("驾驶员车辆排班"), true);
    row("m15", QStringLiteral("滚动车次车辆排班"), true);
    row("m12", QString());
    row("m13", QStringLiteral("驾驶员报班信息"));
    row("m14", QStringLiteral("强制信息查询"));
    row("mnu_Report", QStringLiteral("系统报表"));
    row("mnu_File", QStringLiteral("文件(&F)"));
    row("mnu_File_UserInfo", QStringLiteral("用户属性(&U)"));
    row("mnu_File_s3", QString());
    row("mnu_File_Export", QStringLiteral("导出(&E)"));
    row("mnu_File_ExportOpen", QStringLiteral("导出并打开(&O)..."));
    row("mnu_File_s1", QString());
    row("mnuFile_Print", QStringLiteral("打印(&P)"));
    row("mnuFile_PrintSet", QStringLiteral("打印设置(&S)..."));
    row("mnuFile_PageSet", QStringLiteral("页面设置(&G)..."));
    row("mnu_File_s2", QString());
    row("mnu_File_Exit", QStringLiteral("退出(&X)"));
    row("mnu_Windows", QStringLiteral("窗口(&W)"));
    row("mnu_Windows_Report", QStringLiteral("报表及资料(&R)"));
    row("mnu_Windows_s0", QString());
    row("mnu_Windows_Horizontal", QStringLiteral("水平排列(&H)"));
    row("mnu_Windows_Vertical", QStringLiteral("垂直排列(&V)"));
    row("mnu_Windows_Cascade", QStringLiteral("层叠(&C)"));
    row("mnu_Windows_icon", QStringLiteral("排列图标(&A)"));
    row("mnu_Windows_s1", QString());
    row("mnu_Windows_HomePage", QStringLiteral("主页(&P)"));
    row("mnu_Help", QStringLiteral("帮助(&H)"));
    row("mnu_hlp_updata", QStringLiteral("在线升级(&U)"));
    row("mnu_hlp_s2", QString());
    row("mnu_hlp_content", QStringLiteral("内容(&C)..."));
    row("mnu_hlp_index", QStringLiteral("索引(&I)..."));
    row("mnu_hlp_s1", QString());
    row("mnu_hlp_about", QStringLiteral("关于(&A)..."));
}

void tst_mainwindow::menuEntries()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(bool, hidden);
    for (bool showHidden : {false, true}) {
        auto w = makeWindow(showHidden);
        QAction *a = w->menuAction(name);
        QVERIFY(a);
        QCOMPARE(a->objectName(), name);
        QCOMPARE(a->isSeparator(), caption.isEmpty());
        if (!caption.isEmpty())
            QCOMPARE(a->text(), caption);
        QCOMPARE(a->isVisible(), !hidden || showHidden);
    }
}

void tst_mainwindow::screenOpensOnceAndComesForward()
{
    auto w = makeWindow();
    int built = 0;
    w->registerScreen(QStringLiteral("m6"), [&built] {
        ++built;
        auto *screen = new QLineEdit;
        screen->setObjectName(QStringLiteral("frmDriverMain"));
        return screen;
    });
    w->registerScreen(QStringLiteral("m5"), [] { return new QWidget; });

    w->menuAction(QStringLiteral("m6"))->trigger();
    QMdiSubWindow *first = w->mdiArea()->activeSubWindow();
    QVERIFY(first);
    static_cast<QLineEdit *>(first->widget())->setText(QStringLiteral("李四"));
    w->menuAction(QStringLiteral("m5"))->trigger();
    QVERIFY(w->mdiArea()->activeSubWindow() != first);

    w->menuAction(QStringLiteral("m6"))->trigger();
    QCOMPARE(built, 1);
    QCOMPARE(w->mdiArea()->subWindowList().size(), 2);
    QCOMPARE(w->mdiArea()->activeSubWindow(), first);
    QCOMPARE(w->mdiArea()->subWindowList(QMdiArea::StackingOrder).last(), first);
    QCOMPARE(static_cast<QLineEdit *>(first->widget())->text(), QStringLiteral("李四"));

    // A minimised screen comes back to its normal size.
    first->showMinimized();
    w->menuAction(QStringLiteral("m6"))->trigger();
    QVERIFY(!first->isMinimized());
    QCOMPARE(built, 1);
}

void tst_mainwindow::closedScreenOpensAnew()
{
    auto w = makeWindow();
    int built = 0;
    w->registerScreen(QStringLiteral("m13"), [&built] {
        ++built;
        return new QWidget;
    });
    w->menuAction(QStringLiteral("m13"))->trigger();
    QPointer<QMdiSubWindow> first = w->mdiArea()->activeSubWindow();
    first->close();
    QTRY_VERIFY(!first);
    w->menuAction(QStringLiteral("m13"))->trigger();
    QCOMPARE(built, 2);
    QCOMPARE(w->mdiArea()->subWindowList().size(), 1);
}

void tst_mainwindow::entriesWithoutScreenDoNothing()
{
    auto w = makeWindow(true);
    for (const char *name : {"mnu_return", "mnu_tech", "mnu_check_cond", "mnu_center", "mnu_check_exit", "m7", "m4",
                             "m5", "m6", "m11", "m15", "m13", "m14", "mnu_Report", "mnu_Windows_Report",
                             "mnu_Windows_HomePage", "mnu_hlp_updata", "mnu_hlp_content", "mnu_hlp_index",
                             "mnu_File_Export", "mnu_File_UserInfo", "mnu_Windows_Horizontal"}) {
        w->menuAction(QString::fromLatin1(name))->trigger();
        QVERIFY2(w->mdiArea()->subWindowList().isEmpty(), name);
        QVERIFY2(m_sink.boxes.isEmpty(), name);
    }
    QVERIFY(w->isVisible());
}

void tst_mainwindow::windowsMenuListsChildren()
{
    auto w = makeWindow();
    w->registerScreen(QStringLiteral("m13"), [] {
        auto *s = new QWidget;
        s->setWindowTitle(QStringLiteral("驾驶员报班信息"));
        return s;
    });
    w->registerScreen(QStringLiteral("m14"), [] {
        auto *s = new QWidget;
        s->setWindowTitle(QStringLiteral("强制信息查询"));
        return s;
    });
    w->menuAction(QStringLiteral("m13"))->trigger();
    w->menuAction(QStringLiteral("m14"))->trigger();
    QMenu *windows = w->findChild<QMenu *>(QStringLiteral("mnu_Windows"));
    emit windows->aboutToShow();
    QStringList listed;
    QAction *first = nullptr;
    const QList<QAction *> actions = windows->actions();
    for (QAction *a : actions) {
        if (a->objectName().isEmpty() && !a->isSeparator()) {
            listed.append(a->text());
            if (!first)
                first = a;
        }
    }
    QCOMPARE(listed, (QStringList{QStringLiteral("&1 驾驶员报班信息"), QStringLiteral("&2 强制信息查询")}));
    first->trigger();
    QCOMPARE(w->mdiArea()->activeSubWindow()->windowTitle(), QStringLiteral("驾驶员报班信息"));
    // Shown again, the list is rebuilt rather than appended to.
    emit windows->aboutToShow();
    QCOMPARE(windows->actions().size(), actions.size());
}

void tst_mainwindow::touchScreenAsks_data()
{
    QTest::addColumn<MsgAnswer>("answer");
    QTest::addColumn<int>("hookCalls");
    QTest::newRow("yes") << MsgAnswer::Yes << 1;
    QTest::newRow("no") << MsgAnswer::No << 0;
}

void tst_mainwindow::touchScreenAsks()
{
    QFETCH(MsgAnswer, answer);
    QFETCH(int, hookCalls);
    auto w = makeWindow();
    int calls = 0;
    w->setTouchScreenHook([&calls] { ++calls; });
    m_sink.script = {answer};
    w->menuAction(QStringLiteral("mnu_touch"))->trigger();
    QCOMPARE(m_sink.boxes.size(), 1);
    QCOMPARE(m_sink.lastTitle(), QStringLiteral("注意"));
    QCOMPARE(m_sink.lastText(), QStringLiteral("是否进入触摸屏？"));
    QCOMPARE(m_sink.boxes.first().spec.buttons, MsgButtons::YesNo);
    QCOMPARE(calls, hookCalls);
    QVERIFY(w->mdiArea()->subWindowList().isEmpty());
}

void tst_mainwindow::exitClosesWindow()
{
    auto w = makeWindow();
    w->menuAction(QStringLiteral("mnu_File_Exit"))->trigger();
    QVERIFY(!w->isVisible());
    QVERIFY(m_sink.boxes.isEmpty());
}

void tst_mainwindow::statusTextAndHourglass_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QList<int>>("panels");
    QTest::addColumn<bool>("busy");
    QTest::newRow("progress shows the hourglass")
        << QStringList{QStringLiteral("正在查询相关车次，请稍等...")} << QList<int>{1} << true;
    QTest::newRow("empty progress restores")
        << QStringList{QStringLiteral("正在查询"), QString()} << QList<int>{1, 1} << false;
    QTest::newRow("result restores")
        << QStringList{QStringLiteral("正在查询"), QStringLiteral("查询完毕,共3条记录")} << QList<int>{1, 2} << false;
    QTest::newRow("empty result restores too") << QStringList{QStringLiteral("正在查询"), QString()}
                                               << QList<int>{1, 2} << false;
    QTest::newRow("operator panel leaves the hourglass")
        << QStringList{QStringLiteral("正在查询"), QStringLiteral("[wg]王刚")} << QList<int>{1, 3} << true;
    QTest::newRow("progress twice, one result")
        << QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("完毕")} << QList<int>{1, 1, 2} << false;
    QTest::newRow("unknown panel ignored") << QStringList{QStringLiteral("x")} << QList<int>{4} << false;
}

void tst_mainwindow::statusTextAndHourglass()
{
    QFETCH(QStringList, texts);
    QFETCH(QList<int>, panels);
    QFETCH(bool, busy);
    auto w = makeWindow();
    StatusSink &status = *w;
    QString expected[4];
    for (int i = 0; i < texts.size(); ++i) {
        status.SetStatusText(texts.at(i), panels.at(i));
        if (panels.at(i) >= 1 && panels.at(i) <= 3)
            expected[panels.at(i)] = texts.at(i);
    }
    for (int p = 1; p <= 3; ++p) {
        QCOMPARE(w->statusText(p), expected[p]);
        QCOMPARE(w->findChild<QLabel *>(QStringLiteral("sbPanel%1").arg(p))->text(), expected[p]);
    }
    QCOMPARE(w->isBusy(), busy);
    QCOMPARE(w->cursor().shape(), busy ? Qt::WaitCursor : Qt::ArrowCursor);
}

void tst_mainwindow::hoverStateMachine()
{
    auto w = makeWindow();
    for (int i = 1; i <= 7; ++i)
        QCOMPARE(w->buttonState(i), State::Normal);
    QCOMPARE(w->hoveredIndex(), 0);
    QVERIFY(!w->pointerOutside());

    ProductButton *b4 = w->productButton(4);
    ProductButton *b5 = w->productButton(5);
    QTest::mouseMove(b4, b4->rect().center());
    QTRY_COMPARE(w->buttonState(4), State::Hover);
    QCOMPARE(w->hoveredIndex(), 4);

    // Straight from 4 to 5.
    QTest::mouseMove(b5, b5->rect().center());
    QTRY_COMPARE(w->buttonState(5), State::Hover);
    QCOMPARE(w->buttonState(4), State::Normal);
    QCOMPARE(w->hoveredIndex(), 5);
    QVERIFY(!w->pointerOutside());

    // Off the buttons onto the bar's background.
    ProductBar *bar = w->productBar();
    QTest::mouseMove(bar, QPoint(bar->width() / 2, 2));
    QTRY_COMPARE(w->buttonState(5), State::Normal);
    QCOMPARE(w->hoveredIndex(), 0);
    QVERIFY(w->pointerOutside());

    // Back over 5, then over the frame's background.
    QTest::mouseMove(b5, b5->rect().center());
    QTRY_COMPARE(w->buttonState(5), State::Hover);
    QTest::mouseMove(w->mdiArea()->viewport(), w->mdiArea()->viewport()->rect().center());
    QTRY_COMPARE(w->buttonState(5), State::Normal);
    for (int i = 1; i <= 7; ++i)
        QCOMPARE(w->buttonState(i), State::Normal);
}

void tst_mainwindow::pressAndRelease()
{
    auto w = makeWindow();
    ProductButton *b6 = w->productButton(6);
    QTest::mouseMove(b6, b6->rect().center());
    QTRY_COMPARE(w->buttonState(6), State::Hover);
    QTest::mousePress(b6, Qt::LeftButton, {}, b6->rect().center());
    QCOMPARE(w->buttonState(6), State::Down);
    QTest::mouseRelease(b6, Qt::LeftButton, {}, b6->rect().center());
    QCOMPARE(w->buttonState(6), State::Normal);
    // Still recorded as hovered: moving within it changes nothing.
    QTest::mouseMove(b6, b6->rect().center() + QPoint(1, 1));
    QCOMPARE(w->hoveredIndex(), 6);
    QCOMPARE(w->buttonState(6), State::Normal);
    QVERIFY(m_sink.boxes.isEmpty()); // no child: nothing happened
}

void tst_mainwindow::buttonsDescribed()
{
    auto w = makeWindow();
    const QStringList tags{QStringLiteral("home_"), QStringLiteral("go_back_"), QStringLiteral("close_"),
                           QStringLiteral("export_"), QStringLiteral("exportopen_"), QStringLiteral("preview_"),
                           QStringLiteral("print_")};
    const QStringList tips{QStringLiteral("首页"), QStringLiteral("前一窗体"), QStringLiteral("关闭当前窗体"),
                           QStringLiteral("导出文件"), QStringLiteral("导出文件并打开"), QStringLiteral("打印预览"),
                           QStringLiteral("打印")};
    for (int i = 1; i <= 7; ++i) {
        QCOMPARE(mdiMain::buttonTag(i), tags.at(i - 1));
        QCOMPARE(w->productButton(i)->toolTip(), tips.at(i - 1));
        // Three different pictures per button.
        const QImage normal = w->picture(tags.at(i - 1) + QStringLiteral("Normal")).toImage();
        const QImage hover = w->picture(tags.at(i - 1) + QStringLiteral("Hover")).toImage();
        const QImage down = w->picture(tags.at(i - 1) + QStringLiteral("Down")).toImage();
        QVERIFY(!normal.isNull());
        QVERIFY(normal != hover);
        QVERIFY(hover != down);
    }
}

void tst_mainwindow::buttonsWithoutChildDoNothing_data()
{
    QTest::addColumn<int>("index");
    for (int i = 1; i <= 7; ++i)
        QTest::newRow(qPrintable(mdiMain::buttonTag(i))) << i;
}

void tst_mainwindow::buttonsWithoutChildDoNothing()
{
    QFETCH(int, index);
    auto w = makeWindow();
    clickButton(*w, index);
    QVERIFY(m_sink.boxes.isEmpty());
    QVERIFY(w->isVisible());
    QCOMPARE(w->buttonState(index), State::Normal);
}

void tst_mainwindow::buttonsAskChildByName_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("call");
    QTest::newRow("导出文件") << 4 << QStringLiteral("ExportFile");
    QTest::newRow("导出文件并打开") << 5 << QStringLiteral("ExportFileOpen");
    QTest::newRow("打印预览") << 6 << QStringLiteral("PreView");
    QTest::newRow("打印") << 7 << QStringLiteral("PrintReport(false)");
}

void tst_mainwindow::buttonsAskChildByName()
{
    QFETCH(int, index);
    QFETCH(QString, call);
    auto w = makeWindow();

    // A screen offering the operation by name.
    NamedOpsScreen *named = nullptr;
    w->openChild(QStringLiteral("named"), [&named] { return named = new NamedOpsScreen; });
    clickButton(*w, index);
    QCOMPARE(named->calls, QStringList{call});
    QVERIFY(m_sink.boxes.isEmpty());

    // A screen with the report interface.
    ReportScreen *report = nullptr;
    w->openChild(QStringLiteral("report"), [&report] { return report = new ReportScreen; });
    clickButton(*w, index);
    QCOMPARE(report->calls, QStringList{call});

    // Its failure is reported.
    report->fail = true;
    clickButton(*w, index);
    QCOMPARE(m_sink.lastTitle(), QStringLiteral("错误-75"));

    QVERIFY(w->productButton(index)->isAvailable());

    // A screen without a list: the button is faded and does nothing, never
    // a cryptic error box.
    m_sink.clear();
    w->openChild(QStringLiteral("plain"), [] { return new QWidget; });
    QVERIFY(!w->productButton(index)->isAvailable());
    clickButton(*w, index);
    QVERIFY(m_sink.boxes.isEmpty());
    QCOMPARE(w->mdiArea()->subWindowList().size(), 3);
    // Back on the list screen it works again.
    w->mdiArea()->setActiveSubWindow(w->child(QStringLiteral("report")));
    QVERIFY(w->productButton(index)->isAvailable());
}

void tst_mainwindow::goBackAndCloseCurrent()
{
    auto w = makeWindow();
    QMdiSubWindow *a = w->openChild(QStringLiteral("a"), [] { return new QWidget; });
    QMdiSubWindow *b = w->openChild(QStringLiteral("b"), [] { return new QWidget; });
    QMdiSubWindow *c = w->openChild(QStringLiteral("c"), [] { return new QWidget; });
    QCOMPARE(w->mdiArea()->activeSubWindow(), c);

    clickButton(*w, 2); // 前一窗体: c to the back, b forward
    QCOMPARE(w->mdiArea()->activeSubWindow(), b);
    QCOMPARE(w->mdiArea()->subWindowList(QMdiArea::StackingOrder).first(), c);

    clickButton(*w, 1); // 首页 does nothing
    QCOMPARE(w->mdiArea()->activeSubWindow(), b);

    QPointer<QMdiSubWindow> gone(b);
    clickButton(*w, 3); // 关闭当前窗体
    QTRY_VERIFY(!gone);
    QCOMPARE(w->mdiArea()->subWindowList().size(), 2);
    QVERIFY(w->child(QStringLiteral("b")) == nullptr);
    QVERIFY(w->child(QStringLiteral("a")) == a);
    QVERIFY(m_sink.boxes.isEmpty());
}

void tst_mainwindow::productBarLayout_data()
{
    QTest::addColumn<int>("barWidth"); // pixels
    // 1200 px = 18000 twips: 18000 - 3*510 - 800 = 15670 twips = 1044 px
    QTest::newRow("wide") << 1200;
    QTest::newRow("just above the minimum") << 600;
    QTest::newRow("narrow: stays at 7000 twips") << 400;
}

void tst_mainwindow::productBarLayout()
{
    QFETCH(int, barWidth);
    auto w = makeWindow();
    ProductBar *bar = w->productBar();
    bar->setFixedWidth(barWidth);
    QTRY_COMPARE(bar->width(), barWidth);
    const int bw = mdiMain::ButtonSize * 15;
    int left = std::max(7000, barWidth * 15 - 3 * bw - 800);
    for (int i = 1; i <= 3; ++i) {
        QCOMPARE(w->productButton(i)->x(), left / 15);
        left += bw + 100;
    }
    // 4..7 keep their place at the left, in order, whatever the width.
    for (int i = 4; i <= 6; ++i)
        QVERIFY(w->productButton(i)->geometry().right() < w->productButton(i + 1)->x());
    QVERIFY(w->productButton(7)->geometry().right() < w->productButton(1)->x());
    QCOMPARE(w->productButton(4)->x(), 8);
}

void tst_mainwindow::fileMenuUsesReportInterface_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("call");
    QTest::newRow("导出") << QStringLiteral("mnu_File_Export") << QStringLiteral("ExportFile");
    QTest::newRow("导出并打开") << QStringLiteral("mnu_File_ExportOpen") << QStringLiteral("ExportFileOpen");
    QTest::newRow("打印") << QStringLiteral("mnuFile_Print") << QStringLiteral("PrintReport(false)");
    QTest::newRow("打印设置") << QStringLiteral("mnuFile_PrintSet") << QStringLiteral("PrintSet");
    QTest::newRow("页面设置") << QStringLiteral("mnuFile_PageSet") << QStringLiteral("PageSet");
}

void tst_mainwindow::fileMenuUsesReportInterface()
{
    QFETCH(QString, entry);
    QFETCH(QString, call);
    auto w = makeWindow();
    ReportScreen *report = nullptr;
    w->openChild(QStringLiteral("report"), [&report] { return report = new ReportScreen; });
    w->menuAction(entry)->trigger();
    QCOMPARE(report->calls, QStringList{call});
}

void tst_mainwindow::fileMenuFollowsActiveScreen()
{
    auto w = makeWindow();
    const QStringList entries = {QStringLiteral("mnu_File_Export"), QStringLiteral("mnu_File_ExportOpen"),
                                 QStringLiteral("mnuFile_Print"), QStringLiteral("mnuFile_PrintSet"),
                                 QStringLiteral("mnuFile_PageSet")};
    const auto enabled = [&] {
        QList<bool> out;
        for (const QString &e : entries)
            out << w->menuAction(e)->isEnabled();
        return out;
    };
    // No child, then a child without a list: export and print are disabled.
    QCOMPARE(enabled(), (QList<bool>{false, false, false, false, false}));
    w->openChild(QStringLiteral("plain"), [] { return new QWidget; });
    QCOMPARE(enabled(), (QList<bool>{false, false, false, false, false}));
    // A list that exports but has nothing to print.
    ExportOnlyScreen *list = nullptr;
    w->openChild(QStringLiteral("list"), [&list] { return list = new ExportOnlyScreen; });
    QCOMPARE(enabled(), (QList<bool>{true, true, false, false, false}));
    QVERIFY(w->productButton(4)->isAvailable());
    QVERIFY(!w->productButton(7)->isAvailable());
    // A failing export says so instead of being swallowed.
    ReportScreen *report = nullptr;
    w->openChild(QStringLiteral("report"), [&report] { return report = new ReportScreen; });
    QCOMPARE(enabled(), (QList<bool>{true, true, true, true, true}));
    report->fail = true;
    w->menuAction(QStringLiteral("mnu_File_Export"))->trigger();
    QCOMPARE(report->calls, QStringList{QStringLiteral("ExportFile")});
    QCOMPARE(m_sink.boxes.size(), 1);
    QCOMPARE(m_sink.lastTitle(), QStringLiteral("错误-75"));
    // Closing the list screens disables the entries again.
    w->child(QStringLiteral("report"))->close();
    w->child(QStringLiteral("list"))->close();
    w->mdiArea()->setActiveSubWindow(w->child(QStringLiteral("plain")));
    QTRY_COMPARE(enabled(), (QList<bool>{false, false, false, false, false}));
}

void tst_mainwindow::errorBoxRestoresPointer()
{
    auto w = makeWindow();
    w->SetStatusText(QStringLiteral("正在查询相关车次，请稍等..."), 1);
    QVERIFY(w->isBusy());
    w->SetStatusText(QStringLiteral("查询错误,请检查后继续"), 1);
    QVERIFY(w->isBusy());
    // The error box comes up: the pointer is normal again, the text stays.
    QMessageBox box(QMessageBox::Warning, QStringLiteral("错误-3021"), QStringLiteral("查询失败"), QMessageBox::Ok, w.get());
    box.show();
    QVERIFY(!w->isBusy());
    QCOMPARE(w->cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(w->statusText(1), QStringLiteral("查询错误,请检查后继续"));
}

void tst_mainwindow::closingClosesScreensFirst()
{
    auto w = makeWindow();
    QStringList closed;
    for (const QString &name : {QStringLiteral("a"), QStringLiteral("b")}) {
        w->openChild(name, [&closed, name] {
            auto *s = new ClosingScreen;
            s->onClose = [&closed, name] { closed << name; };
            return s;
        });
    }
    // A screen refusing to close keeps the window up.
    ClosingScreen *stubborn = nullptr;
    w->openChild(QStringLiteral("c"), [&stubborn] { return stubborn = new ClosingScreen; });
    stubborn->refuse = true;
    QVERIFY(!w->close());
    QVERIFY(w->isVisible());
    closed.sort();
    QCOMPARE(closed, (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    stubborn->refuse = false;
    QVERIFY(w->close());
    QVERIFY(w->mdiArea()->subWindowList().isEmpty());
}

QTEST_MAIN(tst_mainwindow)
#include "tst_mainwindow.moc"
