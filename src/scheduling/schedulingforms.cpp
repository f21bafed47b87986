#include "schedulingforms.h"

#include "stationui/formoffer.h"
#include "widgets/formregistry.h"

using namespace Qt::StringLiterals;

namespace cg {

void RegisterSchedulingForms(FormRegistry &registry, const Env &env, StationContext &station)
{
    (void)registry;
    (void)env;
    (void)station;
}

} // namespace cg
