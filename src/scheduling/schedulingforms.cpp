#include "schedulingforms.h"

#include "frmarrangevehiclemain.h"

#include "stationui/formoffer.h"
#include "widgets/formregistry.h"

using namespace Qt::StringLiterals;

namespace cg {

void RegisterSchedulingForms(FormRegistry &registry, const Env &env, StationContext &station)
{
    OfferForm<frmArrangeVehicleMain>(registry, u"frmArrangeVehicleMain"_s, env, station);
}

} // namespace cg
