// Renders the query and report screens of a seeded demo database, for the
// documentation pictures, and exports both statistics reports as PDF and
// xlsx beside them.
//
//   reports_render DEMO.sqlite RESOURCES OUTDIR
//
// The screens are shown at 18:00 of the latest demo day; three forced
// passes of that day are recorded first (once) so that the forced-release
// query has something to list. The reports cover the week up to that day.

#include "core/clock.h"
#include "core/dates.h"
#include "reports/frmreportcheck.h"
#include "reports/periodquery.h"
#include "services/checks/checkservice.h"
#include "services/database/database.h"
#include "services/station/coreservices.h"
#include "sheetprinter/sheetprinter.h"
#include "stationui/stationcontext.h"
#include "widgets/env.h"
#include "widgets/filechooser.h"
#include "widgets/grid.h"
#include "widgets/messagesink.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>

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

class FixedChooser : public FileChooser {
public:
    QString next;
    QString saveFileName(QWidget *, const QString &, const QString &) override { return next; }
    QString openFileName(QWidget *, const QString &, const QString &) override { return next; }
};

void save(QWidget &w, const QString &path)
{
    w.show();
    QApplication::processEvents();
    w.grab().save(path);
    std::printf("%s\n", qPrintable(path));
}

void recordForcedPasses(Database &db, const StationContext &station, const Clock &clock, const QDate &day)
{
    if (db.scalar(u"SELECT COUNT(*) FROM forced_releases"_s).toInt() > 0)
        return;
    const QDateTime busDate(day, QTime(0, 0));
    RecordSet trips = db.select(u"SELECT bus_id, license_tag_no, route_id FROM trips WHERE bus_date = ? "
                                u"ORDER BY bus_start_time LIMIT 3"_s,
                                {busDate});
    if (trips.RecordCount() < 3)
        return;
    CheckService checks(db, clock);
    const QDateTime at(day, QTime(7, 12, 30));
    checks.ForcePassAppearanceCheck(station.context, busDate, trips.valueAt(0, u"bus_id"_s).toString(),
                                    trips.valueAt(0, u"license_tag_no"_s).toString(), at, 1, u"王刚"_s,
                                    u"车身已清洗"_s, u"440100"_s);
    checks.ForcePassConditionCheck(station.context, busDate, 0, trips.valueAt(1, u"bus_id"_s).toString(),
                                   trips.valueAt(1, u"license_tag_no"_s).toString(), at.addSecs(600), 2, u"王刚"_s,
                                   u"灯光已修复，复检合格"_s, u"440100"_s);
    const QString driver =
        db.scalar(u"SELECT driver_id FROM arrangements a JOIN trips t ON t.license_id = a.license_id "
                  u"WHERE t.bus_date = ? AND t.bus_id = ?"_s,
                  {busDate, trips.valueAt(2, u"bus_id"_s)})
            .toString();
    checks.ForceDriverPass(station.context, trips.valueAt(2, u"bus_id"_s).toString(), busDate, driver,
                           at.addSecs(1500), u"王刚"_s, trips.valueAt(2, u"license_tag_no"_s).toString(),
                           u"指纹仪故障，人工核对证件"_s, 3);
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() < 4) {
        std::fprintf(stderr, "usage: reports_render DEMO.sqlite RESOURCES OUTDIR\n");
        return 2;
    }
    Database db(DbConfig::parse(a[1]));
    SessionService session(db);
    int out = 0;
    session.OpenSession(u"wg"_s, QString(), QString(), out);
    const QDate day = db.scalar(u"SELECT MAX(bus_date) FROM trips"_s).toDateTime().date();
    ManualClock clock(QDateTime(day, QTime(18, 0)));
    QuietSink sink;
    NullStatusSink status;
    FixedChooser files;
    Env env;
    env.messages = &sink;
    env.clock = &clock;
    env.status = &status;
    env.files = &files;
    env.dataDir = a[2];
    StationContext station;
    station.db = &db;
    station.session = &session;
    station.context = u"[wg][440100001][440100][0]"_s;
    const QDir outDir(a[3]);
    recordForcedPasses(db, station, clock, day);

    frmDriverBus checkIns(env, station);
    checkIns.resize(900, 560);
    checkIns.cmdQuery_Click();
    save(checkIns, outDir.filePath(u"frmDriverBus.png"_s));

    frmBusForeInfo forced(env, station);
    forced.resize(1000, 360);
    forced.cmdQuery_Click();
    save(forced, outDir.filePath(u"frmBusForeInfo.png"_s));

    frmReportCheck report(env, station);
    report.resize(1280, 900);
    report.dtpStartDate->setDate(day.addDays(-6));
    for (int type = 0; type < 2; ++type) {
        report.cboType->setCurrentIndex(type);
        report.Fill(20);
        const QString name = type == 0 ? u"frmReportCheck"_s : u"frmReportCheck-departures"_s;
        save(report, outDir.filePath(name + u".png"_s));
        for (const QString &ext : {u".pdf"_s, u".xlsx"_s}) {
            files.next = outDir.filePath(name + ext);
            report.ExportFile();
        }
    }
    return 0;
}
