#pragma once

#include "widgets/env.h"
#include "widgets/listreport.h"

#include <QHash>
#include <QMainWindow>
#include <QPixmap>
#include <QPointer>

#include <array>
#include <functional>

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

namespace cg {

struct StationContext;
class mdiMain;

// One picture button of the product bar. It draws the picture its owner
// chose and passes pointer events to the owner's state machine.
class ProductButton : public QWidget {
    Q_OBJECT
public:
    ProductButton(mdiMain *owner, int index, QWidget *parent);
    int index() const { return m_index; }
    void setPicture(const QPixmap &picture);
    QSize sizeHint() const override;
    // Whether the button has something to do for the active screen.
    void setAvailable(bool available);
    bool isAvailable() const { return m_available; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    mdiMain *m_owner;
    int m_index;
    QPixmap m_picture;
    bool m_available = true;
};

// The bar itself: its background takes part in the hover state machine and
// it lays the buttons out whenever it is resized.
class ProductBar : public QWidget {
    Q_OBJECT
public:
    ProductBar(mdiMain *owner, QWidget *parent);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    mdiMain *m_owner;
};

// The workstation's main window: the station screens open inside it as
// child windows, the product bar navigates and exports, and the status bar
// reports progress for every screen.
class mdiMain : public QMainWindow, public StatusSink {
    Q_OBJECT
public:
    enum class ButtonState { Normal, Hover, Down };
    using ScreenFactory = std::function<QWidget *()>;

    static constexpr int ButtonCount = 7;
    static constexpr int ButtonSize = 34;   // pixels, square
    static constexpr int TwipsPerPixel = 15; // at 96 dpi

    mdiMain(const Env &env, StationContext &station, QWidget *parent = nullptr);
    ~mdiMain() override;

    // Status bar: panel 1 progress (non-empty shows the hourglass, empty
    // restores the pointer), panel 2 result (restores the pointer), panel 3
    // the operator.
    void SetStatusText(const QString &text, int panel) override;
    QString statusText(int panel) const;
    bool isBusy() const;
    // The normal pointer again, the panels' texts kept (a message box is
    // never shown under the hourglass).
    void restorePointer();

    // Menu entries that open a child window: the factory builds the screen
    // the first time; later choices bring the same window forward.
    void registerScreen(const QString &menuName, ScreenFactory factory);
    // Menu entries with their own action (modal dialogs and the like).
    void registerAction(const QString &menuName, std::function<void()> action);
    // What 触摸屏 does once the operator answered Yes.
    void setTouchScreenHook(std::function<void()> hook) { m_touchHook = std::move(hook); }

    QMdiSubWindow *openChild(const QString &name, const ScreenFactory &factory);
    QMdiSubWindow *child(const QString &name) const;
    QMdiArea *mdiArea() const { return m_mdi; }
    QAction *menuAction(const QString &name) const;

    // Product bar (buttons 1..7).
    ButtonState buttonState(int index) const;
    int hoveredIndex() const { return m_hovered; }
    bool pointerOutside() const { return m_outside; }
    ProductButton *productButton(int index) const;
    ProductBar *productBar() const { return m_bar; }
    static QString buttonTag(int index);
    // The picture drawn for tag + "Normal" / "Hover" / "Down".
    QPixmap picture(const QString &key) const { return m_images.value(key); }

    // The hover state machine, fed by the bar, its buttons and the frame.
    void imgProduct_MouseMove(int index);
    void imgProduct_MouseDown(int index);
    void imgProduct_MouseUp(int index);
    void restoreButtons();
    void layoutProductBar();
    void runProductAction(int index);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    void buildProductBar();
    void buildStatusBar();
    void Form_Load();
    QAction *addEntry(QWidget *menu, const QString &name, const QString &caption, bool hidden = false);
    QAction *addSeparator(QWidget *menu, const QString &name, bool hidden = false);
    QMenu *addSubmenu(const QString &name, const QString &caption);
    void menuChosen(const QString &name);
    void touchScreen();
    void userProperties();
    void about();
    void fileCommand(const std::function<void(IListReport &)> &call);
    void updateWindowList();
    // Export and print entries follow the active screen: enabled where it
    // has a list to export (and something to print).
    void updateReportEntries();
    void tileHorizontally();
    void tileVertically();
    void arrangeIcons();
    void setPicture(int index, ButtonState state);

    const Env &m_env;
    StationContext &m_station;
    QMdiArea *m_mdi = nullptr;
    ProductBar *m_bar = nullptr;
    QMenu *m_windowsMenu = nullptr;
    QList<QAction *> m_windowListActions;
    std::array<ProductButton *, ButtonCount + 1> m_buttons{};
    std::array<ButtonState, ButtonCount + 1> m_states{};
    QHash<QString, QPixmap> m_images;
    QHash<QString, QAction *> m_actions;
    QHash<QString, ScreenFactory> m_factories;
    QHash<QString, std::function<void()>> m_customActions;
    QHash<QString, QPointer<QMdiSubWindow>> m_children;
    std::function<void()> m_touchHook;
    std::array<QLabel *, 3> m_panels{};
    int m_hovered = 0;
    bool m_outside = false;
    bool m_busy = false;
};

} // namespace cg
