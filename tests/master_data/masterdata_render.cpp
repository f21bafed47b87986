// Renders the driver register and the driver record of a seeded demo
// database to PNG files, for the screen pictures.
//
//   masterdata_render DEMO.sqlite OUTDIR

#include "core/clock.h"
#include "master_data/frmdriver.h"
#include "master_data/frmdrivermain.h"
#include "services/database/database.h"
#include "services/fingerprint/simulatedfingerprintengine.h"
#include "services/station/coreservices.h"
#include "stationui/stationcontext.h"
#include "widgets/grid.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {
void save(QWidget *w, const QString &path)
{
    QApplication::processEvents();
    w->grab().save(path);
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() < 3) {
        std::fprintf(stderr, "usage: masterdata_render DEMO.sqlite OUTDIR\n");
        return 2;
    }
    Database db(DbConfig::parse(a[1]));
    SessionService session(db);
    int out = 0;
    session.OpenSession(u"wg"_s, QString(), QString(), out);
    ManualClock clock(QDateTime(QDate(2026, 12, 9), QTime(10, 0)));
    test::RecordingMessageSink sink;
    NullStatusSink status;
    SimulatedFingerReader reader(3);
    Env env;
    env.messages = &sink;
    env.clock = &clock;
    env.status = &status;
    StationContext station;
    station.db = &db;
    station.session = &session;
    station.context = u"[wg][%1][%2][0]"_s.arg(session.GetStationCode(), session.GetUnitCode());
    station.makeFingerprintEngine = [&reader](QObject *parent) -> FingerprintEngine * {
        return new SimulatedFingerprintEngine(&reader, parent);
    };

    frmDriverMain reg(env, station);
    reg.resize(1000, 560);
    reg.show();
    reg.cmdQuery->click();
    reg.vsList->setCurrent(2, 1);
    reg.vsList->scrollToTop();
    save(&reg, a[2] + u"/frmDriverMain.png"_s);

    reg.cmdEdit->click();
    frmDriver *record = reg.recordScreen();
    if (!record)
        return 1;
    const QString driver = record->m_szID;
    // The driver's formal finger pressed once more: a fresh enrolment.
    record->cmdEnrol_Click();
    reader.press(driver + u"/formal"_s);
    save(record, a[2] + u"/frmDriver.png"_s);
    record->cmdAdd_Click();
    save(record, a[2] + u"/frmDriver_new.png"_s);
    for (const auto &box : std::as_const(sink.boxes))
        std::fprintf(stderr, "box: %s\n", qPrintable(box.spec.text));
    return 0;
}
