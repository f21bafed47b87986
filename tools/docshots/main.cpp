// coachgate-docshots DEMO.sqlite RESOURCES OUTDIR [TRIP]
//
// Renders every screen picture of the documentation from a seeded demo
// station (coachgate-admin seed-demo) into OUTDIR. scripts/docshots runs it
// for docs/screens.

#include "shots.h"

#include <QApplication>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace cg::shots {

MsgAnswer QuietSink::show(const MessageBoxSpec &spec, QWidget *)
{
    std::fprintf(stderr, "box: %s\n", qPrintable(spec.text));
    return MsgAnswer::Ok;
}

void QuietSink::notify(const QString &message, QWidget *)
{
    std::fprintf(stderr, "notice: %s\n", qPrintable(message));
}

ShotStation::ShotStation(const QString &databaseSpec, const QString &dataDirIn, const QString &outDirIn)
    : db(DbConfig::parse(databaseSpec)), session(db), dataDir(dataDirIn), outDir(outDirIn)
{
    int out = 0;
    session.OpenSession(u"wg"_s, QString(), QString(), out);
    day = db.scalar(u"SELECT MAX(bus_date) FROM trips"_s).toDateTime().date();
    clock.set(QDateTime(day, QTime(10, 0)));
    env.messages = &sink;
    env.clock = &clock;
    env.sound = &sound;
    env.status = &status;
    env.dataDir = dataDir;
    station.db = &db;
    station.session = &session;
    station.context = u"[wg][%1][%2][0]"_s.arg(session.GetStationCode(), session.GetUnitCode());
}

} // namespace cg::shots

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() < 4) {
        std::fprintf(stderr, "usage: coachgate-docshots DEMO.sqlite RESOURCES OUTDIR [TRIP]\n");
        return 2;
    }
    using namespace cg::shots;
    int failed = shotsApp(a[3]);
    ShotStation s(a[1], a[2], a[3]);
    const QString trip = a.size() > 4 ? a[4]
                                      : s.db.scalar(u"SELECT MIN(bus_id) FROM trips WHERE bus_date = ?"_s,
                                                    {QDateTime(s.day, QTime(0, 0))})
                                            .toString();
    failed += shotsCheckin(s);
    failed += shotsDriverList(s, trip);
    failed += shotsDispatch(s);
    failed += shotsVehicleCheck(s);
    failed += shotsMasterData(s);
    failed += shotsScheduling(s);
    failed += shotsReports(s);
    failed += shotsReturnCheck(s);
    return failed == 0 ? 0 : 1;
}
