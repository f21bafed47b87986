// The arrangement register (every arrangement of the demo) and its
// generate dialog with a driver chosen and two vehicles ticked; the rolling
// trip register of the demo day and the record of its first trip.

#include "shots.h"

#include "scheduling/frmarrangevehiclemain.h"
#include "scheduling/frmaddscrollbus.h"
#include "scheduling/frmgeneratearrangevehicle.h"
#include "scheduling/frmscrollbus.h"
#include "widgets/grid.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

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
} // namespace

int shotsScheduling(ShotStation &s)
{
    frmArrangeVehicleMain arrangements(s.env, s.station);
    arrangements.resize(1180, 560);
    named<QPushButton>(&arrangements, u"cmdQuery"_s)->click();
    save(arrangements, s.outDir + u"/frmArrangeVehicleMain.png"_s);

    frmGenerateArrangeVehicle generate(s.env, s.station);
    named<QPushButton>(&generate, u"cmdQueryDriver"_s)->click();
    auto *drivers = named<QTreeWidget>(&generate, u"lvDriver"_s);
    if (drivers->topLevelItemCount() > 0) {
        drivers->setCurrentItem(drivers->topLevelItem(0));
        emit drivers->itemClicked(drivers->topLevelItem(0), 0);
    }
    named<QPushButton>(&generate, u"cmdQueryVehicle"_s)->click();
    auto *vehicles = named<QTreeWidget>(&generate, u"lvVehicle"_s);
    for (int i = 0; i < 2 && i < vehicles->topLevelItemCount(); ++i)
        vehicles->topLevelItem(i)->setCheckState(0, Qt::Checked);
    named<QLineEdit>(&generate, u"txtMemo"_s)->setText(u"春运加班"_s);
    save(generate, s.outDir + u"/frmGenerateArrangeVehicle.png"_s);
    generate.close();

    frmScrollBus rolling(s.env, s.station);
    rolling.resize(900, 480);
    named<QPushButton>(&rolling, u"cmdQuery"_s)->click();
    save(rolling, s.outDir + u"/frmScrollBus.png"_s);
    auto *trips = named<FlexGrid>(&rolling, u"vsList"_s);
    if (trips->dataRows() > 0) {
        trips->setCurrentCell(trips->fixedRows(), 1);
        named<QPushButton>(&rolling, u"cmdEdit"_s)->click();
        if (frmAddScrollBus *record = rolling.recordScreen())
            save(*record, s.outDir + u"/frmAddScrollBus.png"_s);
    }
    rolling.close();
    return 0;
}

} // namespace cg::shots
