// Renders the check-in station and the single-driver screen of a seeded demo
// database to PNG files, for the screen pictures of the documentation.
//
//   checkin_render DEMO.sqlite OUTDIR
//
// The station is shown at 10:00 of the demo day; the single-driver screen
// after the first driver with a low biorhythm day has pressed his finger.

#include "shots.h"

#include "core/clock.h"
#include "widgets/messagesink.h"
#include "widgets/sound.h"
#include "driver_check/biorhythm.h"
#include "driver_check/fingerprintsimulator.h"
#include "driver_check/frmdriververify.h"
#include "driver_check/frmdriververifysingle.h"
#include "services/checks/checkservice.h"
#include "services/station/coreservices.h"
#include "services/database/database.h"
#include "services/masterdata/driverservice.h"
#include "services/fingerprint/simulatedfingerprintengine.h"
#include "stationui/stationcontext.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace cg;
using namespace cg::shots;


int cg::shots::shotsCheckin(ShotStation &s)
{
    Database &db = s.db;
    SessionService &session = s.session;
    ManualClock &clock = s.clock;
    Env env = s.env;
    StationContext station = s.station;
    const QDate day = s.day;
    SimulatedFingerReader reader(3);
    env.photoDir = s.outDir + u"/photos"_s;
    station.params.StartCheckTime = u"30"_s;
    station.params.EndCheckTime = u"240"_s;
    station.params.BiologicalClockReport = true;
    station.makeFingerprintEngine = [&reader](QObject *parent) -> FingerprintEngine * {
        return new SimulatedFingerprintEngine(&reader, parent);
    };

    frmDriverVerify form(env, station);
    form.setWindowState(Qt::WindowNoState);
    form.resize(1280, 800);
    form.show();
    QApplication::processEvents();
    form.grab().save(s.outDir + u"/frmDriverVerify.png"_s);

    // A driver with a low day ahead and an open trip of his own.
    DriverService drivers(db, clock);
    CheckService checks(db, clock);
    RecordSet rs = drivers.QueryDrivers(station.context, QString(), QString());
    for (rs.MoveFirst(); !rs.isEOF(); rs.MoveNext()) {
        const BiorhythmForecast f = ComputeBiorhythm(rs.value(u"birth_date"_s).toDate(), day, 3);
        // One with high and low days looks like a forecast.
        int lows = 0;
        for (const BiorhythmCell &c : f.cells)
            lows += c.low ? 1 : 0;
        if (!f.valid || lows == 0 || lows == f.cells.size())
            continue;
        const QString id = rs.value(u"driver_no"_s).toString();
        RecordSet trips = checks.QueryDriverTrips(station.context, id, session.GetUnitCode(), QDateTime(day, QTime()),
                                                  clock.now(), QDateTime(day, QTime(23, 59)));
        if (trips.isEmpty())
            continue;
        trips.MoveFirst();
        frmDriverVerifySingle single(env, station);
        single.setDriverRecords(rs);
        single.m_FingerLibChanged = true;
        single.m_szBusID = trips.value(u"bus_id"_s).toString();
        single.m_szRouteID = trips.value(u"route_id"_s).toString();
        single.m_szRouteName = trips.value(u"route_name"_s).toString();
        single.m_szCompany = trips.value(u"transport_company_short_name"_s).toString();
        single.show();
        QApplication::processEvents();
        reader.press(FormalFingerKey(id));
        single.Timer1_Timer();
        QApplication::processEvents();
        single.grab().save(s.outDir + u"/frmDriverVerifySingle.png"_s);
        std::printf("single: %s %s\n", qPrintable(id), qPrintable(single.m_szBusID));
        break;
    }
    return 0;
}
