#include "drivercheckforms.h"

#include "widgets/env.h"
#include "stationui/formoffer.h"
#include "widgets/formregistry.h"
#include "fingerprintsimulator.h"
#include "frmcheckinfo.h"
#include "frmdriverchecklist.h"
#include "frmdriverlist.h"
#include "frmdriververify.h"
#include "services/masterdata/driverservice.h"
#include "stationui/stationcontext.h"

using namespace Qt::StringLiterals;

namespace cg {

void RegisterDriverCheckForms(FormRegistry &registry, const Env &env, StationContext &station)
{
    // The touch check-in station, and in demo mode the simulated reader's
    // window to press the enrolled drivers' fingers.
    OfferForms<frmDriverVerify>(registry, env, station);
    registry.add(u"frmFingerprintSimulator"_s, [env, &station](QWidget *parent) -> QWidget * {
        SimulatedFingerReader *reader = SimulatedReader();
        if (!reader || !station.db)
            return nullptr;
        auto source = [env, &station] {
            DriverService drivers(*station.db, *env.clock);
            return drivers.QueryDrivers(station.context, QString(), QString());
        };
        auto *simulator = new FingerprintSimulator(reader, source(), parent);
        simulator->setDriverSource(source);
        return simulator;
    });
    // The boarding confirmation the departure gate opens, the check-in
    // records of a trip (the gate and the dispatch centre) and the forced
    // driver pass the records lead on to.
    OfferForms<frmCheckInfo, frmDriverCheckList, frmDriverList>(registry, env, station);
}

} // namespace cg
