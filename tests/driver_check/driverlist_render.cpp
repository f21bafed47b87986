// Renders the check-in records of a trip and the forced driver pass of a
// seeded demo database to PNG files, for the screen pictures.
//
//   driverlist_render DEMO.sqlite OUTDIR TRIP

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
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() < 4) {
        std::fprintf(stderr, "usage: driverlist_render DEMO.sqlite OUTDIR TRIP\n");
        return 2;
    }
    Database db(DbConfig::parse(a[1]));
    SessionService session(db);
    int out = 0;
    session.OpenSession(u"wg"_s, QString(), QString(), out);
    const QDate day = db.scalar(u"SELECT MAX(bus_date) FROM trips"_s).toDateTime().date();
    ManualClock clock(QDateTime(day, QTime(10, 0)));
    QuietSink sink;
    Env env;
    env.messages = &sink;
    env.clock = &clock;
    StationContext station;
    station.db = &db;
    station.session = &session;
    station.context = u"[wg][%1][%2][0]"_s.arg(session.GetStationCode(), session.GetUnitCode());
    const QString route = db.scalar(u"SELECT route_id FROM trips WHERE bus_date = ? AND bus_id = ?"_s,
                                    {QDateTime(day, QTime(0, 0)), a[3]})
                              .toString();

    frmDriverCheckList records(env, station);
    records.m_szBusID = a[3];
    records.m_dtBusDate = QDateTime(day, QTime(0, 0));
    records.m_szRouteID = route;
    records.m_szParentForm = u"frmEnvBusDesk"_s;
    records.show();
    QApplication::processEvents();
    records.grab().save(a[2] + u"/frmDriverCheckList.png"_s);

    frmDriverList drivers(env, station);
    drivers.m_szBusID = a[3];
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
    drivers.grab().save(a[2] + u"/frmDriverList.png"_s);
    return 0;
}
