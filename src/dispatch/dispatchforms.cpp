#include "dispatchforms.h"

#include "widgets/env.h"
#include "widgets/formregistry.h"
#include "frmenvbusdesk.h"
#include "frmoutcheck.h"
#include "frmprintsheet.h"
#include "stationui/stationcontext.h"

using namespace Qt::StringLiterals;

namespace cg {

void RegisterDispatchForms(FormRegistry &registry, const Env &env, StationContext &station)
{
    // The departure gate.
    registry.add(u"frmOutCheck"_s,
                 [env, &station](QWidget *parent) -> QWidget * { return new frmOutCheck(env, station, parent); });
    // The dispatch centre, a menu screen, and the route / check sheet print
    // dialog (the condition check station opens it by name).
    registry.add(u"frmEnvBusDesk"_s,
                 [env, &station](QWidget *parent) -> QWidget * { return new frmEnvBusDesk(env, station, parent); });
    registry.add(u"frmPrintSheet"_s,
                 [env, &station](QWidget *parent) -> QWidget * { return new frmPrintSheet(env, station, parent); });
}

} // namespace cg
