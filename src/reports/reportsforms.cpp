#include "reportsforms.h"

#include "frmreportcheck.h"
#include "periodquery.h"

#include "stationui/formoffer.h"
#include "widgets/formregistry.h"

using namespace Qt::StringLiterals;

namespace cg {

void RegisterReportForms(FormRegistry &registry, const Env &env, StationContext &station)
{
    OfferForm<frmDriverBus>(registry, u"frmDriverBus"_s, env, station);
    OfferForm<frmBusForeInfo>(registry, u"frmBusForeInfo"_s, env, station);
    OfferForm<frmReportCheck>(registry, u"frmReportCheck"_s, env, station);
}

} // namespace cg
