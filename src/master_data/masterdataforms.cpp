#include "masterdataforms.h"

#include "frmdriver.h"
#include "frmdrivermain.h"

#include "widgets/formregistry.h"

using namespace Qt::StringLiterals;

namespace cg {

void RegisterMasterDataForms(FormRegistry &registry, const Env &env, StationContext &station)
{
    StationContext *st = &station;
    registry.add(u"frmDriverMain"_s,
                 [env, st](QWidget *parent) -> QWidget * { return new frmDriverMain(env, *st, parent); });
    registry.add(u"frmDriver"_s, [env, st](QWidget *parent) -> QWidget * { return new frmDriver(env, *st, parent); });
}

} // namespace cg
