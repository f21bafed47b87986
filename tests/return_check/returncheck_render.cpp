// Renders the return check station from a seeded demo database, for the
// documentation pictures. Two vehicles are returned through the screen
// first (their cards read into the plate box), so the picture shows both
// lamps and the recent-returns panel: give it a scratch copy of the demo.
//
//   returncheck_render DEMO-COPY.sqlite OUTDIR

#include "core/clock.h"
#include "widgets/env.h"
#include "widgets/grid.h"
#include "support/testsupport.h"
#include "return_check/frmreturncheck.h"
#include "services/station/coreservices.h"
#include "services/database/database.h"
#include "stationui/stationcontext.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace cg;

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() < 3) {
        std::fprintf(stderr, "usage: returncheck_render DEMO-COPY.sqlite OUTDIR\n");
        return 2;
    }
    Database db(DbConfig::parse(a[1]));
    SessionService session(db);
    int out = 0;
    session.OpenSession(u"wg"_s, QString(), QString(), out);
    const QDate day = db.scalar(u"SELECT MAX(bus_date) FROM trips"_s).toDateTime().date();
    ManualClock clock(QDateTime(day, QTime(18, 40)));
    test::RecordingMessageSink sink; // boxes are printed at the end
    test::RecordingStatusSink status;
    Env env;
    env.messages = &sink;
    env.clock = &clock;
    env.status = &status;
    env.layoutFile = a[2] + u"/HeadSet.ini"_s;
    StationContext station;
    station.db = &db;
    station.session = &session;
    station.context = u"[wg][%1][%2][0]"_s.arg(session.GetStationCode(), session.GetUnitCode());

    frmReturnCheck screen(env, station);
    screen.resize(1280, 720);
    screen.show();
    const RecordSet cards = db.select(u"SELECT ic_card_id FROM vehicles WHERE ic_card_id <> '' AND status = 0 "
                                      u"ORDER BY license_id LIMIT 3"_s);
    for (int i = 0; i < cards.RecordCount(); i += 2) {
        screen.txtLicense->setText(cards.valueAt(i, u"ic_card_id"_s).toString());
        QTest::keyClick(screen.txtLicense, Qt::Key_Return);
        clock.advanceSecs(300);
    }
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < 1500)
        QApplication::processEvents();
    screen.vsList->setCurrent(2, 0);
    screen.vsList_Click();
    QApplication::processEvents();
    screen.grab().save(a[2] + u"/frmReturnCheck.png"_s);
    for (const auto &box : sink.boxes)
        std::printf("box: %s\n", qPrintable(box.spec.text));
    for (const QString &notice : sink.notices)
        std::printf("notice: %s\n", qPrintable(notice));
    std::printf("%s\n", qPrintable(status.panels[1]));
    return 0;
}
