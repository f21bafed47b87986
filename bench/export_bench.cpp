// Exporting a list grid the way the File menu does: a grid of ROWS rows x
// 20 columns of a day's trips (plates, times, names, counts, empty lamp
// cells) written to an .xlsx workbook and to the tab-delimited .xls text.
// Prints the median and p95 of each in ms, wall and CPU, and the file sizes.
//
//   export_bench [ROWS [RUNS]]

#include "benchtools.h"
#include "widgets/grid.h"
#include "widgets/listexport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace Qt::StringLiterals;
using namespace cg;
using namespace cg::bench;

namespace {

struct Times {
    std::vector<double> wall, cpu;
    void add(double w, double c)
    {
        wall.push_back(w);
        cpu.push_back(c);
    }
};

void print(const char *what, const Times &t, qint64 bytes)
{
    std::printf("%-28s wall median %8.1f p95 %8.1f | CPU median %8.1f p95 %8.1f ms | %lld bytes\n", what,
                quantile(t.wall, 0.5), quantile(t.wall, 0.95), quantile(t.cpu, 0.5), quantile(t.cpu, 0.95), static_cast<long long>(bytes));
}

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int rows = args.size() > 1 ? args.at(1).toInt() : 10000;
    const int runs = args.size() > 2 ? args.at(2).toInt() : 7;
    if (rows <= 0 || runs <= 0) {
        std::fprintf(stderr, "usage: export_bench [ROWS [RUNS]]\n");
        return 2;
    }
    constexpr int Cols = 20;
    FlexGrid grid;
    grid.setCols(Cols);
    grid.setRows(1);
    grid.setFixedRows(1);
    for (int c = 0; c < Cols; ++c)
        grid.setTextMatrix(0, c, u"列%1"_s.arg(c));
    {
        FlexGrid::BulkFill bulk(&grid);
        for (int i = 0; i < rows; ++i) {
            const int r = grid.addRow();
            grid.setTextMatrix(r, 0, QString::number(i + 1));
            grid.setTextMatrix(r, 1, u"粤A%1"_s.arg(10000 + i % 2000));
            grid.setTextMatrix(r, 2, u"%1:%2"_s.arg(6 + i % 16, 2, 10, QChar(u'0')).arg(i % 60, 2, 10, QChar(u'0')));
            grid.setTextMatrix(r, 3, u"广州-深圳%1线"_s.arg(i % 90));
            grid.setTextMatrix(r, 4, u"驾驶员%1"_s.arg(i % 5000));
            grid.setTextMatrix(r, 5, QString::number(35 + i % 20));
            grid.setTextMatrix(r, 6, u"0%1"_s.arg(100000 + i));
            for (int c = 7; c < 12; ++c)
                grid.setTextMatrix(r, c, (i + c) % 3 ? u"是"_s : QString());
            for (int c = 12; c < Cols; ++c)
                grid.setTextMatrix(r, c, u"备注 %1-%2"_s.arg(i).arg(c));
        }
    }
    QTemporaryDir dir;
    const QString xlsx = dir.filePath(u"list.xlsx"_s);
    const QString xls = dir.filePath(u"list.xls"_s);
    Times workbook, text, table;
    for (int run = 0; run < runs; ++run) {
        {
            QElapsedTimer t;
            const double c0 = threadCpuMs();
            t.start();
            const ExportTable copy = GridTable(grid);
            table.add(t.nsecsElapsed() / 1e6, threadCpuMs() - c0);
        }
        for (auto [path, times] : {std::pair{xlsx, &workbook}, std::pair{xls, &text}}) {
            QElapsedTimer t;
            const double c0 = threadCpuMs();
            t.start();
            ExportGrid(grid, path, {0, 5});
            times->add(t.nsecsElapsed() / 1e6, threadCpuMs() - c0);
        }
    }
    std::printf("export of %d rows x %d columns, %d runs\n", rows, Cols, runs);
    print("the grid's texts (in both)", table, 0);
    print(".xlsx workbook", workbook, QFileInfo(xlsx).size());
    print(".xls tab-delimited text", text, QFileInfo(xls).size());
    return 0;
}
