// The master-data screens: the driver register and record (with a fresh
// enrolment under way), the vehicle register and the vehicle record.

#include "shots.h"

#include "master_data/frmdriver.h"
#include "master_data/frmdrivermain.h"
#include "master_data/frmvehicle.h"
#include "master_data/frmvehiclemain.h"
#include "services/fingerprint/simulatedfingerprintengine.h"
#include "widgets/grid.h"

#include <QApplication>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace cg::shots {

namespace {
void save(QWidget *w, const QString &path)
{
    QApplication::processEvents();
    w->grab().save(path);
}
} // namespace

int shotsMasterData(ShotStation &s)
{
    SimulatedFingerReader reader(3);
    StationContext station = s.station;
    station.makeFingerprintEngine = [&reader](QObject *parent) -> FingerprintEngine * {
        return new SimulatedFingerprintEngine(&reader, parent);
    };

    frmDriverMain drivers(s.env, station);
    drivers.resize(1000, 560);
    drivers.show();
    drivers.cmdQuery->click();
    drivers.vsList->setCurrent(2, 1);
    drivers.vsList->scrollToTop();
    save(&drivers, s.outDir + u"/frmDriverMain.png"_s);
    drivers.cmdEdit->click();
    frmDriver *driver = drivers.recordScreen();
    if (!driver)
        return 1;
    // The driver's formal finger pressed once more: a fresh enrolment.
    driver->cmdEnrol_Click();
    reader.press(driver->m_szID + u"/formal"_s);
    save(driver, s.outDir + u"/frmDriver.png"_s);
    driver->close();
    drivers.close();

    frmVehicleMain vehicles(s.env, station);
    vehicles.resize(1180, 560);
    vehicles.show();
    vehicles.cmdQuery->click();
    vehicles.vsList->setCurrent(1, 1);
    vehicles.vsList->scrollToTop();
    save(&vehicles, s.outDir + u"/frmVehicleMain.png"_s);
    vehicles.cmdEdit->click();
    frmVehicle *vehicle = vehicles.recordScreen();
    if (!vehicle)
        return 1;
    save(vehicle, s.outDir + u"/frmVehicle.png"_s);
    vehicle->close();
    vehicles.close();
    return 0;
}

} // namespace cg::shots
