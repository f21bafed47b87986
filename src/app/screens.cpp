#include "screens.h"

#include "frmcheckpass.h"
#include "frmsysparam.h"
#include "mainwindow.h"
#include "sysparamstore.h"

#include "widgets/formregistry.h"
#include "dispatch/dispatchforms.h"
#include "driver_check/drivercheckforms.h"
#include "driver_check/fingerprintsimulator.h"
#include "master_data/masterdataforms.h"
#include "scheduling/schedulingforms.h"
#include "return_check/returncheckforms.h"
#include "reports/reportsforms.h"
#include "services/station/coreservices.h"
#include "services/fingerprint/simulatedfingerprintengine.h"
#include "stationui/stationcontext.h"
#include "vehicle_check/vehiclecheckforms.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QPushButton>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <QTimer>
#include <QPointer>
#include <QRandomGenerator>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

// What the main window keeps for the station screens: the forms of every
// screen library by name and the machine's fingerprint reader. The reader
// and its window belong to the workstation: no screen or dialog owns them,
// so they live exactly as long as the main window.
class ScreenHub : public QObject {
public:
    ScreenHub(QObject *parent, FingerReaderKind kind) : QObject(parent)
    {
        setObjectName(u"cgScreenHub"_s);
        reader = new SimulatedFingerReader(QRandomGenerator::global()->generate64(), this);
        if (kind == FingerReaderKind::Simulated) {
            // No vendor reader driver is installed: the simulated reader,
            // pressed through its "模拟指纹仪" window.
            SetSimulatedReader(reader);
            auto *follow = new QTimer(this);
            follow->setInterval(200);
            connect(follow, &QTimer::timeout, this, &ScreenHub::followModal);
            follow->start();
        } else {
            // No reader configured: the stations find none connected.
            reader->setState(SimulatedFingerReader::State::Disconnected);
        }
    }
    ~ScreenHub() override
    {
        delete simulator.data();
        if (SimulatedReader() == reader)
            SetSimulatedReader(nullptr);
    }

    FormRegistry registry;
    SimulatedFingerReader *reader = nullptr;
    QPointer<QWidget> checkIn;
    QPointer<QWidget> simulator; // parentless; deleted with the hub
    // The screens other screens show non-modal, one window per form name
    // (children of the main window).
    QHash<QString, QPointer<QWidget>> modeless;

    // The moment a modal screen blocks the reader's window, it joins that
    // screen's family, so a press right after the screen opens is not lost.
    // The call is queued: the blocking is still being worked out when the
    // event arrives. The timer stays as the backstop for a modal that closes.
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == simulator && event->type() == QEvent::WindowBlocked)
            QMetaObject::invokeMethod(this, &ScreenHub::followModal, Qt::QueuedConnection);
        return QObject::eventFilter(watched, event);
    }

    // A modal screen blocks every window outside its own family. The
    // reader's window joins the family of whichever modal window is on top
    // as a transient, never as a child: a closing dialog cannot take it along.
    void followModal()
    {
        if (!simulator || !simulator->isVisible() || !simulator->windowHandle())
            return;
        QWidget *modal = QApplication::activeModalWidget();
        QWindow *target = modal && modal != simulator ? modal->windowHandle() : nullptr;
        if (simulator->windowHandle()->transientParent() != target)
            simulator->windowHandle()->setTransientParent(target);
    }
};

ScreenHub *hubOf(mdiMain &window)
{
    // The hub has no meta-object of its own: find it by name, check its type.
    return dynamic_cast<ScreenHub *>(window.findChild<QObject *>(u"cgScreenHub"_s, Qt::FindDirectChildrenOnly));
}

// The exit-password dialog lives in this library; screens open it by name.
QVariantMap runCheckPass(QWidget *parent, const StationContext &station, const QVariantMap &members)
{
    frmCheckPass dialog(station.params.ExitPassword, parent);
    dialog.m_szParentForm = members.value(u"m_szParentForm"_s).toString();
    dialog.exec();
    return {{u"m_ok"_s, dialog.m_ok}, {u"m_szParentForm"_s, dialog.m_szParentForm}};
}

// Shows the simulated reader's window (when the workstation has one),
// creating it the first time. Closing it only hides it.
void showSimulator(ScreenHub &hub, QWidget *anchor)
{
    if (SimulatedReader() != hub.reader)
        return;
    if (!hub.simulator) {
        hub.simulator = hub.registry.create(u"frmFingerprintSimulator"_s, nullptr);
        if (!hub.simulator)
            return;
        hub.simulator->setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint);
        hub.simulator->installEventFilter(&hub);
        // Low in the middle of the screen: over the list's middle columns,
        // clear of the station's 确认 column and its buttons.
        const QScreen *screen = anchor ? anchor->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            const QRect area = screen->availableGeometry();
            const QSize size = hub.simulator->size().boundedTo(area.size());
            hub.simulator->move(area.center().x() - size.width() / 2,
                                qMax(area.top(), area.bottom() - size.height() - 110));
        }
    }
    hub.simulator->show();
    hub.simulator->raise();
    hub.followModal();
}

// The check-in station's 刷新指纹 reloads the drivers' fingers: the
// reader's window comes back (and lists the drivers anew) with it.
void attachCheckIn(ScreenHub &hub, QWidget *station)
{
    hub.checkIn = station;
    if (auto *refresh = station->findChild<QPushButton *>(u"cmdRefreshFinger"_s)) {
        QObject::connect(refresh, &QPushButton::clicked, &hub, [&hub] {
            if (hub.simulator)
                if (auto *sim = qobject_cast<FingerprintSimulator *>(hub.simulator.data()))
                    sim->reloadDrivers();
            showSimulator(hub, hub.checkIn);
        });
    }
}

} // namespace

void RegisterEveryForm(FormRegistry &registry, const Env &env, StationContext &station)
{
    RegisterDriverCheckForms(registry, env, station);
    RegisterDispatchForms(registry, env, station);
    RegisterVehicleCheckForms(registry, env, station);
    RegisterMasterDataForms(registry, env, station);
    RegisterSchedulingForms(registry, env, station);
    RegisterReturnCheckForms(registry, env, station);
    RegisterReportForms(registry, env, station);
}

void RegisterScreens(mdiMain &window, const Env &env, StationContext &station, FingerReaderKind reader,
                     const std::function<void(FormRegistry &)> &moreForms)
{
    auto *hub = new ScreenHub(&window, reader);
    RegisterEveryForm(hub->registry, env, station);
    if (moreForms)
        moreForms(hub->registry);

    station.openForm = [hub, &station](QWidget *parent, const QString &form, const QVariantMap &members) {
        if (form == u"frmCheckPass"_s)
            return runCheckPass(parent, station, members);
        return hub->registry.runModal(parent, form, members);
    };
    station.showForm = [hub, &window](QWidget *, const QString &form, const QVariantMap &members) -> QWidget * {
        QPointer<QWidget> &shown = hub->modeless[form];
        if (!shown) {
            // A window of its own over the main window, closed with it.
            shown = hub->registry.create(form, &window);
            if (!shown) {
                hub->modeless.remove(form);
                return nullptr;
            }
            shown->setWindowFlag(Qt::Window);
        }
        QWidget *w = shown;
        for (auto it = members.constBegin(); it != members.constEnd(); ++it)
            w->setProperty(it.key().toLatin1().constData(), it.value());
        // Each request runs the form's opening steps for the members just set.
        if (w->metaObject()->indexOfMethod("Open()") >= 0)
            QMetaObject::invokeMethod(w, "Open");
        if (w->isMinimized())
            w->showNormal();
        else
            w->show();
        w->raise();
        w->activateWindow();
        return w;
    };
    station.hasForm = [hub](const QString &form) {
        return form == u"frmCheckPass"_s || hub->registry.contains(form);
    };
    station.makeFingerprintEngine = [hub](QObject *parent) -> FingerprintEngine * {
        return new SimulatedFingerprintEngine(hub->reader, parent);
    };

    // 系统设置: the system parameters, modal, with its own service object.
    window.registerAction(u"m4"_s, [&window, &env, &station] {
        if (!station.db)
            return;
        DefinitionService service(*station.db);
        ServiceSysParamStore store(service, station.context);
        frmSysParam dialog(env, store, &window);
        dialog.exec();
    });

    // Station screens: child windows of the main window, one each.
    const struct { const char16_t *menu; const char16_t *form; } children[] = {
        {u"mnu_check_cond", u"frmTechCheck"},
        {u"mnu_center", u"frmEnvBusDesk"},
        {u"mnu_check_exit", u"frmOutCheck"},
        {u"m7", u"frmBaseDefine"},
        {u"m6", u"frmDriverMain"},
    };
    for (const auto &c : children) {
        const QString form = QString::fromUtf16(c.form);
        window.registerScreen(QString::fromUtf16(c.menu),
                              [hub, form]() -> QWidget * { return hub->registry.create(form, nullptr); });
    }
    // Screens built in later folders: their entries light up as soon as a
    // library registers the form, and stay disabled until then.
    const struct { const char16_t *menu; const char16_t *form; } later[] = {
        {u"m5", u"frmVehicleMain"},  {u"m6", u"frmDriverMain"}, {u"m13", u"frmDriverBus"},
        {u"m14", u"frmBusForeInfo"}, {u"mnu_Report", u"frmReportCheck"}, {u"m11", u"frmArrangeVehicleMain"},
        {u"m15", u"frmScrollBus"},   {u"mnu_return", u"frmReturnCheck"},
    };
    for (const auto &c : later) {
        const QString form = QString::fromUtf16(c.form);
        const QString menu = QString::fromUtf16(c.menu);
        const bool built = hub->registry.contains(form);
        if (QAction *entry = window.menuAction(menu)) {
            entry->setEnabled(built);
            if (!built)
                entry->setToolTip(u"此功能尚未安装"_s);
        }
        if (!built)
            continue;
        if (menu == u"m5") {
            // 车辆管理 opens the register of every vehicle kind.
            window.registerScreen(menu, [hub, form]() -> QWidget * {
                QWidget *w = hub->registry.create(form, nullptr);
                if (w)
                    w->setProperty("m_szType", u"9"_s);
                return w;
            });
        } else {
            window.registerScreen(menu, [hub, form]() -> QWidget * { return hub->registry.create(form, nullptr); });
        }
    }
    // 车容门检: the appearance check station, shown modally.
    window.registerAction(u"mnu_check_face"_s, [hub, &window] {
        hub->registry.runModal(&window, u"frmFaceCheck"_s, {});
    });
    // 触摸屏 answered Yes: the check-in station comes to the front, not modal.
    window.setTouchScreenHook([hub, &window] {
        if (!hub->checkIn) {
            QWidget *station = hub->registry.create(u"frmDriverVerify"_s, &window);
            if (!station)
                return;
            station->setAttribute(Qt::WA_DeleteOnClose);
            attachCheckIn(*hub, station);
        }
        hub->checkIn->showFullScreen();
        hub->checkIn->raise();
        hub->checkIn->activateWindow();
        showSimulator(*hub, hub->checkIn);
    });
}

std::function<void(mdiMain &, StationContext &)> CheckInStation(const Env &env)
{
    Q_UNUSED(env);
    // Start-up shows the check-in station modally once the main window is
    // up, and goes on when it has been closed with the exit password.
    return [](mdiMain &window, StationContext &) {
        ScreenHub *hub = hubOf(window);
        if (!hub)
            return;
        auto *dialog = qobject_cast<QDialog *>(hub->registry.create(u"frmDriverVerify"_s, &window));
        if (!dialog)
            return;
        attachCheckIn(*hub, dialog);
        dialog->setWindowState(dialog->windowState() | Qt::WindowFullScreen);
        // Once the station is up, the reader's window joins it.
        QTimer::singleShot(0, hub, [hub, &window] { showSimulator(*hub, &window); });
        dialog->exec();
        delete dialog;
    };
}

} // namespace cg
