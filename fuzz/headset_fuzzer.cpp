// HeadSet.ini, the operator's column widths, read into a grid and a list
// view. Whatever the file holds, the widths applied are widths (never
// negative), and saving what was applied and loading it into fresh controls
// gives the same widths again.

#include "fuzzsupport.h"

#include "widgets/grid.h"
#include "widgets/gridhelpers.h"

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QTreeWidget>

using namespace Qt::StringLiterals;
using namespace cg;
using cgfuzz::check;

namespace {

const QString Section = u"frmOutCheck"_s;
constexpr int GridCols = 5;

// The controls are made once (making widgets is most of the time a run
// takes) and given the screen's widths again before each load.
struct Controls {
    Controls()
    {
        grid.setObjectName(u"vsList"_s);
        grid.setCols(GridCols);
        grid.setRows(2);
        list.setObjectName(u"lvwList"_s);
        list.setHeaderLabels({u"车牌号"_s, u"姓名"_s, u"ID"_s});
        minimumSection = list.header()->minimumSectionSize();
    }
    void reset()
    {
        for (int c = 0; c < GridCols; ++c)
            grid.setColWidthTwips(c, 1200);
        list.header()->setMinimumSectionSize(minimumSection);
        list.header()->setStretchLastSection(true);
        for (int c = 0; c < list.columnCount(); ++c)
            list.setColumnWidth(c, 100);
    }
    FlexGrid grid;
    QTreeWidget list;
    int minimumSection = 0;
};

cgfuzz::Scratch *scratch;
Controls *first;
Controls *second;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    static cgfuzz::Scratch s;
    if (!s.ok())
        cgfuzz::fail("no scratch folder");
    scratch = &s;
    static Controls a, b;
    first = &a;
    second = &b;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 16384)
        return -1;
    const QString path = scratch->nextFile(u".ini"_s);
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
            cgfuzz::fail("cannot write the input file");
    }
    first->reset();
    FlexGrid *grid = &first->grid;
    QTreeWidget *list = &first->list;
    LoadColumnLayout(path, Section, grid);
    LoadColumnLayout(path, Section, list);
    QFile::remove(path);
    for (int c = 0; c < GridCols; ++c) {
        check(grid->colWidth(c) >= 0 && grid->colWidthTwips(c) >= 0, "grid widths are not negative",
              QString::number(grid->colWidthTwips(c)));
    }
    for (int c = 0; c < list->columnCount(); ++c)
        check(list->columnWidth(c) >= 0, "list widths are not negative", QString::number(list->columnWidth(c)));

    const QString saved = scratch->nextFile(u".ini"_s);
    SaveColumnLayout(saved, Section, grid);
    SaveColumnLayout(saved, Section, list);
    second->reset();
    FlexGrid *grid2 = &second->grid;
    QTreeWidget *list2 = &second->list;
    LoadColumnLayout(saved, Section, grid2);
    LoadColumnLayout(saved, Section, list2);
    QFile::remove(saved);
    for (int c = 0; c < GridCols; ++c) {
        check(grid2->colWidthTwips(c) == grid->colWidthTwips(c) && grid2->colWidth(c) == grid->colWidth(c),
              "grid widths survive save and load",
              u"column %1: %2 twips / %3 px, then %4 twips / %5 px"_s.arg(c)
                  .arg(grid->colWidthTwips(c)).arg(grid->colWidth(c))
                  .arg(grid2->colWidthTwips(c)).arg(grid2->colWidth(c)));
    }
    for (int c = 0; c < list->columnCount(); ++c)
        check(list2->columnWidth(c) == list->columnWidth(c), "list widths survive save and load",
              u"column %1: %2 px, then %3 px"_s.arg(c).arg(list->columnWidth(c)).arg(list2->columnWidth(c)));
    return 0;
}
