#include "dispatchforms.h"

#include "widgets/env.h"
#include "stationui/formoffer.h"
#include "widgets/formregistry.h"
#include "frmenvbusdesk.h"
#include "frmoutcheck.h"
#include "frmprintsheet.h"
#include "stationui/stationcontext.h"

namespace cg {

void RegisterDispatchForms(FormRegistry &registry, const Env &env, StationContext &station)
{
    // The departure gate, the dispatch centre (a menu screen), and the
    // route / check sheet print dialog (the condition check station opens
    // it by name).
    OfferForms<frmOutCheck, frmEnvBusDesk, frmPrintSheet>(registry, env, station);
}

} // namespace cg
