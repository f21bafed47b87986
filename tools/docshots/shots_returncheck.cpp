// The return check station at 18:40 of the demo day. Two vehicles are
// returned through the screen first (their cards read into the plate box),
// so the picture shows both lamps and the recent-returns panel.

#include "shots.h"

#include "return_check/frmreturncheck.h"
#include "widgets/grid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>

using namespace Qt::StringLiterals;

namespace cg::shots {

int shotsReturnCheck(ShotStation &s)
{
    s.clock.set(QDateTime(s.day, QTime(18, 40)));
    frmReturnCheck screen(s.env, s.station);
    screen.resize(1280, 720);
    screen.show();
    const RecordSet cards = s.db.select(u"SELECT ic_card_id FROM vehicles WHERE ic_card_id <> '' AND status = 0 "
                                        u"ORDER BY license_id LIMIT 3"_s);
    for (int i = 0; i < cards.RecordCount(); i += 2) {
        auto *plate = screen.findChild<QLineEdit *>(u"txtLicense"_s);
        plate->setText(cards.valueAt(i, u"ic_card_id"_s).toString());
        QTest::keyClick(plate, Qt::Key_Return);
        s.clock.advanceSecs(300);
    }
    // The returns' own notifications come back to the screen.
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < 1500)
        QApplication::processEvents();
    ListGrid(screen)->setCurrent(2, 0);
    ClickCell(ListGrid(screen), 2, 0);
    QApplication::processEvents();
    screen.grab().save(s.outDir + u"/frmReturnCheck.png"_s);
    return 0;
}

} // namespace cg::shots
