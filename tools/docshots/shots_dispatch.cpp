// Renders the dispatch centre, the route sheet print dialog and a printed
// route sheet of a seeded demo database, for the documentation pictures.
//
//   envbusdesk_render DEMO.sqlite RESOURCES OUTDIR
//
// The dispatch centre is shown at 10:00 of the demo day; the route sheet is
// that of the first trip whose ticket check is done.

#include "shots.h"

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
using namespace cg::shots;


int cg::shots::shotsDispatch(ShotStation &s)
{
    Env env = s.env;
    StationContext station = s.station;
    const QDate day = s.day;
    
    env.layoutFile = s.outDir + u"/HeadSet.ini"_s;
    station.params.BeforeMinute = u"30"_s;
    PdfFolderBackend printer(s.outDir);
    SheetPrinter::setDefaultBackend(&printer);

    frmEnvBusDesk desk(env, station);
    desk.resize(1280, 720);
    desk.show();
    QApplication::processEvents();
    FlexGrid *grid = ListGrid(desk);
    int green = -1;
    for (int r = grid->fixedRows(); r < grid->rows() && green < 0; ++r)
        if (IsLampGreen(grid, r, frmEnvBusDesk::ColScheme))
            green = r;
    if (green >= 0)
        grid->setCurrent(green, frmEnvBusDesk::ColLicense);
    QApplication::processEvents();
    desk.grab().save(s.outDir + u"/frmEnvBusDesk.png"_s);
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
    dialog.grab().save(s.outDir + u"/frmPrintSheet.png"_s);
    dialog.PrintSheetReport();
    for (const QString &pdf : printer.printed())
        std::printf("printed %s\n", qPrintable(pdf));
    return 0;
}
