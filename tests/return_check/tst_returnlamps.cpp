// The return lamps of the other stations follow ReturnCheck: a return
// registered and then cancelled at the return check station turns the
// dispatch centre's hidden 回场状态 lamp of every trip of that vehicle green
// and back to yellow, without a refresh.

#include "support/fixturetime.h"
#include "support/testsupport.h"
#include "../vehicle_check/vehiclecheckfixture.h"

#include "dispatch/frmenvbusdesk.h"
#include "return_check/frmreturncheck.h"
#include "widgets/grid.h"
#include "widgets/gridhelpers.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace cg;

class TestReturnLamps : public QObject {
    Q_OBJECT
private slots:
    void dispatchCentreFollowsReturns()
    {
        test::InspectionStation st;
        st.station.params.BeforeMinute = u"30"_s;
        st.db.exec(u"INSERT INTO vehicles (license_id, license, ic_card_id) VALUES "
                   u"('V1', '粤A10001', '0000000001'), ('V2', '粤A10002', '0000000002')"_s);
        const QDateTime day(cg::test::fixtureDay(), QTime(0, 0));
        for (const auto &[id, vid, plate, hour] : {std::tuple{u"K101"_s, u"V1"_s, u"粤A10001"_s, 11},
                                                   std::tuple{u"K102"_s, u"V2"_s, u"粤A10002"_s, 12},
                                                   std::tuple{u"K103"_s, u"V1"_s, u"粤A10001"_s, 13}})
            st.db.exec(u"INSERT INTO trips (station_code, bus_date, bus_id, bus_start_time, unit_code, license_id, license_tag_no) "
                       u"VALUES ('440100001', ?, ?, ?, '440101', ?, ?)"_s,
                       {day, id, day.addSecs(hour * 3600), vid, plate});
        frmEnvBusDesk desk(st.env, st.station);
        desk.show();
        frmReturnCheck returns(st.env, st.station);
        returns.show();
        FlexGrid *grid = test::child<FlexGrid>(&desk, u"vsList"_s);
        QCOMPARE(grid->dataRows(), 3);
        const int k101 = grid->fixedRows(), k102 = k101 + 1, k103 = k101 + 2;
        QCOMPARE(grid->textMatrix(k103, frmEnvBusDesk::ColBusId), u"K103"_s);
        for (int r : {k101, k102, k103})
            QCOMPARE(LampCellColor(grid, r, frmEnvBusDesk::ColReturn), LampYellow);

        test::child<QLineEdit>(&returns, u"txtLicense"_s)->setText(u"0000000001"_s);
        QTest::keyClick(test::child<QLineEdit>(&returns, u"txtLicense"_s), Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(IsLampGreen(grid, k103, frmEnvBusDesk::ColReturn), 5000);
        QVERIFY(IsLampGreen(grid, k101, frmEnvBusDesk::ColReturn));
        QCOMPARE(LampCellColor(grid, k102, frmEnvBusDesk::ColReturn), LampYellow);

        // Cancelled at the return station: yellow again everywhere.
        FlexGrid *returnList = test::child<FlexGrid>(&returns, u"vsList"_s);
        QTRY_VERIFY_WITH_TIMEOUT(IsLampGreen(returnList, 1, frmReturnCheck::ColStatus), 5000);
        returnList->setCurrent(1, frmReturnCheck::ColLicenseId);
        QVERIFY(test::child<QPushButton>(&returns, u"cmdRemoveCheck"_s)->isEnabled());
        QTest::mouseClick(test::child<QPushButton>(&returns, u"cmdRemoveCheck"_s), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(LampCellColor(grid, k101, frmEnvBusDesk::ColReturn), LampYellow, 5000);
        QCOMPARE(LampCellColor(grid, k103, frmEnvBusDesk::ColReturn), LampYellow);
    }
};

QTEST_MAIN(TestReturnLamps)
#include "tst_returnlamps.moc"
