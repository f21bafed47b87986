#include "returncheckforms.h"

#include "frmreturncheck.h"
#include "stationui/formoffer.h"
#include "widgets/formregistry.h"

namespace cg {

void RegisterReturnCheckForms(FormRegistry &registry, const Env &env, StationContext &station)
{
    OfferForms<frmReturnCheck>(registry, env, station);
}

} // namespace cg
