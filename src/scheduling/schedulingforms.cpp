#include "schedulingforms.h"

#include "frmarrangevehiclemain.h"
#include "frmaddscrollbus.h"
#include "frmscrollbus.h"

#include "stationui/formoffer.h"
#include "widgets/formregistry.h"

namespace cg {

void RegisterSchedulingForms(FormRegistry &registry, const Env &env, StationContext &station)
{
    OfferForms<frmArrangeVehicleMain, frmScrollBus, frmAddScrollBus>(registry, env, station);
}

} // namespace cg
