#include "vehiclecheckforms.h"

#include "checklists.h"
#include "stationui/formoffer.h"
#include "widgets/formregistry.h"
#include "frmbasedefine.h"
#include "frmcondcheckitem.h"
#include "frmfacecheck.h"
#include "frmregfacecheck.h"
#include "frmtechcheck.h"

namespace cg {

void RegisterVehicleCheckForms(FormRegistry &registry, const Env &env, StationContext &station)
{
    OfferForms<frmBaseDefine, frmTechCheck, frmFaceCheck, frmRegFaceCheck, frmCondCheckItem, frmTeckCheckList,
               frmFaceCheckList, frmLugCheckList>(registry, env, station);
}

} // namespace cg
