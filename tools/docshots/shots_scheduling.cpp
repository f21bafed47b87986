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
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace cg::shots {

namespace {
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
    arrangements.cmdQuery_Click();
    save(arrangements, s.outDir + u"/frmArrangeVehicleMain.png"_s);

    frmGenerateArrangeVehicle generate(s.env, s.station);
    generate.cmdQueryDriver_Click();
    if (generate.lvDriver->topLevelItemCount() > 0) {
        generate.lvDriver->setCurrentItem(generate.lvDriver->topLevelItem(0));
        generate.lvDriver_ItemClick();
    }
    generate.cmdQueryVehicle_Click();
    for (int i = 0; i < 2 && i < generate.lvVehicle->topLevelItemCount(); ++i)
        generate.lvVehicle->topLevelItem(i)->setCheckState(0, Qt::Checked);
    generate.txtMemo->setText(u"春运加班"_s);
    save(generate, s.outDir + u"/frmGenerateArrangeVehicle.png"_s);
    generate.close();

    frmScrollBus rolling(s.env, s.station);
    rolling.resize(900, 480);
    rolling.cmdQuery_Click();
    save(rolling, s.outDir + u"/frmScrollBus.png"_s);
    if (rolling.vsList->dataRows() > 0) {
        rolling.vsList->setCurrentCell(rolling.vsList->fixedRows(), 1);
        rolling.cmdEdit_Click();
        if (frmAddScrollBus *record = rolling.recordScreen())
            save(*record, s.outDir + u"/frmAddScrollBus.png"_s);
    }
    rolling.close();
    return 0;
}

} // namespace cg::shots
