// Renders the check-in station and the single-driver screen of a seeded demo
// database to PNG files, for the screen pictures of the documentation.
//
//   checkin_render DEMO.sqlite OUTDIR
//
// The station is shown at 10:00 of the demo day; the single-driver screen
// after the first driver with a low biorhythm day has pressed his finger.

#include "support/fixturetime.h"
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

namespace {
class QuietSink : public MessageSink {
public:
    MsgAnswer show(const MessageBoxSpec &spec, QWidget *) override
    {
        std::fprintf(stderr, "box: %s\n", qPrintable(spec.text));
        return MsgAnswer::Ok;
    }
    void notify(const QString &message, QWidget *) override { std::fprintf(stderr, "notice: %s\n", qPrintable(message)); }
};
class NoSound : public SoundPlayer {
public:
    void play(const QString &) override {}
};
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() < 3) {
        std::fprintf(stderr, "usage: checkin_render DEMO.sqlite OUTDIR\n");
        return 2;
    }
    Database db(DbConfig::parse(a[1]));
    SessionService session(db);
    int out = 0;
    session.OpenSession(u"wg"_s, QString(), QString(), out);
    const QDate day = db.scalar(u"SELECT MAX(bus_date) FROM trips"_s).toDateTime().date();
    ManualClock clock(QDateTime(day, QTime(10, 0)));
    QuietSink sink;
    NoSound sound;
    NullStatusSink status;
    SimulatedFingerReader reader(3);
    Env env;
    env.messages = &sink;
    env.clock = &clock;
    env.sound = &sound;
    env.status = &status;
    env.photoDir = a[2] + u"/photos"_s;
    StationContext station;
    station.db = &db;
    station.session = &session;
    station.context = u"[wg][%1][%2][0]"_s.arg(session.GetStationCode(), session.GetUnitCode());
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
    form.grab().save(a[2] + u"/frmDriverVerify.png"_s);

    // A driver with a low day ahead and an open trip of his own.
    DriverService drivers(db, cg::test::fixtureClock());
    CheckService checks(db, cg::test::fixtureClock());
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
        single.grab().save(a[2] + u"/frmDriverVerifySingle.png"_s);
        std::printf("single: %s %s\n", qPrintable(id), qPrintable(single.m_szBusID));
        break;
    }
    return 0;
}
