// Renders the inspection screens over a seeded demo database to PNG files,
// for the screen pictures of the documentation.
//
//   vehiclecheck_render DEMO.sqlite OUTDIR
//
// Adds a few appearance checks to the demo day first, so the appearance
// screens have something to show.

#include "shots.h"

#include "core/clock.h"
#include "widgets/grid.h"
#include "widgets/gridhelpers.h"
#include "widgets/messagesink.h"
#include "widgets/sound.h"
#include "services/checks/checkservice.h"
#include "services/station/coreservices.h"
#include "services/database/database.h"
#include "stationui/stationcontext.h"
#include "vehicle_check/checklists.h"
#include "vehicle_check/frmbasedefine.h"
#include "vehicle_check/frmcondcheckitem.h"
#include "vehicle_check/frmfacecheck.h"
#include "vehicle_check/frmregfacecheck.h"
#include "vehicle_check/frmtechcheck.h"

#include <QApplication>
#include <QLabel>
#include <QTreeWidget>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace cg;
using namespace cg::shots;

namespace {

void save(QWidget &w, const QString &dir, int width, int height)
{
    w.resize(width, height);
    w.show();
    QApplication::processEvents();
    w.grab().save(dir + u"/"_s + w.objectName() + u".png"_s);
}
} // namespace

int cg::shots::shotsVehicleCheck(ShotStation &s)
{
    Database &db = s.db;
    ManualClock &clock = s.clock;
    Env env = s.env;
    StationContext station = s.station;

    const QDateTime day(s.day, QTime(0, 0));
    const QString dir = s.outDir;

    // Appearance checks of the first trips of the day.
    CheckService checks(db, clock);
    const RecordSet trips = checks.QueryDayTrips(station.context, day, QString(), QString(), QString(), QString(),
                                                 QVariant(), 1, QString());
    if (db.scalar(u"SELECT COUNT(*) FROM appearance_checks"_s).toInt() == 0) {
        for (int i = 0; i < qMin(4, trips.RecordCount()); ++i) {
            const QString id = trips.valueAt(i, u"bus_id"_s).toString();
            const QString plate = trips.valueAt(i, u"license_tag_no"_s).toString();
            checks.AddAppearanceCheckResult(station.context, day, id, plate, clock.now().addSecs(-3600 + 60 * i),
                                            i != 1, u"王工"_s);
            if (i == 1)
                checks.UpdateAppearanceCheckResult(station.context, day, id, plate, clock.now().addSecs(-600), true,
                                                   u"王工"_s);
        }
    }
    const QString firstTrip = trips.valueAt(1, u"bus_id"_s).toString();

    frmBaseDefine base(env, station);
    base.findChild<QTreeWidget *>(u"tvItemTree"_s)->setCurrentItem(base.tableNode(9));
    save(base, dir, 820, 420);

    frmTechCheck tech(env, station);
    ListGrid(tech)->setCurrent(2, 0);
    ClickCell(ListGrid(tech), 2, 0);
    save(tech, dir, 1180, 560);

    frmCondCheckItem item(env, station);
    item.m_szLicense = ListGrid(tech)->textMatrix(2, 0);
    item.setVehicle(item.m_szLicense, ListGrid(tech)->textMatrix(2, 2), QString(), 1);
    item.Form_Load();
    save(item, dir, 640, 560);
    ClickCell(ListGrid(item), 2, 2);
    ClickCell(ListGrid(item), 4, 2);
    QApplication::processEvents();
    item.grab().save(dir + u"/frmCondCheckItem.png"_s);

    frmTeckCheckList cond(env, station);
    cond.m_szParentForm = u"frmTechCheck"_s;
    cond.m_szLicense = ListGrid(tech)->textMatrix(1, 0);
    cond.m_dtBusDate = day;
    save(cond, dir, 620, 360);

    frmFaceCheck face(env, station);
    ListGrid(face)->setCurrent(2, 0);
    ClickCell(ListGrid(face), 2, 0);
    save(face, dir, 1180, 560);

    frmRegFaceCheck reg(env, station);
    reg.m_szBusID = firstTrip;
    reg.m_dtBusDate = day;
    save(reg, dir, 560, 300);

    frmFaceCheckList faceList(env, station);
    faceList.m_szParentForm = u"frmEnvBusDesk"_s;
    faceList.m_szBusID = firstTrip;
    faceList.m_dtBusDate = day;
    save(faceList, dir, 620, 360);

    const QVariant luggageTrip = db.scalar(u"SELECT bus_id FROM luggage_counts ORDER BY bus_id LIMIT 1"_s);
    frmLugCheckList lug(env, station);
    lug.m_szBusID = luggageTrip.toString();
    lug.m_dtBusDate = day;
    save(lug, dir, 620, 360);
    return 0;
}
