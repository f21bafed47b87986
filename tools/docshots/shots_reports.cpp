// The query and report screens at 18:00 of the demo day, after three forced
// passes of that day have been recorded (so the forced-release query lists
// something); the reports cover the week up to that day.

#include "shots.h"

#include "reports/frmreportcheck.h"
#include "reports/periodquery.h"
#include "services/checks/checkservice.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QPushButton>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace cg::shots {

namespace {

// A control of a screen by its name.
template <typename T>
T *named(const QObject *screen, const QString &name)
{
    return screen->findChild<T *>(name);
}

void save(QWidget &w, const QString &path)
{
    w.show();
    QApplication::processEvents();
    w.grab().save(path);
}

void recordForcedPasses(ShotStation &s)
{
    Database &db = s.db;
    if (db.scalar(u"SELECT COUNT(*) FROM forced_releases"_s).toInt() > 0)
        return;
    const QDateTime busDate(s.day, QTime(0, 0));
    RecordSet trips = db.select(u"SELECT bus_id, license_tag_no, route_id FROM trips WHERE bus_date = ? "
                                u"ORDER BY bus_start_time LIMIT 3"_s,
                                {busDate});
    if (trips.RecordCount() < 3)
        return;
    CheckService checks(db, s.clock);
    const QString &ctx = s.station.context;
    const QDateTime at(s.day, QTime(7, 12, 30));
    checks.ForcePassAppearanceCheck(ctx, busDate, trips.valueAt(0, u"bus_id"_s).toString(),
                                    trips.valueAt(0, u"license_tag_no"_s).toString(), at, 1, u"王刚"_s,
                                    u"车身已清洗"_s, u"440100"_s);
    checks.ForcePassConditionCheck(ctx, busDate, 0, trips.valueAt(1, u"bus_id"_s).toString(),
                                   trips.valueAt(1, u"license_tag_no"_s).toString(), at.addSecs(600), 2, u"王刚"_s,
                                   u"灯光已修复，复检合格"_s, u"440100"_s);
    const QString driver =
        db.scalar(u"SELECT driver_id FROM arrangements a JOIN trips t ON t.license_id = a.license_id "
                  u"WHERE t.bus_date = ? AND t.bus_id = ?"_s,
                  {busDate, trips.valueAt(2, u"bus_id"_s)})
            .toString();
    checks.ForceDriverPass(ctx, trips.valueAt(2, u"bus_id"_s).toString(), busDate, driver, at.addSecs(1500),
                           u"王刚"_s, trips.valueAt(2, u"license_tag_no"_s).toString(), u"指纹仪故障，人工核对证件"_s, 3);
}

} // namespace

int shotsReports(ShotStation &s)
{
    s.clock.set(QDateTime(s.day, QTime(18, 0)));
    recordForcedPasses(s);

    frmDriverBus checkIns(s.env, s.station);
    checkIns.resize(900, 560);
    named<QPushButton>(&checkIns, u"cmdQuery"_s)->click();
    save(checkIns, s.outDir + u"/frmDriverBus.png"_s);

    frmBusForeInfo forced(s.env, s.station);
    forced.resize(1000, 360);
    named<QPushButton>(&forced, u"cmdQuery"_s)->click();
    save(forced, s.outDir + u"/frmBusForeInfo.png"_s);

    frmReportCheck report(s.env, s.station);
    report.resize(1280, 900);
    named<QDateEdit>(&report, u"dtpStartDate"_s)->setDate(s.day.addDays(-6));
    for (int type = 0; type < 2; ++type) {
        named<QComboBox>(&report, u"cboType"_s)->setCurrentIndex(type);
        named<QPushButton>(&report, u"Command1"_s)->click();
        save(report, s.outDir + (type == 0 ? u"/frmReportCheck.png"_s : u"/frmReportCheck-departures.png"_s));
    }
    return 0;
}

} // namespace cg::shots
