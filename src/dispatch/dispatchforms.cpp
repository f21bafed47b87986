#include "dispatchforms.h"

#include "common/formregistry.h"

namespace cg {

void RegisterDispatchForms(FormRegistry &registry, const Env &env, StationContext &station)
{
    Q_UNUSED(registry);
    Q_UNUSED(env);
    Q_UNUSED(station);
}

} // namespace cg
