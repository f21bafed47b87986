#include "returncheckforms.h"

#include "frmreturncheck.h"
#include "stationui/formoffer.h"
#include "widgets/formregistry.h"

using namespace Qt::StringLiterals;

namespace cg {

void RegisterReturnCheckForms(FormRegistry &registry, const Env &env, StationContext &station)
{
    OfferForm<frmReturnCheck>(registry, u"frmReturnCheck"_s, env, station);
}

} // namespace cg
