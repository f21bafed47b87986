#include "vehiclecheckforms.h"

#include "checklists.h"
#include "stationui/formoffer.h"
#include "widgets/formregistry.h"
#include "frmbasedefine.h"
#include "frmcondcheckitem.h"
#include "frmfacecheck.h"
#include "frmregfacecheck.h"
#include "frmtechcheck.h"

using namespace Qt::StringLiterals;

namespace cg {

void RegisterVehicleCheckForms(FormRegistry &registry, const Env &env, StationContext &station)
{
    OfferForm<frmBaseDefine>(registry, u"frmBaseDefine"_s, env, station);
    OfferForm<frmTechCheck>(registry, u"frmTechCheck"_s, env, station);
    OfferForm<frmFaceCheck>(registry, u"frmFaceCheck"_s, env, station);
    OfferForm<frmRegFaceCheck>(registry, u"frmRegFaceCheck"_s, env, station);
    OfferForm<frmCondCheckItem>(registry, u"frmCondCheckItem"_s, env, station);
    OfferForm<frmTeckCheckList>(registry, u"frmTeckCheckList"_s, env, station);
    OfferForm<frmFaceCheckList>(registry, u"frmFaceCheckList"_s, env, station);
    OfferForm<frmLugCheckList>(registry, u"frmLugCheckList"_s, env, station);
}

} // namespace cg
