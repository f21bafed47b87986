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
#include "services/station/coreservices.h"
#include "services/fingerprint/simulatedfingerprintengine.h"
#include "stationui/stationcontext.h"
#include "vehicle_check/vehiclecheckforms.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QPointer>
#include <QRandomGenerator>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

// What the main window keeps for the station screens: the forms of every
// screen library by name and the machine's fingerprint reader.
class ScreenHub : public QObject {
public:
    explicit ScreenHub(QObject *parent) : QObject(parent)
    {
        setObjectName(u"cgScreenHub"_s);
        // No vendor reader driver is installed: the workstation uses the
        // simulated reader, pressed through its "模拟指纹仪" window.
        reader = new SimulatedFingerReader(QRandomGenerator::global()->generate64(), this);
        SetSimulatedReader(reader);
        // A modal screen blocks every window outside its own family, so the
        // reader's window follows whichever modal screen is on top.
        auto *follow = new QTimer(this);
        follow->setInterval(300);
        connect(follow, &QTimer::timeout, this, &ScreenHub::followModal);
        follow->start();
    }
    ~ScreenHub() override { SetSimulatedReader(nullptr); }

    FormRegistry registry;
    SimulatedFingerReader *reader = nullptr;
    QPointer<QWidget> checkIn;
    QPointer<QWidget> simulator;

private:
    void followModal()
    {
        if (!simulator || !simulator->isVisible())
            return;
        QWidget *modal = QApplication::activeModalWidget();
        if (modal == simulator->parentWidget() || modal == simulator)
            return;
        const QPoint pos = simulator->pos();
        simulator->setParent(modal, Qt::Tool | Qt::WindowStaysOnTopHint);
        simulator->move(pos);
        simulator->show();
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

void showSimulator(ScreenHub &hub, QWidget *anchor)
{
    if (!hub.simulator) {
        hub.simulator = hub.registry.create(u"frmFingerprintSimulator"_s, nullptr);
        if (!hub.simulator)
            return;
        hub.simulator->setAttribute(Qt::WA_DeleteOnClose);
        hub.simulator->setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint);
        if (anchor)
            hub.simulator->move(anchor->geometry().topRight() - QPoint(hub.simulator->sizeHint().width() + 20, -60));
    }
    hub.simulator->show();
    hub.simulator->raise();
}

} // namespace

void RegisterScreens(mdiMain &window, const Env &env, StationContext &station)
{
    auto *hub = new ScreenHub(&window);
    RegisterDriverCheckForms(hub->registry, env, station);
    RegisterDispatchForms(hub->registry, env, station);
    RegisterVehicleCheckForms(hub->registry, env, station);
    RegisterMasterDataForms(hub->registry, env, station);

    station.openForm = [hub, &station](QWidget *parent, const QString &form, const QVariantMap &members) {
        if (form == u"frmCheckPass"_s)
            return runCheckPass(parent, station, members);
        return hub->registry.runModal(parent, form, members);
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
    // 车容门检: the appearance check station, shown modally.
    window.registerAction(u"mnu_check_face"_s, [hub, &window] {
        hub->registry.runModal(&window, u"frmFaceCheck"_s, {});
    });
    // 触摸屏 answered Yes: the check-in station comes to the front, not modal.
    window.setTouchScreenHook([hub, &window] {
        if (!hub->checkIn) {
            hub->checkIn = hub->registry.create(u"frmDriverVerify"_s, &window);
            if (!hub->checkIn)
                return;
            hub->checkIn->setAttribute(Qt::WA_DeleteOnClose);
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
        hub->checkIn = dialog;
        dialog->setWindowState(dialog->windowState() | Qt::WindowFullScreen);
        // Once the station is up, the reader's window joins it.
        QTimer::singleShot(0, hub, [hub, &window] { showSimulator(*hub, &window); });
        dialog->exec();
        delete dialog;
    };
}

} // namespace cg
