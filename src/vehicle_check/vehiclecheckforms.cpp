#include "vehiclecheckforms.h"

#include "common/formregistry.h"
#include "frmbasedefine.h"

namespace cg {

void RegisterVehicleCheckForms(FormRegistry &registry, const Env &env, StationContext &station)
{
    StationContext *st = &station;
    registry.add(QStringLiteral("frmBaseDefine"),
                 [env, st](QWidget *parent) -> QWidget * { return new frmBaseDefine(env, *st, parent); });
}

} // namespace cg
