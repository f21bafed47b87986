#include "mainwindow.h"

#include "core/apperror.h"
#include "widgets/listexport.h"
#include "widgets/messages.h"
#include "widgets/messagesink.h"
#include "productpictures.h"
#include "services/station/coreservices.h"
#include "stationui/stationcontext.h"

#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

struct ButtonInfo {
    const char16_t *tag;
    const char16_t *tooltip;
};

// Indexes 1..7 of the product bar.
constexpr ButtonInfo kButtons[mdiMain::ButtonCount] = {
    {u"home_", u"首页"},
    {u"go_back_", u"前一窗体"},
    {u"close_", u"关闭当前窗体"},
    {u"export_", u"导出文件"},
    {u"exportopen_", u"导出文件并打开"},
    {u"preview_", u"打印预览"},
    {u"print_", u"打印"},
};

QString stateName(mdiMain::ButtonState state)
{
    switch (state) {
    case mdiMain::ButtonState::Hover: return u"Hover"_s;
    case mdiMain::ButtonState::Down: return u"Down"_s;
    case mdiMain::ButtonState::Normal: break;
    }
    return u"Normal"_s;
}

// Raised by the product bar when the active screen lacks the operation.
AppError missingOperation()
{
    return AppError(438, u"对象不支持该属性或方法"_s);
}

} // namespace

// ---------------------------------------------------------------- buttons

ProductButton::ProductButton(mdiMain *owner, int index, QWidget *parent)
    : QWidget(parent), m_owner(owner), m_index(index)
{
    setObjectName(u"imgProduct_%1"_s.arg(index));
    setMouseTracking(true);
    setFixedSize(mdiMain::ButtonSize, mdiMain::ButtonSize);
}

void ProductButton::setAvailable(bool available)
{
    if (available == m_available)
        return;
    m_available = available;
    update();
}

void ProductButton::setPicture(const QPixmap &picture)
{
    m_picture = picture;
    update();
}

QSize ProductButton::sizeHint() const
{
    return {mdiMain::ButtonSize, mdiMain::ButtonSize};
}

void ProductButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    // A button the active screen has no use for is drawn faded; it still
    // follows the pointer but does nothing when released.
    if (!m_available)
        p.setOpacity(0.3);
    p.drawPixmap(0, 0, m_picture);
}

void ProductButton::mouseMoveEvent(QMouseEvent *event)
{
    m_owner->imgProduct_MouseMove(m_index);
    event->accept();
}

void ProductButton::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_owner->imgProduct_MouseDown(m_index);
    event->accept();
}

void ProductButton::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_owner->imgProduct_MouseUp(m_index);
    event->accept();
}

ProductBar::ProductBar(mdiMain *owner, QWidget *parent) : QWidget(parent), m_owner(owner)
{
    setObjectName(u"ptProduct"_s);
    setMouseTracking(true);
    setMinimumHeight(mdiMain::ButtonSize + 8);
}

QSize ProductBar::sizeHint() const
{
    return {800, mdiMain::ButtonSize + 8};
}

void ProductBar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, QColor(0xf4, 0xf8, 0xfd));
    g.setColorAt(1, QColor(0xd6, 0xe2, 0xf1));
    p.fillRect(rect(), g);
    p.setPen(QColor(0xa8, 0xb8, 0xcc));
    p.drawLine(0, height() - 1, width(), height() - 1);
}

void ProductBar::mouseMoveEvent(QMouseEvent *event)
{
    m_owner->restoreButtons();
    event->accept();
}

void ProductBar::leaveEvent(QEvent *event)
{
    // Leaving the bar altogether counts as moving over the rest of the window.
    m_owner->restoreButtons();
    QWidget::leaveEvent(event);
}

void ProductBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_owner->layoutProductBar();
}

// ---------------------------------------------------------------- window

mdiMain::mdiMain(const Env &env, StationContext &station, QWidget *parent)
    : QMainWindow(parent), m_env(env), m_station(station)
{
    setObjectName(u"mdiMain"_s);
    setWindowTitle(u"客运站安全门检系统"_s);
    setWindowIcon(QIcon(DrawAppIcon(32)));

    m_mdi = new QMdiArea(this);
    m_mdi->setObjectName(u"mdiArea"_s);
    m_mdi->setBackground(QColor(0x8a, 0x9b, 0xb4));
    m_mdi->viewport()->setMouseTracking(true);
    m_mdi->viewport()->installEventFilter(this);
    setCentralWidget(m_mdi);

    buildMenus();
    buildProductBar();
    buildStatusBar();
    resize(1280, 800);
    connect(m_mdi, &QMdiArea::subWindowActivated, this, &mdiMain::updateReportEntries);
    // An error box is never shown under the hourglass.
    qApp->installEventFilter(this);
    Form_Load();
    updateReportEntries();
}

mdiMain::~mdiMain()
{
    qApp->removeEventFilter(this);
    // The frame's children go after this object's members: no more updates.
    disconnect(m_mdi, nullptr, this, nullptr);
}

void mdiMain::updateReportEntries()
{
    QMdiSubWindow *active = m_mdi->activeSubWindow();
    QWidget *screen = active ? active->widget() : nullptr;
    IListReport *report = ListReportOf(screen);
    const bool exports = report != nullptr;
    const bool prints = report && report->CanPrint();
    for (const char16_t *name : {u"mnu_File_Export", u"mnu_File_ExportOpen"})
        if (QAction *a = m_actions.value(QString::fromUtf16(name)))
            a->setEnabled(exports);
    for (const char16_t *name : {u"mnuFile_Print", u"mnuFile_PrintSet", u"mnuFile_PageSet"})
        if (QAction *a = m_actions.value(QString::fromUtf16(name)))
            a->setEnabled(prints);
    // 前一窗体 and 关闭当前窗体 need an active screen, export and print a list
    // (or the screen's own operations of those names).
    const auto offers = [screen](const char *signature) {
        return screen && screen->metaObject()->indexOfMethod(signature) >= 0;
    };
    const bool enabled[ButtonCount + 1] = {false,
                                           true,
                                           active != nullptr,
                                           active != nullptr,
                                           exports || offers("ExportFile()"),
                                           exports || offers("ExportFileOpen()"),
                                           prints || offers("PreView()"),
                                           prints || offers("PrintReport(bool)")};
    for (int i = 1; i <= ButtonCount; ++i)
        if (m_buttons[i])
            m_buttons[i]->setAvailable(enabled[i]);
}

void mdiMain::closeEvent(QCloseEvent *event)
{
    // Every screen closes first, so each saves its column layout and ends
    // its notifier before the window goes: the windows shown beside this one
    // (the vehicle screens of the dispatch centre), then the child screens.
    const auto windows = findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (QWidget *w : windows)
        if (w->isWindow() && w->isVisible() && !qobject_cast<QMenu *>(w))
            w->close();
    m_mdi->closeAllSubWindows();
    if (!m_mdi->subWindowList().isEmpty()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void mdiMain::restorePointer()
{
    if (!m_busy)
        return;
    m_busy = false;
    unsetCursor();
}

QAction *mdiMain::addEntry(QWidget *menu, const QString &name, const QString &caption, bool hidden)
{
    auto *action = new QAction(caption, this);
    action->setObjectName(name);
    menu->addAction(action);
    if (hidden)
        action->setVisible(m_station.showHiddenMenus);
    m_actions.insert(name, action);
    connect(action, &QAction::triggered, this, [this, name] { menuChosen(name); });
    return action;
}

QAction *mdiMain::addSeparator(QWidget *menu, const QString &name, bool hidden)
{
    auto *action = new QAction(this);
    action->setSeparator(true);
    action->setObjectName(name);
    menu->addAction(action);
    if (hidden)
        action->setVisible(m_station.showHiddenMenus);
    m_actions.insert(name, action);
    return action;
}

QMenu *mdiMain::addSubmenu(const QString &name, const QString &caption)
{
    QMenu *menu = menuBar()->addMenu(caption);
    menu->setObjectName(name);
    menu->menuAction()->setObjectName(name);
    m_actions.insert(name, menu->menuAction());
    return menu;
}

void mdiMain::buildMenus()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(u"mnuMain"_s);
    addEntry(bar, u"mnu_return"_s, u"回场报班"_s, true);
    addEntry(bar, u"mnu_tech"_s, u"自动门检"_s, true);
    addEntry(bar, u"mnu_check_face"_s, u"车容门检"_s, true);
    addEntry(bar, u"mnu_check_cond"_s, u"车容车况"_s);
    addEntry(bar, u"mnu_center"_s, u"调度中心"_s);
    addEntry(bar, u"mnu_touch"_s, u"触摸屏"_s);
    addEntry(bar, u"mnu_check_exit"_s, u"出站门检"_s);

    QMenu *m1 = addSubmenu(u"m1"_s, u"安机管理"_s);
    addEntry(m1, u"m7"_s, u"基本信息"_s);
    addEntry(m1, u"m4"_s, u"系统设置"_s);
    addSeparator(m1, u"m2"_s);
    addEntry(m1, u"m5"_s, u"车辆管理"_s);
    addEntry(m1, u"m6"_s, u"驾驶员管理"_s);
    addSeparator(m1, u"m9"_s, true);
    addEntry(m1, u"m11"_s, u"驾驶员车辆排班"_s, true);
    addEntry(m1, u"m15"_s, u"滚动车次车辆排班"_s, true);
    addSeparator(m1, u"m12"_s);
    addEntry(m1, u"m13"_s, u"驾驶员报班信息"_s);
    addEntry(m1, u"m14"_s, u"强制信息查询"_s);

    addEntry(bar, u"mnu_Report"_s, u"系统报表"_s);

    QMenu *file = addSubmenu(u"mnu_File"_s, u"文件(&F)"_s);
    addEntry(file, u"mnu_File_UserInfo"_s, u"用户属性(&U)"_s);
    addSeparator(file, u"mnu_File_s3"_s);
    addEntry(file, u"mnu_File_Export"_s, u"导出(&E)"_s);
    addEntry(file, u"mnu_File_ExportOpen"_s, u"导出并打开(&O)..."_s);
    addSeparator(file, u"mnu_File_s1"_s);
    addEntry(file, u"mnuFile_Print"_s, u"打印(&P)"_s);
    addEntry(file, u"mnuFile_PrintSet"_s, u"打印设置(&S)..."_s);
    addEntry(file, u"mnuFile_PageSet"_s, u"页面设置(&G)..."_s);
    addSeparator(file, u"mnu_File_s2"_s);
    addEntry(file, u"mnu_File_Exit"_s, u"退出(&X)"_s);

    m_windowsMenu = addSubmenu(u"mnu_Windows"_s, u"窗口(&W)"_s);
    addEntry(m_windowsMenu, u"mnu_Windows_Report"_s, u"报表及资料(&R)"_s);
    addSeparator(m_windowsMenu, u"mnu_Windows_s0"_s);
    addEntry(m_windowsMenu, u"mnu_Windows_Horizontal"_s, u"水平排列(&H)"_s);
    addEntry(m_windowsMenu, u"mnu_Windows_Vertical"_s, u"垂直排列(&V)"_s);
    addEntry(m_windowsMenu, u"mnu_Windows_Cascade"_s, u"层叠(&C)"_s);
    addEntry(m_windowsMenu, u"mnu_Windows_icon"_s, u"排列图标(&A)"_s);
    addSeparator(m_windowsMenu, u"mnu_Windows_s1"_s);
    addEntry(m_windowsMenu, u"mnu_Windows_HomePage"_s, u"主页(&P)"_s);
    connect(m_windowsMenu, &QMenu::aboutToShow, this, &mdiMain::updateWindowList);

    QMenu *help = addSubmenu(u"mnu_Help"_s, u"帮助(&H)"_s);
    addEntry(help, u"mnu_hlp_updata"_s, u"在线升级(&U)"_s);
    addSeparator(help, u"mnu_hlp_s2"_s);
    addEntry(help, u"mnu_hlp_content"_s, u"内容(&C)..."_s);
    addEntry(help, u"mnu_hlp_index"_s, u"索引(&I)..."_s);
    addSeparator(help, u"mnu_hlp_s1"_s);
    addEntry(help, u"mnu_hlp_about"_s, u"关于(&A)..."_s);
}

void mdiMain::buildProductBar()
{
    for (int i = 1; i <= ButtonCount; ++i) {
        const QString tag = buttonTag(i);
        for (ButtonState s : {ButtonState::Normal, ButtonState::Hover, ButtonState::Down})
            m_images.insert(tag + stateName(s), DrawProductPicture(tag, stateName(s), ButtonSize));
    }
    auto *toolBar = new QToolBar(this);
    toolBar->setObjectName(u"tbProduct"_s);
    toolBar->setMovable(false);
    toolBar->setFloatable(false);
    toolBar->toggleViewAction()->setVisible(false);
    toolBar->setContextMenuPolicy(Qt::PreventContextMenu);
    m_bar = new ProductBar(this, toolBar);
    m_bar->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    toolBar->addWidget(m_bar);
    addToolBar(Qt::TopToolBarArea, toolBar);
    for (int i = 1; i <= ButtonCount; ++i) {
        auto *button = new ProductButton(this, i, m_bar);
        button->setToolTip(QString::fromUtf16(kButtons[i - 1].tooltip));
        button->setProperty("tag", buttonTag(i));
        m_buttons[i] = button;
    }
    layoutProductBar();
}

void mdiMain::buildStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(u"sbStatusBar"_s);
    const int stretch[3] = {3, 3, 1};
    for (int i = 0; i < 3; ++i) {
        auto *panel = new QLabel(bar);
        panel->setObjectName(u"sbPanel%1"_s.arg(i + 1));
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setMinimumWidth(i == 2 ? 180 : 120);
        bar->addPermanentWidget(panel, stretch[i]);
        m_panels[i] = panel;
    }
}

void mdiMain::Form_Load()
{
    for (int i = 1; i <= ButtonCount; ++i)
        setPicture(i, ButtonState::Normal);
    m_hovered = 0;
    m_outside = false;
    SetStatusText(QString(), 1);
    SetStatusText(QString(), 2);
    if (!m_station.session)
        return;
    Trap(*m_env.messages, [this] {
        SetStatusText(u"["_s + m_station.session->GetOperatorCode() + u"]"_s
                          + m_station.session->GetOperatorName(),
                      3);
    });
}

// ---------------------------------------------------------------- status bar

void mdiMain::SetStatusText(const QString &text, int panel)
{
    if (panel < 1 || panel > 3)
        return;
    m_panels[panel - 1]->setText(text);
    bool busy = m_busy;
    if (panel == 1)
        busy = !text.isEmpty();
    else if (panel == 2)
        busy = false;
    if (busy != m_busy) {
        m_busy = busy;
        if (busy)
            setCursor(Qt::WaitCursor);
        else
            unsetCursor();
    }
}

QString mdiMain::statusText(int panel) const
{
    return panel >= 1 && panel <= 3 ? m_panels[panel - 1]->text() : QString();
}

bool mdiMain::isBusy() const
{
    return m_busy;
}

// ---------------------------------------------------------------- child windows

void mdiMain::registerScreen(const QString &menuName, ScreenFactory factory)
{
    m_factories.insert(menuName, std::move(factory));
}

void mdiMain::registerAction(const QString &menuName, std::function<void()> action)
{
    m_customActions.insert(menuName, std::move(action));
}

QMdiSubWindow *mdiMain::openChild(const QString &name, const ScreenFactory &factory)
{
    QPointer<QMdiSubWindow> existing = m_children.value(name);
    if (existing) {
        if (existing->isMinimized())
            existing->showNormal();
        else
            existing->show();
        m_mdi->setActiveSubWindow(existing);
        existing->raise();
        return existing;
    }
    QWidget *screen = factory ? factory() : nullptr;
    if (!screen)
        return nullptr;
    QMdiSubWindow *window = m_mdi->addSubWindow(screen);
    window->setObjectName(name + u"_window"_s);
    if (screen->windowIcon().cacheKey() == QApplication::windowIcon().cacheKey())
        window->setWindowIcon(windowIcon());
    window->setAttribute(Qt::WA_DeleteOnClose);
    m_children.insert(name, window);
    window->show();
    m_mdi->setActiveSubWindow(window);
    window->raise();
    return window;
}

QMdiSubWindow *mdiMain::child(const QString &name) const
{
    return m_children.value(name);
}

QAction *mdiMain::menuAction(const QString &name) const
{
    return m_actions.value(name);
}

void mdiMain::menuChosen(const QString &name)
{
    if (const auto custom = m_customActions.find(name); custom != m_customActions.end()) {
        Trap(*m_env.messages, [&] { custom.value()(); });
        return;
    }
    if (const auto factory = m_factories.find(name); factory != m_factories.end()) {
        Trap(*m_env.messages, [&] { openChild(name, factory.value()); });
        return;
    }
    if (name == u"mnu_touch")
        touchScreen();
    else if (name == u"mnu_File_UserInfo")
        userProperties();
    else if (name == u"mnu_File_Export")
        fileCommand([](IListReport &r) { r.ExportFile(); });
    else if (name == u"mnu_File_ExportOpen")
        fileCommand([](IListReport &r) { r.ExportFileOpen(); });
    else if (name == u"mnuFile_Print")
        fileCommand([](IListReport &r) { r.PrintReport(false); });
    else if (name == u"mnuFile_PrintSet")
        fileCommand([](IListReport &r) { r.PrintSet(); });
    else if (name == u"mnuFile_PageSet")
        fileCommand([](IListReport &r) { r.PageSet(); });
    else if (name == u"mnu_File_Exit")
        close();
    else if (name == u"mnu_Windows_Horizontal")
        tileHorizontally();
    else if (name == u"mnu_Windows_Vertical")
        tileVertically();
    else if (name == u"mnu_Windows_Cascade")
        m_mdi->cascadeSubWindows();
    else if (name == u"mnu_Windows_icon")
        arrangeIcons();
    else if (name == u"mnu_hlp_about")
        about();
    // Entries whose screens are not installed do nothing.
}

void mdiMain::touchScreen()
{
    const MsgAnswer answer = m_env.messages->show(
        {u"注意"_s, u"是否进入触摸屏？"_s, MsgIcon::Question, MsgButtons::YesNo}, this);
    if (answer != MsgAnswer::Yes)
        return;
    if (m_touchHook)
        Trap(*m_env.messages, [this] { m_touchHook(); });
}

void mdiMain::userProperties()
{
    Trap(*m_env.messages, [this] {
        SessionService *s = m_station.session;
        if (!s)
            return;
        const QString text = u"操作员代码：%1\n操作员姓名：%2\n车站代码：%3\n单位代码：%4\n单位名称：%5"_s
                                 .arg(s->GetOperatorCode(), s->GetOperatorName(), s->GetStationCode(),
                                      s->GetUnitCode(), s->GetUnitName());
        m_env.messages->show({u"用户属性"_s, text, MsgIcon::Information, MsgButtons::Ok}, this);
    });
}

void mdiMain::about()
{
    m_env.messages->show({u"关于"_s,
                          u"客运站安全门检系统\n版本 %1\n\n驾驶员报班、车况例检、路单签发与出站门检。"_s
                              .arg(QStringLiteral(COACHGATE_VERSION)),
                          MsgIcon::Information, MsgButtons::Ok},
                         this);
}

void mdiMain::fileCommand(const std::function<void(IListReport &)> &call)
{
    // The entries are disabled where the active screen has no list; a
    // failing export says why.
    QMdiSubWindow *active = m_mdi->activeSubWindow();
    IListReport *report = active ? ListReportOf(active->widget()) : nullptr;
    if (!report)
        return;
    Trap(*m_env.messages, [&] { call(*report); });
}

void mdiMain::updateWindowList()
{
    for (QAction *a : std::as_const(m_windowListActions)) {
        m_windowsMenu->removeAction(a);
        a->deleteLater();
    }
    m_windowListActions.clear();
    const QList<QMdiSubWindow *> windows = m_mdi->subWindowList();
    if (windows.isEmpty())
        return;
    m_windowListActions.append(m_windowsMenu->addSeparator());
    int n = 0;
    for (QMdiSubWindow *w : windows) {
        auto *a = m_windowsMenu->addAction(u"&%1 %2"_s.arg(++n).arg(w->windowTitle()));
        a->setCheckable(true);
        a->setChecked(w == m_mdi->activeSubWindow());
        QPointer<QMdiSubWindow> target(w);
        connect(a, &QAction::triggered, this, [this, target] {
            if (target) {
                if (target->isMinimized())
                    target->showNormal();
                m_mdi->setActiveSubWindow(target);
            }
        });
        m_windowListActions.append(a);
    }
}

namespace {
QList<QMdiSubWindow *> arrangeable(QMdiArea *area)
{
    QList<QMdiSubWindow *> list;
    const QList<QMdiSubWindow *> all = area->subWindowList(QMdiArea::CreationOrder);
    for (QMdiSubWindow *w : all)
        if (w->isVisible() && !w->isMinimized())
            list.append(w);
    return list;
}

// The open windows share the frame equally: side by side, or one above the other.
void tile(QMdiArea *mdi, bool sideBySide)
{
    const QList<QMdiSubWindow *> list = arrangeable(mdi);
    if (list.isEmpty())
        return;
    const QRect area = mdi->viewport()->rect();
    const int n = int(list.size());
    const int w = sideBySide ? area.width() / n : area.width();
    const int h = sideBySide ? area.height() : area.height() / n;
    for (int i = 0; i < n; ++i) {
        list[i]->showNormal();
        list[i]->setGeometry(sideBySide ? i * w : 0, sideBySide ? 0 : i * h, w, h);
    }
}
} // namespace

void mdiMain::tileHorizontally()
{
    // One above the other, each the full width of the frame.
    tile(m_mdi, false);
}

void mdiMain::tileVertically()
{
    // Side by side, each the full height of the frame.
    tile(m_mdi, true);
}

void mdiMain::arrangeIcons()
{
    // Minimised windows in a row along the bottom edge.
    const QRect area = m_mdi->viewport()->rect();
    int x = 0;
    const QList<QMdiSubWindow *> all = m_mdi->subWindowList(QMdiArea::CreationOrder);
    for (QMdiSubWindow *w : all) {
        if (!w->isMinimized())
            continue;
        const QSize size = w->size();
        if (x > 0 && x + size.width() > area.width())
            x = 0;
        w->move(x, area.height() - size.height());
        x += size.width();
    }
}

// ---------------------------------------------------------------- product bar

QString mdiMain::buttonTag(int index)
{
    if (index < 1 || index > ButtonCount)
        return QString();
    return QString::fromUtf16(kButtons[index - 1].tag);
}

ProductButton *mdiMain::productButton(int index) const
{
    return index >= 1 && index <= ButtonCount ? m_buttons[index] : nullptr;
}

mdiMain::ButtonState mdiMain::buttonState(int index) const
{
    return index >= 1 && index <= ButtonCount ? m_states[index] : ButtonState::Normal;
}

void mdiMain::setPicture(int index, ButtonState state)
{
    m_states[index] = state;
    m_buttons[index]->setPicture(m_images.value(buttonTag(index) + stateName(state)));
}

void mdiMain::imgProduct_MouseMove(int index)
{
    if (index == m_hovered) {
        m_outside = false;
        return;
    }
    if (!m_outside)
        restoreButtons();
    setPicture(index, ButtonState::Hover);
    m_hovered = index;
    m_outside = false;
}

void mdiMain::restoreButtons()
{
    if (!m_outside) {
        if (m_hovered != 0) {
            setPicture(m_hovered, ButtonState::Normal);
            m_hovered = 0;
        }
        m_outside = true;
    }
}

void mdiMain::imgProduct_MouseDown(int index)
{
    m_outside = false;
    setPicture(index, ButtonState::Down);
}

void mdiMain::imgProduct_MouseUp(int index)
{
    m_outside = false;
    setPicture(index, ButtonState::Normal);
    if (m_buttons[index]->isAvailable())
        runProductAction(index);
}

void mdiMain::runProductAction(int index)
{
    QMdiSubWindow *active = m_mdi->activeSubWindow();
    if (!active || index == 1)
        return;
    Trap(*m_env.messages, [&] {
        switch (index) {
        case 2: {
            // Send the active child to the back; the one before it comes forward.
            const QList<QMdiSubWindow *> order = m_mdi->subWindowList(QMdiArea::StackingOrder);
            for (auto it = order.crbegin(); it != order.crend(); ++it) {
                if (*it != active && (*it)->isVisible()) {
                    m_mdi->setActiveSubWindow(*it);
                    break;
                }
            }
            active->lower();
            return;
        }
        case 3:
            active->close();
            return;
        default:
            break;
        }
        QWidget *screen = active->widget();
        if (auto *report = ListReportOf(screen)) {
            switch (index) {
            case 4: report->ExportFile(); return;
            case 5: report->ExportFileOpen(); return;
            case 6: report->PreView(); return;
            case 7: report->PrintReport(false); return;
            default: return;
            }
        }
        static const char *const signatures[] = {"ExportFile()", "ExportFileOpen()", "PreView()", "PrintReport(bool)"};
        if (screen->metaObject()->indexOfMethod(signatures[index - 4]) < 0)
            throw missingOperation();
        switch (index) {
        case 4: QMetaObject::invokeMethod(screen, "ExportFile"); break;
        case 5: QMetaObject::invokeMethod(screen, "ExportFileOpen"); break;
        case 6: QMetaObject::invokeMethod(screen, "PreView"); break;
        case 7: QMetaObject::invokeMethod(screen, "PrintReport", Q_ARG(bool, false)); break;
        default: break;
        }
    });
}

void mdiMain::layoutProductBar()
{
    if (!m_bar || !m_buttons[1])
        return;
    const int top = (m_bar->height() - ButtonSize) / 2;
    // Buttons 4..7 keep their places at the left.
    int left = 8;
    for (int i = 4; i <= 7; ++i) {
        m_buttons[i]->move(left, top);
        left += ButtonSize + 100 / TwipsPerPixel;
    }
    // Buttons 1..3 at the right end, in twips as the bar was designed.
    const int barTwips = m_bar->width() * TwipsPerPixel;
    const int buttonTwips = ButtonSize * TwipsPerPixel;
    int leftTwips = std::max(7000, barTwips - 3 * buttonTwips - 800);
    for (int i = 1; i <= 3; ++i) {
        m_buttons[i]->move(leftTwips / TwipsPerPixel, top);
        leftTwips += buttonTwips + 100;
    }
}

bool mdiMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show && m_busy && qobject_cast<QMessageBox *>(watched))
        restorePointer();
    if (watched == m_mdi->viewport() && event->type() == QEvent::MouseMove)
        restoreButtons();
    return QMainWindow::eventFilter(watched, event);
}

} // namespace cg
