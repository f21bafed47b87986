#include "masterdataforms.h"

#include "frmdriver.h"
#include "frmdrivermain.h"
#include "frmvehicle.h"
#include "frmvehiclemain.h"

#include "stationui/formoffer.h"
#include "widgets/formregistry.h"

namespace cg {

void RegisterMasterDataForms(FormRegistry &registry, const Env &env, StationContext &station)
{
    OfferForms<frmDriverMain, frmDriver, frmVehicleMain, frmVehicle>(registry, env, station);
}

} // namespace cg
