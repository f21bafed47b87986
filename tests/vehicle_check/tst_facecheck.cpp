// 车容检查 and its dialog: filters with placeholders, the day's rows redrawn
// from FaceCheck, quick verdicts, the dialog's own lamp and its verdicts.

#include "support/fixturetime.h"
#include "vehiclecheckfixture.h"
#include "support/testsupport.h"

#include "widgets/grid.h"
#include "widgets/gridhelpers.h"
#include "services/checks/checknotifier.h"
#include "services/checks/checkservice.h"
#include "vehicle_check/frmfacecheck.h"
#include "vehicle_check/frmregfacecheck.h"

#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

// The form's list grid and its check notifier, found as an operator's
// tools would find them.
FlexGrid *grid(const QWidget *form) { return test::child<FlexGrid>(form, u"vsList"_s); }
CheckNotifier *notifier(const QWidget &form)
{
    auto *n = form.findChild<CheckNotifier *>();
    Q_ASSERT(n);
    return n;
}

QDateTime today() { return QDateTime(cg::test::fixtureDay(), QTime(0, 0)); }

void seed(test::InspectionStation &st)
{
    const auto trip = [&](const QDateTime &day, const QString &id, int hour, const QString &plate) {
        st.db.exec(u"INSERT INTO trips (station_code, bus_date, bus_id, bus_start_time, license_tag_no, end_station_name, "
                   u"transport_company_short_name, unit_code, face_checker) VALUES ('440100001', ?, ?, ?, ?, '佛山', '天河', "
                   u"'440101', '孙检')"_s,
                   {day, id, day.addSecs(hour * 3600), plate});
    };
    trip(today(), u"K001"_s, 8, u"粤A10001"_s);
    trip(today(), u"K002"_s, 9, u"粤A10002"_s);
    trip(today().addDays(1), u"K001"_s, 8, u"粤A10001"_s);
}

struct Station : test::InspectionStation {
    QStringList dialogs;
    std::unique_ptr<frmFaceCheck> open()
    {
        auto f = std::make_unique<frmFaceCheck>(env, station);
        f->runDialog = [this](QDialog *d) {
            dialogs << d->objectName() + u":"_s + d->property("m_szBusID").toString() + u":"_s +
                           d->property("m_dtBusDate").toDateTime().toString(u"yyyy-MM-dd"_s);
            return 0;
        };
        f->show();
        return f;
    }
};

void clickRow(frmFaceCheck &f, int row)
{
    QTest::mouseClick(grid(&f)->viewport(), Qt::LeftButton, {},
                      grid(&f)->visualItemRect(grid(&f)->item(row, 0)).center());
}

} // namespace

class TestFaceCheck : public QObject {
    Q_OBJECT
private slots:
    void listAndFilters()
    {
        Station st;
        seed(st);
        auto f = st.open();
        QCOMPARE(grid(&*f)->dataRows(), 2);
        QCOMPARE(grid(&*f)->textMatrix(1, frmFaceCheck::ColStart), u"08:00"_s);
        // Count 0: no time or count, but the checker is shown.
        QCOMPARE(grid(&*f)->textMatrix(1, frmFaceCheck::ColCount), QString());
        QCOMPARE(grid(&*f)->textMatrix(1, frmFaceCheck::ColTime), QString());
        QCOMPARE(grid(&*f)->textMatrix(1, frmFaceCheck::ColChecker), u"孙检"_s);
        QCOMPARE(st.status.panels[1], u"查询完毕,共2条记录"_s);
        test::child<QLineEdit>(&*f, u"txtBusID"_s)->setText(u"  (车次代码) "_s);
        test::child<QLineEdit>(&*f, u"txtLicenseID"_s)->setText(u"粤A10002"_s);
        QTest::keyClick(test::child<QLineEdit>(&*f, u"txtBusID"_s), Qt::Key_F8);
        QCOMPARE(grid(&*f)->dataRows(), 1);
        QCOMPARE(grid(&*f)->textMatrix(1, 0), u"K002"_s);
        test::child<QLineEdit>(&*f, u"txtLicenseID"_s)->setText(u"(车牌号)"_s);
        test::child<QDateEdit>(&*f, u"dtpDate"_s)->setDate(cg::test::fixtureDay().addDays(1));
        QTest::keyClick(f.get(), Qt::Key_F8);
        QCOMPARE(grid(&*f)->dataRows(), 1);
        QTest::keyClick(f.get(), Qt::Key_F9);
        QCOMPARE(test::child<QDateEdit>(&*f, u"dtpDate"_s)->date(), cg::test::fixtureDay());
        QCOMPARE(grid(&*f)->dataRows(), 2);
    }

    // Opened from the main window, the station used to be drawn inside it.
    void opensAsAWindowOfItsOwn()
    {
        Station st;
        seed(st);
        QWidget mainWindow;
        frmFaceCheck f(st.env, st.station, &mainWindow);
        QVERIFY(f.isWindow());
        QCOMPARE(f.parentWidget(), &mainWindow);
    }

    // A click into a filter box leaves its whole text selected, so typing
    // replaces it; the click's own cursor placement used to undo the
    // selection made at focus-in.
    void clickIntoFilterSelectsItsText()
    {
        Station st;
        seed(st);
        auto f = st.open();
        f->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.get()));
        QLineEdit *plate = test::child<QLineEdit>(&*f, u"txtLicenseID"_s);
        QTest::mouseClick(plate, Qt::LeftButton, {}, QPoint(4, plate->height() / 2));
        QTRY_COMPARE(plate->selectedText(), u"(车牌号)"_s);
        QTest::keyClick(plate, Qt::Key_A);
        QCOMPARE(plate->text(), u"a"_s);
    }

    void notificationOfTheShownDayOnly_data()
    {
        QTest::addColumn<int>("dayOffset");
        QTest::addColumn<bool>("changes");
        QTest::newRow("shown day") << 0 << true;
        QTest::newRow("another day, same trip code") << 1 << false;
    }
    void notificationOfTheShownDayOnly()
    {
        QFETCH(int, dayOffset);
        QFETCH(bool, changes);
        Station st;
        seed(st);
        auto f = st.open();
        CheckService svc(st.db, cg::test::fixtureClock());
        svc.AddAppearanceCheckResult(st.station.context, today().addDays(dayOffset), u"K001"_s, u"粤A10001"_s,
                                     cg::test::fixtureNow(), false, u"王工"_s);
        notifier(*f)->poll();
        QCoreApplication::processEvents();
        QCOMPARE(IsLampRed(grid(&*f), 1, frmFaceCheck::ColLamp), changes);
        QCOMPARE(grid(&*f)->textMatrix(1, frmFaceCheck::ColCount), changes ? u"1"_s : QString());
        QCOMPARE(grid(&*f)->textMatrix(1, frmFaceCheck::ColChecker), changes ? u"王工"_s : u"孙检"_s);
        QCOMPARE(LampCellColor(grid(&*f), 2, frmFaceCheck::ColLamp), LampYellow);
    }

    void quickVerdicts()
    {
        Station st;
        seed(st);
        auto f = st.open();
        // No data row selected: nothing is asked.
        QTest::keyClick(f.get(), Qt::Key_F4);
        test::child<QPushButton>(&*f, u"cmdStartCheck"_s)->click();
        QVERIFY(st.messages.boxes.isEmpty());
        QVERIFY(st.dialogs.isEmpty());
        clickRow(*f, 2);
        QVERIFY(!test::child<QPushButton>(&*f, u"cmdCheckList"_s)->isEnabled());
        st.messages.script = {MsgAnswer::Yes, MsgAnswer::No};
        QTest::keyClick(test::child<QLineEdit>(&*f, u"txtLicenseID"_s), Qt::Key_F5);
        QCOMPARE(st.messages.lastText(), u"您确认车容门检不合格吗？"_s);
        QCOMPARE(st.messages.boxes.last().spec.icon, MsgIcon::Critical);
        QTest::keyClick(f.get(), Qt::Key_F4);
        QCOMPARE(st.messages.lastText(), u"您确认车容门检合格吗？"_s);
        QCOMPARE(st.count(u"SELECT COUNT(*) FROM appearance_checks WHERE bus_id = 'K002' AND check_status = 2"_s), 1);
        QCOMPARE(st.count(u"SELECT COUNT(*) FROM appearance_checks"_s), 1);
        notifier(*f)->poll();
        QTRY_COMPARE(grid(&*f)->textMatrix(2, frmFaceCheck::ColCount), u"1"_s);
        clickRow(*f, 2);
        QVERIFY(test::child<QPushButton>(&*f, u"cmdCheckList"_s)->isEnabled());
        test::child<QPushButton>(&*f, u"cmdCheckList"_s)->click();
        test::child<QPushButton>(&*f, u"cmdStartCheck"_s)->click();
        const QString day = cg::test::fixtureDay().toString(u"yyyy-MM-dd"_s);
        QCOMPARE(st.dialogs, (QStringList{u"frmFaceCheckList:K002:"_s + day, u"frmRegFaceCheck:K002:"_s + day}));
        st.messages.script = {MsgAnswer::Ok};
        test::child<QPushButton>(&*f, u"cmdRemoveCheck"_s)->click();
        QCOMPARE(st.count(u"SELECT COUNT(*) FROM appearance_checks WHERE cancelled = 1"_s), 1);
    }

    void dialogLamp_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("0 yellow") << 0 << LampYellow;
        QTest::newRow("3 yellow") << 3 << LampYellow;
        QTest::newRow("4 yellow") << 4 << LampYellow;
        QTest::newRow("1 green") << 1 << LampGreen;
        QTest::newRow("5 green") << 5 << LampGreen;
        QTest::newRow("2 red") << 2 << LampRed;
    }
    void dialogLamp()
    {
        QFETCH(int, status);
        QFETCH(QColor, colour);
        test::InspectionStation st;
        seed(st);
        st.db.exec(u"UPDATE trips SET appearance_status = ? WHERE bus_id = 'K001'"_s, {status});
        frmRegFaceCheck d(st.env, st.station);
        d.setProperty("m_szBusID", u"K001"_s);
        d.setProperty("m_dtBusDate", today());
        d.show();
        QCOMPARE(test::child<QLabel>(&d, u"lblBusID"_s)->text(), u"K001"_s);
        QCOMPARE(test::child<QLabel>(&d, u"lblStartTime"_s)->text(), today().toString(u"yyyy-MM-dd"_s) + u" 08:00"_s);
        QCOMPARE(LampLabelColor(test::child<QLabel>(&d, u"lblStatus"_s)), colour);
    }

    void dialogVerdict_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("written");
        QTest::newRow("No closes without writing") << int(MsgAnswer::No) << 0 << 0;
        QTest::newRow("first check") << int(MsgAnswer::Yes) << 0 << 1;
        QTest::newRow("later check") << int(MsgAnswer::Yes) << 2 << 1;
    }
    void dialogVerdict()
    {
        QFETCH(int, answer);
        QFETCH(int, count);
        QFETCH(int, written);
        test::InspectionStation st;
        seed(st);
        frmRegFaceCheck d(st.env, st.station);
        d.m_szBusID = u"K001"_s;
        d.m_dtBusDate = today();
        d.m_szLicese = u"粤A10001"_s;
        d.m_nCount = count;
        d.show();
        st.messages.script = {MsgAnswer(answer)};
        test::child<QToolButton>(&d, u"cmdNotPass"_s)->click();
        QCOMPARE(st.messages.lastTitle(), u"车容门检"_s);
        QCOMPARE(st.count(u"SELECT COUNT(*) FROM appearance_checks WHERE check_status = 2 AND license = '粤A10001' "
                          u"AND checker = '王工'"_s),
                 written);
        QVERIFY(!d.isVisible());
    }
};

QTEST_MAIN(TestFaceCheck)
#include "tst_facecheck.moc"
