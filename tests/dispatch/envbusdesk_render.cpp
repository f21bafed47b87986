// Renders the dispatch centre, the route sheet print dialog and a printed
// route sheet of a seeded demo database, for the documentation pictures.
//
//   envbusdesk_render DEMO.sqlite RESOURCES OUTDIR
//
// The dispatch centre is shown at 10:00 of the demo day; the route sheet is
// that of the first trip whose ticket check is done.

#include "core/clock.h"
#include "widgets/env.h"
#include "widgets/grid.h"
#include "widgets/gridhelpers.h"
#include "widgets/messagesink.h"
#include "dispatch/frmenvbusdesk.h"
#include "dispatch/frmprintsheet.h"
#include "services/station/coreservices.h"
#include "services/database/database.h"
#include "sheetprinter/sheetprinter.h"
#include "stationui/stationcontext.h"

#include <QApplication>

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
        std::fprintf(stderr, "usage: envbusdesk_render DEMO.sqlite RESOURCES OUTDIR\n");
        return 2;
    }
    Database db(DbConfig::parse(a[1]));
    SessionService session(db);
    int out = 0;
    session.OpenSession(u"wg"_s, QString(), QString(), out);
    const QDate day = db.scalar(u"SELECT MAX(bus_date) FROM trips"_s).toDateTime().date();
    ManualClock clock(QDateTime(day, QTime(10, 0)));
    QuietSink sink;
    NullStatusSink status;
    Env env;
    env.messages = &sink;
    env.clock = &clock;
    env.status = &status;
    env.dataDir = a[2];
    env.layoutFile = a[3] + u"/HeadSet.ini"_s;
    StationContext station;
    station.db = &db;
    station.session = &session;
    station.context = u"[wg][%1][%2][0]"_s.arg(session.GetStationCode(), session.GetUnitCode());
    station.params.BeforeMinute = u"30"_s;
    PdfFolderBackend printer(a[3]);
    SheetPrinter::setDefaultBackend(&printer);

    frmEnvBusDesk desk(env, station);
    desk.resize(1280, 720);
    desk.show();
    QApplication::processEvents();
    FlexGrid *grid = desk.list();
    int green = -1;
    for (int r = grid->fixedRows(); r < grid->rows() && green < 0; ++r)
        if (IsLampGreen(grid, r, frmEnvBusDesk::ColScheme))
            green = r;
    if (green >= 0)
        grid->setCurrent(green, frmEnvBusDesk::ColLicense);
    QApplication::processEvents();
    desk.grab().save(a[3] + u"/frmEnvBusDesk.png"_s);
    if (green < 0) {
        std::fprintf(stderr, "no trip with its route sheet issued\n");
        return 1;
    }

    frmPrintSheet dialog(env, station, &desk);
    dialog.setProperty("m_SheetType", 0);
    dialog.setProperty("m_szLicense", grid->textMatrix(green, frmEnvBusDesk::ColLicense));
    dialog.setProperty("m_szStartTime", grid->textMatrix(green, frmEnvBusDesk::ColTime));
    dialog.setProperty("m_szBusID", grid->textMatrix(green, frmEnvBusDesk::ColBusId));
    dialog.setProperty("m_szSeatNum", grid->textMatrix(green, frmEnvBusDesk::ColSeats));
    dialog.setProperty("m_szEndStation", grid->textMatrix(green, frmEnvBusDesk::ColEnd));
    dialog.setProperty("m_szBusDate", day.toString(u"yyyy-MM-dd"_s));
    dialog.resize(640, 560);
    dialog.show();
    QApplication::processEvents();
    dialog.grab().save(a[3] + u"/frmPrintSheet.png"_s);
    dialog.PrintSheetReport();
    for (const QString &pdf : printer.printed())
        std::printf("printed %s\n", qPrintable(pdf));
    return 0;
}
