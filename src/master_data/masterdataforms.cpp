#include "masterdataforms.h"

#include "frmdriver.h"
#include "frmdrivermain.h"
#include "frmvehicle.h"
#include "frmvehiclemain.h"

#include "stationui/formoffer.h"
#include "widgets/formregistry.h"

using namespace Qt::StringLiterals;

namespace cg {

void RegisterMasterDataForms(FormRegistry &registry, const Env &env, StationContext &station)
{
    OfferForm<frmDriverMain>(registry, u"frmDriverMain"_s, env, station);
    OfferForm<frmDriver>(registry, u"frmDriver"_s, env, station);
    OfferForm<frmVehicleMain>(registry, u"frmVehicleMain"_s, env, station);
    OfferForm<frmVehicle>(registry, u"frmVehicle"_s, env, station);
}

} // namespace cg
