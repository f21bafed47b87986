#include "reportsforms.h"

#include "frmreportcheck.h"
#include "periodquery.h"

#include "widgets/formregistry.h"

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

void RegisterReportForms(FormRegistry &registry, const Env &env, StationContext &station)
{
    offer<frmDriverBus>(registry, u"frmDriverBus"_s, env, station);
    offer<frmBusForeInfo>(registry, u"frmBusForeInfo"_s, env, station);
    offer<frmReportCheck>(registry, u"frmReportCheck"_s, env, station);
}

} // namespace cg
