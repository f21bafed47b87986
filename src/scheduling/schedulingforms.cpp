#include "schedulingforms.h"

#include "frmarrangevehiclemain.h"
#include "frmaddscrollbus.h"
#include "frmscrollbus.h"

#include "stationui/formoffer.h"
#include "widgets/formregistry.h"

using namespace Qt::StringLiterals;

namespace cg {

void RegisterSchedulingForms(FormRegistry &registry, const Env &env, StationContext &station)
{
    OfferForm<frmArrangeVehicleMain>(registry, u"frmArrangeVehicleMain"_s, env, station);
    OfferForm<frmScrollBus>(registry, u"frmScrollBus"_s, env, station);
    OfferForm<frmAddScrollBus>(registry, u"frmAddScrollBus"_s, env, station);
}

} // namespace cg
