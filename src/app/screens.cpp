#include "screens.h"

#include "frmsysparam.h"
#include "mainwindow.h"
#include "services/coreservices.h"
#include "services/station.h"
#include "sysparamstore.h"

namespace cg {

void RegisterScreens(mdiMain &window, const Env &env, StationContext &station)
{
    // 系统设置: the system parameters, modal, with its own service object.
    window.registerAction(QStringLiteral("m4"), [&window, &env, &station] {
        if (!station.db)
            return;
        DefinitionService service(*station.db);
        ServiceSysParamStore store(service, station.context);
        frmSysParam dialog(env, store, &window);
        dialog.exec();
    });

    // Station screens register here as they arrive, for example
    //   window.registerScreen(QStringLiteral("m6"), [&] { return new frmDriverMain(env, station); });
}

std::function<void(mdiMain &, StationContext &)> CheckInStation(const Env &env)
{
    Q_UNUSED(env);
    return {};
}

} // namespace cg
