#include "reportsforms.h"

#include "frmreportcheck.h"
#include "periodquery.h"

#include "stationui/formoffer.h"
#include "widgets/formregistry.h"

namespace cg {

void RegisterReportForms(FormRegistry &registry, const Env &env, StationContext &station)
{
    OfferForms<frmDriverBus, frmBusForeInfo, frmReportCheck>(registry, env, station);
}

} // namespace cg
