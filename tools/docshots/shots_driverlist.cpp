// Renders the check-in records of a trip and the forced driver pass of a
// seeded demo database to PNG files, for the screen pictures.
//
//   driverlist_render DEMO.sqlite OUTDIR TRIP

#include "shots.h"

#include "core/clock.h"
#include "widgets/grid.h"
#include "widgets/messagesink.h"
#include "driver_check/frmdriverchecklist.h"
#include "driver_check/frmdriverlist.h"
#include "services/station/coreservices.h"
#include "services/database/database.h"
#include "stationui/stationcontext.h"

#include <QApplication>
#include <QComboBox>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace cg;
using namespace cg::shots;


int cg::shots::shotsDriverList(ShotStation &s, const QString &trip)
{
    Database &db = s.db;
    Env env = s.env;
    StationContext station = s.station;
    const QDate day = s.day;

    const QString route = db.scalar(u"SELECT route_id FROM trips WHERE bus_date = ? AND bus_id = ?"_s,
                                    {QDateTime(day, QTime(0, 0)), trip})
                              .toString();

    frmDriverCheckList records(env, station);
    records.m_szBusID = trip;
    records.m_dtBusDate = QDateTime(day, QTime(0, 0));
    records.m_szRouteID = route;
    records.m_szParentForm = u"frmEnvBusDesk"_s;
    records.show();
    QApplication::processEvents();
    records.grab().save(s.outDir + u"/frmDriverCheckList.png"_s);

    frmDriverList drivers(env, station);
    drivers.m_szBusID = trip;
    drivers.m_dtBusDate = QDateTime(day, QTime(0, 0));
    drivers.m_szRouteID = route;
    drivers.m_szLicense = records.findChild<QWidget *>(u"lblLicenseID"_s)->property("text").toString();
    drivers.m_szParentForm = u"frmEnvBusDesk"_s;
    drivers.show();
    QApplication::processEvents();
    drivers.findChild<QComboBox *>(u"cboCause"_s)->setCurrentIndex(1);
    auto *grid = drivers.findChild<FlexGrid *>(u"vsList"_s);
    if (grid->dataRows() > 0)
        grid->setCurrent(1, 0);
    QApplication::processEvents();
    drivers.grab().save(s.outDir + u"/frmDriverList.png"_s);
    return 0;
}
