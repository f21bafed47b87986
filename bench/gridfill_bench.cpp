// Filling a list grid the way the gate and the dispatch centre do: a day of
// trips (rows × 20 columns of text, five lamp cells each) into a shown
// FlexGrid, offscreen. Prints the median and p95 of the fill time in ms.
//
//   gridfill_bench [ROWS [RUNS]]

#include "widgets/grid.h"
#include "widgets/gridhelpers.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <optional>
#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;
using namespace cg;

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int rows = args.size() > 1 ? args.at(1).toInt() : 1500;
    const int runs = args.size() > 2 ? args.at(2).toInt() : 10;
    // CG_BENCH_CELL_BY_CELL: without a BulkFill, every cell telling the view.
    const bool cellByCell = qEnvironmentVariableIsSet("CG_BENCH_CELL_BY_CELL");
    if (rows <= 0 || runs <= 0) {
        std::fprintf(stderr, "usage: gridfill_bench [ROWS [RUNS]]\n");
        return 2;
    }
    constexpr int Cols = 20;
    FlexGrid grid;
    grid.setCols(Cols);
    grid.setRows(1);
    grid.setFixedRows(1);
    grid.resize(1280, 720);
    grid.show();
    QApplication::processEvents();
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer t;
        t.start();
        grid.setRows(1);
        std::optional<FlexGrid::BulkFill> bulk;
        if (!cellByCell)
            bulk.emplace(&grid);
        for (int i = 0; i < rows; ++i) {
            const int r = grid.addRow();
            for (int c = 0; c < Cols; ++c) {
                if (c >= 4 && c < 9)
                    SetLampCell(&grid, r, c, (i + c) % 4);
                else
                    grid.setTextMatrix(r, c, u"粤A%1-%2"_s.arg(i).arg(c));
            }
        }
        bulk.reset();
        QApplication::processEvents();
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    std::printf("grid fill%s, %d rows x %d columns: median %.1f ms, p95 %.1f ms (%d runs)\n",
                cellByCell ? " cell by cell" : " (BulkFill)", rows, Cols,
                times[times.size() / 2], times[std::min(times.size() - 1, size_t(0.95 * double(times.size())))],
                runs);
    return 0;
}
