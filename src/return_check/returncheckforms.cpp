#include "returncheckforms.h"

#include "frmreturncheck.h"
#include "widgets/formregistry.h"

using namespace Qt::StringLiterals;

namespace cg {

void RegisterReturnCheckForms(FormRegistry &registry, const Env &env, StationContext &station)
{
    StationContext *st = &station;
    registry.add(u"frmReturnCheck"_s,
                 [env, st](QWidget *parent) -> QWidget * { return new frmReturnCheck(env, *st, parent); });
}

} // namespace cg
