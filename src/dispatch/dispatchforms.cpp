#include "dispatchforms.h"

#include "widgets/env.h"
#include "stationui/formoffer.h"
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
    OfferForm<frmOutCheck>(registry, u"frmOutCheck"_s, env, station);
    // The dispatch centre, a menu screen, and the route / check sheet print
    // dialog (the condition check station opens it by name).
    OfferForm<frmEnvBusDesk>(registry, u"frmEnvBusDesk"_s, env, station);
    OfferForm<frmPrintSheet>(registry, u"frmPrintSheet"_s, env, station);
}

} // namespace cg
