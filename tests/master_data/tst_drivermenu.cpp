// The workstation's menu entry 驾驶员管理 opens the driver register, and the
// File menu exports its grid through the main window.

#include "masterdatafixture.h"

#include "app/mainwindow.h"
#include "app/screens.h"
#include "master_data/frmdrivermain.h"
#include "widgets/grid.h"

#include <QAction>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace cg;

class TstDriverMenu : public QObject {
    Q_OBJECT
private slots:
    void menuOpensRegisterAndFileMenuExports();
};

void TstDriverMenu::menuOpensRegisterAndFileMenuExports()
{
    test::MasterDataStation s;
    mdiMain window(s.env, s.station);
    s.env.status = &window; // as start-up does
    RegisterScreens(window, s.env, s.station);
    window.show();
    QAction *entry = window.menuAction(u"m6"_s);
    QVERIFY(entry && entry->isEnabled());
    QCOMPARE(entry->text(), u"驾驶员管理"_s);
    entry->trigger();
    QMdiSubWindow *child = window.mdiArea()->activeSubWindow();
    QVERIFY(child);
    auto *reg = qobject_cast<frmDriverMain *>(child->widget());
    QVERIFY(reg);
    QCOMPARE(child->windowTitle(), u"驾驶员档案"_s);
    QTest::mouseClick(test::child<QPushButton>(reg, u"cmdQuery"_s), Qt::LeftButton);
    QCOMPARE(test::child<FlexGrid>(reg, u"vsList"_s)->dataRows(), 5);
    QCOMPARE(window.statusText(2), u"查询完毕,共5条记录"_s);

    const QString path = s.dir.filePath(u"drivers.xls"_s);
    s.files.answers = {path};
    window.menuAction(u"mnu_File_Export"_s)->trigger();
    QVERIFY(QFile::exists(path));
    // Chosen again, the same register comes forward.
    entry->trigger();
    QCOMPARE(window.mdiArea()->subWindowList().size(), 1);
}

QTEST_MAIN(TstDriverMenu)
#include "tst_drivermenu.moc"
