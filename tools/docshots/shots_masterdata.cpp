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
// A control of a screen by its name.
template <typename T>
T *named(const QObject *screen, const QString &name)
{
    return screen->findChild<T *>(name);
}

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
    named<QPushButton>(&drivers, u"cmdQuery"_s)->click();
    auto *driverList = named<FlexGrid>(&drivers, u"vsList"_s);
    driverList->setCurrent(2, 1);
    driverList->scrollToTop();
    save(&drivers, s.outDir + u"/frmDriverMain.png"_s);
    named<QPushButton>(&drivers, u"cmdEdit"_s)->click();
    frmDriver *driver = drivers.recordScreen();
    if (!driver)
        return 1;
    // The driver's formal finger pressed once more: a fresh enrolment.
    named<QPushButton>(driver, u"cmdEnrol"_s)->click();
    reader.press(driver->m_szID + u"/formal"_s);
    save(driver, s.outDir + u"/frmDriver.png"_s);
    driver->close();
    drivers.close();

    frmVehicleMain vehicles(s.env, station);
    vehicles.resize(1180, 560);
    vehicles.show();
    named<QPushButton>(&vehicles, u"cmdQuery"_s)->click();
    auto *vehicleList = named<FlexGrid>(&vehicles, u"vsList"_s);
    vehicleList->setCurrent(1, 1);
    vehicleList->scrollToTop();
    save(&vehicles, s.outDir + u"/frmVehicleMain.png"_s);
    named<QPushButton>(&vehicles, u"cmdEdit"_s)->click();
    frmVehicle *vehicle = vehicles.recordScreen();
    if (!vehicle)
        return 1;
    save(vehicle, s.outDir + u"/frmVehicle.png"_s);
    vehicle->close();
    vehicles.close();
    return 0;
}

} // namespace cg::shots
