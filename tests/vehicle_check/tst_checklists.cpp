// The record windows: records by opener, the header lamp, the forced pass
// offered to the dispatch centre only, and members set by name through the
// form registry before the window loads.

#include "support/fixturetime.h"
#include "vehiclecheckfixture.h"
#include "support/testsupport.h"

#include "widgets/formregistry.h"
#include "widgets/grid.h"
#include "widgets/gridhelpers.h"
#include "services/checks/checkservice.h"
#include "vehicle_check/checklists.h"
#include "vehicle_check/vehiclecheckforms.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

// The form's list grid, found by its name.
FlexGrid *grid(const QWidget *form) { return test::child<FlexGrid>(form, u"vsList"_s); }

QDateTime today() { return QDateTime(cg::test::fixtureDay(), QTime(0, 0)); }

void seed(test::InspectionStation &st)
{
    st.db.exec(u"INSERT INTO vehicles (license_id, license, company_name, ic_card_id, model_id) "
               u"VALUES ('V1', '粤A10001', 'C01[天河运输]', '0000000001', '宇通ZK6120')"_s);
    st.db.exec(u"INSERT INTO trips (station_code, bus_date, bus_id, bus_start_time, license_id, license_tag_no, end_station_name, "
               u"transport_company_short_name, luggage_check_status, unit_code) "
               u"VALUES ('440100001', ?, 'K001', ?, 'V1', '粤A10001', '佛山', '天河', 2, '440101')"_s,
               {today(), today().addSecs(8 * 3600 + 5 * 60)});
}

void condCheck(test::InspectionStation &st, int index, int status, const QString &cause)
{
    const QDateTime t = cg::test::fixtureNow().addSecs(-600 + index);
    st.db.exec(u"INSERT INTO condition_checks (station_code, license_id, license, check_date, cond_index, cond_status, "
               u"cond_checker, cond_time, check_cause, started_at) VALUES ('440100001', 'V1', '粤A10001', ?, ?, ?, '李检', ?, ?, ?)"_s,
               {today(), index, status, t, cause, t});
}

template <typename Form>
std::unique_ptr<Form> open(test::InspectionStation &st, const QVariantMap &members)
{
    auto f = std::make_unique<Form>(st.env, st.station);
    for (auto it = members.begin(); it != members.end(); ++it)
        f->setProperty(it.key().toLatin1().constData(), it.value());
    f->show();
    return f;
}

} // namespace

class TestCheckLists : public QObject {
    Q_OBJECT
private slots:
    void conditionRecordsByOpener_data()
    {
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QStringList>("indexes");
        QTest::addColumn<QStringList>("causes");
        QTest::newRow("condition station") << u"frmTechCheck"_s << QStringList{u"1"_s, u"2"_s}
                                           << QStringList{u"不合格条目:灯光"_s, u"无"_s};
        QTest::newRow("gate") << u"frmOutCheck"_s << QStringList{u""_s, u""_s} << QStringList{u""_s, u""_s};
    }
    void conditionRecordsByOpener()
    {
        QFETCH(QString, parent);
        QFETCH(QStringList, indexes);
        QFETCH(QStringList, causes);
        test::InspectionStation st;
        seed(st);
        condCheck(st, 1, 2, u"不合格条目:灯光"_s);
        condCheck(st, 2, 1, u"无"_s);
        // Taken in and abandoned without a verdict: not a record, no lamp.
        condCheck(st, 3, 0, QString());
        auto f = open<frmTeckCheckList>(st, {{u"m_szParentForm"_s, parent}, {u"m_szLicense"_s, u"粤A10001"_s},
                                             {u"m_dtBusDate"_s, today()}, {u"m_szBusID"_s, u"K001"_s},
                                             {u"m_nCount"_s, 2}});
        QCOMPARE(test::child<QLabel>(&*f, u"lblLicenseID"_s)->text(), u"粤A10001"_s);
        QCOMPARE(test::child<QLabel>(&*f, u"lblCompany"_s)->text(), u"天河运输"_s);
        QCOMPARE(test::child<QLabel>(&*f, u"lblBusKind"_s)->text(), u"宇通ZK6120"_s);
        QCOMPARE(test::child<QLabel>(&*f, u"lblBusCode"_s)->text(), u"V1"_s);
        QCOMPARE(grid(&*f)->dataRows(), 2);
        QCOMPARE(grid(&*f)->textMatrix(0, 3), u"  检测时间"_s);
        QVERIFY(IsLampRed(grid(&*f), 1, 0));
        QVERIFY(IsLampGreen(grid(&*f), 2, 0));
        QCOMPARE(grid(&*f)->textMatrix(1, 2), u"李检"_s);
        QVERIFY(grid(&*f)->textMatrix(1, 3).contains(u"年"_s));
        for (int r = 0; r < 2; ++r) {
            QCOMPARE(grid(&*f)->textMatrix(r + 1, 1), indexes[r]);
            QCOMPARE(grid(&*f)->textMatrix(r + 1, 4), causes[r]);
        }
        // The last record decides the header lamp.
        QCOMPARE(LampLabelColor(test::child<QLabel>(&*f, u"lblStatus"_s)), LampGreen);
        QVERIFY(!test::child<QPushButton>(&*f, u"cmdOk"_s)->isVisible());
    }

    void noRecordsTurnTheLampYellow()
    {
        test::InspectionStation st;
        seed(st);
        frmTeckCheckList f(st.env, st.station);
        f.m_szParentForm = u"frmTechCheck"_s;
        f.m_szLicense = u"粤A10001"_s;
        f.m_dtBusDate = today();
        SetLampLabel(test::child<QLabel>(&f, u"lblStatus"_s), 1); // the opener's colour
        f.show();
        QCOMPARE(grid(&f)->dataRows(), 0);
        QCOMPARE(LampLabelColor(test::child<QLabel>(&f, u"lblStatus"_s)), LampYellow);
    }

    void forcedPass_data()
    {
        QTest::addColumn<QString>("parent");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("written");
        QTest::newRow("dispatch centre, Yes") << u"frmEnvBusDesk"_s << int(MsgAnswer::Yes) << 1;
        QTest::newRow("dispatch centre, No") << u"frmEnvBusDesk"_s << int(MsgAnswer::No) << 0;
        QTest::newRow("gate never") << u"frmOutCheck"_s << int(MsgAnswer::Yes) << 0;
    }
    void forcedPass()
    {
        QFETCH(QString, parent);
        QFETCH(int, answer);
        QFETCH(int, written);
        test::InspectionStation st;
        seed(st);
        condCheck(st, 1, 2, u"灯光"_s);
        st.db.exec(u"INSERT INTO appearance_checks (station_code, bus_date, bus_id, license, face_index, check_status, checker, "
                   u"check_time) VALUES ('440100001', ?, 'K001', '粤A10001', 1, 2, '赵检', ?)"_s,
                   {today(), cg::test::fixtureNow()});
        const QVariantMap members = {{u"m_szParentForm"_s, parent}, {u"m_szLicense"_s, u"粤A10001"_s},
                                     {u"m_dtBusDate"_s, today()}, {u"m_szBusID"_s, u"K001"_s}};
        auto cond = open<frmTeckCheckList>(st, members);
        auto face = open<frmFaceCheckList>(st, members);
        QPushButton *condPass = test::child<QPushButton>(&*cond, u"cmdOk"_s);
        QPushButton *facePass = test::child<QPushButton>(&*face, u"cmdForcePass"_s);
        QCOMPARE(condPass->isVisible(), written || answer == int(MsgAnswer::No));
        QCOMPARE(facePass->isVisible(), condPass->isVisible());
        st.messages.script = {MsgAnswer(answer), MsgAnswer(answer)};
        condPass->click();
        facePass->click();
        QCOMPARE(st.count(u"SELECT COUNT(*) FROM forced_releases WHERE pass_type = 2 AND operator_name = '王工'"_s),
                 written);
        QCOMPARE(st.count(u"SELECT COUNT(*) FROM forced_releases WHERE pass_type = 1 AND bus_id = 'K001'"_s), written);
        QCOMPARE(st.count(u"SELECT COUNT(*) FROM condition_checks WHERE cond_status = 5"_s), written);
        if (parent == u"frmEnvBusDesk"_s) {
            QCOMPARE(st.messages.boxes.size(), 2);
            QCOMPARE(st.messages.boxes[0].spec.text, u"是否要强行通过？"_s);
            QCOMPARE(st.messages.boxes[0].spec.title, u"注意"_s);
            QVERIFY(!cond->isVisible()); // closed on Yes and No alike
            QVERIFY(!face->isVisible());
            QCOMPARE(cond->m_IsOk, bool(written));
        } else {
            QVERIFY(st.messages.boxes.isEmpty());
        }
    }

    void appearanceRecords()
    {
        test::InspectionStation st;
        seed(st);
        CheckService svc(st.db, cg::test::fixtureClock());
        svc.AddAppearanceCheckResult(st.station.context, today(), u"K001"_s, u"粤A10001"_s,
                                     cg::test::fixtureNow(), false, u"赵检"_s);
        svc.UpdateAppearanceCheckResult(st.station.context, today(), u"K001"_s, u"粤A10001"_s,
                                        cg::test::fixtureNow(), true, u"钱检"_s);
        auto f = open<frmFaceCheckList>(st, {{u"m_szParentForm"_s, u"frmFaceCheck"_s},
                                             {u"m_dtBusDate"_s, today()}, {u"m_szBusID"_s, u"K001"_s}});
        QCOMPARE(f->windowTitle(), u"车容检查明细"_s);
        QCOMPARE(test::child<QLabel>(&*f, u"lblEndStation"_s)->text(), u"佛山"_s);
        QCOMPARE(test::child<QLabel>(&*f, u"lblStartTime"_s)->text(), today().toString(u"yyyy-MM-dd"_s) + u" 08:05"_s);
        QCOMPARE(grid(&*f)->dataRows(), 2);
        QCOMPARE(grid(&*f)->textMatrix(2, 1), u"2"_s);
        QCOMPARE(grid(&*f)->textMatrix(2, 2), u"钱检"_s);
        QCOMPARE(LampLabelColor(test::child<QLabel>(&*f, u"lblStatus"_s)), LampGreen);
        QVERIFY(!test::child<QPushButton>(&*f, u"cmdForcePass"_s)->isVisible());
        // Without a trip code no trip of the day stands in for it.
        auto g = open<frmFaceCheckList>(st, {{u"m_szParentForm"_s, u"frmEnvBusDesk"_s}, {u"m_dtBusDate"_s, today()}});
        QCOMPARE(test::child<QLabel>(&*g, u"lblBusID"_s)->text(), QString());
        QCOMPARE(grid(&*g)->dataRows(), 0);
    }

    void luggageCounts()
    {
        test::InspectionStation st;
        seed(st);
        st.db.exec(u"INSERT INTO luggage_counts (station_code, bus_date, bus_id, seq, station_name, accept_count, send_count) "
                   u"VALUES ('440100001', ?, 'K001', 1, '佛山', 3, 2), ('440100001', ?, 'K001', 2, '江门', 0, 0), ('440100001', ?, 'K009', 1, '肇庆', 5, 5)"_s,
                   {today(), today(), today()});
        auto f = open<frmLugCheckList>(st, {{u"m_dtBusDate"_s, today()}, {u"m_szBusID"_s, u"K001"_s}});
        QCOMPARE(grid(&*f)->dataRows(), 2);
        QCOMPARE(grid(&*f)->textMatrix(1, 1), u"3"_s);
        QCOMPARE(grid(&*f)->textMatrix(2, 0), u"江门"_s);
        QCOMPARE(LampLabelColor(test::child<QLabel>(&*f, u"lblStatus"_s)), LampRed); // luggage_check_status 2
        // A trip missing from the timetable still shows its counts.
        auto g = open<frmLugCheckList>(st, {{u"m_dtBusDate"_s, today()}, {u"m_szBusID"_s, u"K009"_s}});
        QCOMPARE(test::child<QLabel>(&*g, u"lblBusID"_s)->text(), QString());
        QCOMPARE(grid(&*g)->dataRows(), 1);
    }

    void membersThroughTheRegistry()
    {
        test::InspectionStation st;
        seed(st);
        condCheck(st, 1, 1, u"无"_s);
        FormRegistry registry;
        RegisterVehicleCheckForms(registry, st.env, st.station);
        for (const char *name : {"frmBaseDefine", "frmCondCheckItem", "frmTeckCheckList", "frmFaceCheckList",
                                 "frmLugCheckList"})
            QVERIFY2(registry.contains(QString::fromLatin1(name)), name);
        int rows = -1;
        registry.setBeforeShowHook([&](QWidget *w) {
            QTimer::singleShot(0, w, [&rows, w] {
                rows = w->findChild<FlexGrid *>(u"vsList"_s)->dataRows();
                w->close();
            });
        });
        const QVariantMap result = registry.runModal(nullptr, u"frmTeckCheckList"_s,
                                                     {{u"m_szParentForm"_s, u"frmEnvBusDesk"_s},
                                                      {u"m_szLicense"_s, u"粤A10001"_s},
                                                      {u"m_dtBusDate"_s, today()},
                                                      {u"m_szBusID"_s, u"K001"_s}});
        QCOMPARE(rows, 1);
        QCOMPARE(result.value(u"m_szLicense"_s).toString(), u"粤A10001"_s);
        QCOMPARE(result.value(u"m_IsOk"_s).toBool(), false);
    }
};

QTEST_MAIN(TestCheckLists)
#include "tst_checklists.moc"
