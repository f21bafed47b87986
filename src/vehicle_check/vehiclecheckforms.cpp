#include "vehiclecheckforms.h"

#include "checklists.h"
#include "widgets/formregistry.h"
#include "frmbasedefine.h"
#include "frmcondcheckitem.h"
#include "frmfacecheck.h"
#include "frmregfacecheck.h"
#include "frmtechcheck.h"

using namespace Qt::StringLiterals;

namespace cg {

namespace {
template <typename Form>
void offer(FormRegistry &registry, const QString &name, const Env &env, StationContext &station)
{
    StationContext *st = &station;
    registry.add(name, [env, st](QWidget *parent) -> QWidget * { return new Form(env, *st, parent); });
}
} // namespace

void RegisterVehicleCheckForms(FormRegistry &registry, const Env &env, StationContext &station)
{
    offer<frmBaseDefine>(registry, u"frmBaseDefine"_s, env, station);
    offer<frmTechCheck>(registry, u"frmTechCheck"_s, env, station);
    offer<frmFaceCheck>(registry, u"frmFaceCheck"_s, env, station);
    offer<frmRegFaceCheck>(registry, u"frmRegFaceCheck"_s, env, station);
    offer<frmCondCheckItem>(registry, u"frmCondCheckItem"_s, env, station);
    offer<frmTeckCheckList>(registry, u"frmTeckCheckList"_s, env, station);
    offer<frmFaceCheckList>(registry, u"frmFaceCheckList"_s, env, station);
    offer<frmLugCheckList>(registry, u"frmLugCheckList"_s, env, station);
}

} // namespace cg
