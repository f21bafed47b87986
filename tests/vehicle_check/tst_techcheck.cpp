// 车况门检: card and plate intake, the already-passed test, quick verdicts
// and their guards, undo, the record list, and rows redrawn from TechCheck.

#include "support/fixturetime.h"
#include "vehiclecheckfixture.h"
#include "support/testsupport.h"

#include "core/dates.h"
#include "widgets/grid.h"
#include "widgets/gridhelpers.h"
#include "widgets/listexport.h"
#include "services/checks/checknotifier.h"
#include "services/checks/checkservice.h"
#include "vehicle_check/checklists.h"
#include "vehicle_check/frmcondcheckitem.h"
#include "vehicle_check/frmtechcheck.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

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
    st.db.exec(u"INSERT INTO vehicles (license_id, license, company_name, ic_card_id, is_cond) VALUES "
               u"('V1', '粤A10001', 'C01[天河运输]', '0000000001', 1), "
               u"('V2', '粤A10002', 'C01[天河运输]', '0000000002', 1), "
               u"('V3', '粤B30003', 'C02[白云客运]', '0000000003', 0)"_s);
}

void pass(test::InspectionStation &st, const QString &plate, const QDateTime &when)
{
    st.db.exec(u"INSERT INTO condition_checks (station_code, license, check_date, cond_index, cond_status, cond_checker, "
               u"cond_time, started_at) VALUES ('440100001', ?, ?, 1, 1, '李检', ?, ?)"_s,
               {plate, QDateTime(when.date(), QTime(0, 0)), when, when});
}

struct Station : test::InspectionStation {
    QList<QVariantMap> dialogs; // the members of each dialog run
    QStringList dialogNames;
    int itemCount = -1;
    QString itemModel; // the 车型 the item dialog showed
    std::unique_ptr<frmTechCheck> open()
    {
        auto f = std::make_unique<frmTechCheck>(env, station);
        f->runDialog = [this](QDialog *d) {
            dialogNames << d->objectName();
            if (auto *item = qobject_cast<frmCondCheckItem *>(d)) {
                itemCount = item->m_nCount;
                itemModel = test::child<QLabel>(&*item, u"lblBuskind"_s)->text();
            }
            dialogs << QVariantMap{{u"m_szParentForm"_s, d->property("m_szParentForm")},
                                   {u"m_szLicense"_s, d->property("m_szLicense")},
                                   {u"m_nCount"_s, d->property("m_nCount")},
                                   {u"m_dtBusDate"_s, d->property("m_dtBusDate")}};
            return int(QDialog::Rejected);
        };
        f->show();
        return f;
    }
};

int rowOf(frmTechCheck &f, const QString &plate)
{
    for (int r = 1; r < grid(&f)->rows(); ++r)
        if (grid(&f)->textMatrix(r, 0) == plate)
            return r;
    return -1;
}

void clickRow(frmTechCheck &f, int row)
{
    const QRect rect = grid(&f)->visualItemRect(grid(&f)->item(row, 0));
    QTest::mouseClick(grid(&f)->viewport(), Qt::LeftButton, {}, rect.center());
}

} // namespace

class TestTechCheck : public QObject {
    Q_OBJECT
private slots:
    void listShowsTheConditionState()
    {
        Station st;
        seed(st);
        pass(st, u"粤A10002"_s, cg::test::fixtureNow().addSecs(-60));
        auto f = st.open();
        // V3 needs no check and was not checked today: not listed.
        QCOMPARE(grid(&*f)->dataRows(), 2);
        QCOMPARE(grid(&*f)->textMatrix(1, 0), u"粤A10002"_s); // latest check first
        QVERIFY(IsLampGreen(grid(&*f), 1, frmTechCheck::ColCond));
        QCOMPARE(grid(&*f)->textMatrix(1, frmTechCheck::ColCompany), u"天河运输"_s);
        QCOMPARE(grid(&*f)->textMatrix(1, frmTechCheck::ColCount), u"1"_s);
        QVERIFY(grid(&*f)->textMatrix(1, frmTechCheck::ColTime).contains(u"年"_s));
        QCOMPARE(LampCellColor(grid(&*f), 2, frmTechCheck::ColCond), LampYellow);
        QCOMPARE(grid(&*f)->textMatrix(2, frmTechCheck::ColTime), QString());
        QCOMPARE(st.status.panels[1], u"查询完毕,  共2条记录"_s);
        test::child<QCheckBox>(&*f, u"chkIsToday"_s)->setChecked(true);
        QTest::keyClick(test::child<QLineEdit>(&*f, u"txtLicense"_s), Qt::Key_F8);
        QCOMPARE(grid(&*f)->dataRows(), 1);
    }

    void entryLength_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("box");   // the message shown, "" for none
        QTest::addColumn<int>("rows");      // rows listed afterwards
        QTest::newRow("9 characters search plates") << u"000000001"_s << QString() << 0;
        QTest::newRow("11 characters search plates") << u"00000000011"_s << QString() << 0;
        QTest::newRow("plate part") << u"A1000"_s << QString() << 2;
        QTest::newRow("unknown card") << u"0000000099"_s << u"此IC卡号的车辆不存在！"_s << 2;
    }
    void entryLength()
    {
        QFETCH(QString, entry);
        QFETCH(QString, box);
        QFETCH(int, rows);
        Station st;
        seed(st);
        auto f = st.open();
        QTest::keyClicks(test::child<QLineEdit>(&*f, u"txtLicense"_s), entry);
        QTest::keyClick(test::child<QLineEdit>(&*f, u"txtLicense"_s), Qt::Key_Return);
        QCOMPARE(st.messages.lastText(), box);
        QCOMPARE(grid(&*f)->dataRows(), rows);
        QCOMPARE(test::child<QLineEdit>(&*f, u"txtLicense"_s)->text(), QString());
        QVERIFY(st.dialogs.isEmpty());
        QCOMPARE(st.count(u"SELECT COUNT(*) FROM condition_checks"_s), 0);
    }

    void cardTakesTheVehicleIn_data()
    {
        QTest::addColumn<int>("passedDaysAgo"); // -1: never checked
        QTest::addColumn<bool>("refused");
        QTest::newRow("never checked") << -1 << false;
        QTest::newRow("passed yesterday") << 1 << false;
        QTest::newRow("passed earlier today") << 0 << true;
    }
    void cardTakesTheVehicleIn()
    {
        QFETCH(int, passedDaysAgo);
        QFETCH(bool, refused);
        Station st;
        seed(st);
        const QDateTime now = cg::test::fixtureNow();
        if (passedDaysAgo == 0)
            pass(st, u"粤A10001"_s, now.addSecs(-30).date() == now.date() ? now.addSecs(-30) : now);
        else if (passedDaysAgo > 0)
            pass(st, u"粤A10001"_s, QDateTime(now.date().addDays(-passedDaysAgo), QTime(23, 59)));
        const int before = st.count(u"SELECT COUNT(*) FROM condition_checks"_s);
        auto f = st.open();
        QTest::keyClicks(test::child<QLineEdit>(&*f, u"txtLicense"_s), u"0000000001"_s);
        QTest::keyClick(test::child<QLineEdit>(&*f, u"txtLicense"_s), Qt::Key_Return);
        QCOMPARE(test::child<QLineEdit>(&*f, u"txtLicense"_s)->text(), QString());
        if (refused) {
            QCOMPARE(st.messages.notices, QStringList{u"此IC卡号的车辆已经通过安全例检！"_s});
            QVERIFY(st.dialogs.isEmpty());
            QCOMPARE(st.count(u"SELECT COUNT(*) FROM condition_checks"_s), before);
        } else {
            QVERIFY(st.messages.notices.isEmpty());
            QCOMPARE(st.dialogNames, QStringList{u"frmCondCheckItem"_s});
            QCOMPARE(st.itemCount, passedDaysAgo == 0 ? 2 : 1);
            QCOMPARE(st.count(u"SELECT COUNT(*) FROM condition_checks"_s), before + 1);
        }
    }

    void startButtonSkipsThePassedTest()
    {
        Station st;
        seed(st);
        pass(st, u"粤A10001"_s, cg::test::fixtureNow().addSecs(-30));
        auto f = st.open();
        clickRow(*f, rowOf(*f, u"粤A10001"_s));
        test::child<QPushButton>(&*f, u"cmdStartCheck"_s)->click();
        QCOMPARE(st.dialogNames, QStringList{u"frmCondCheckItem"_s});
        QCOMPARE(st.itemCount, 2);
        // The highlight follows the current row.
        QCOMPARE(grid(&*f)->cellBackColor(rowOf(*f, u"粤A10001"_s), 0), QColor(0x80, 0xFF, 0xFF));
    }

    void quickVerdictGuards_data()
    {
        QTest::addColumn<int>("lamp");
        QTest::addColumn<bool>("asks");
        QTest::newRow("yellow") << 0 << true;
        QTest::newRow("grey") << 3 << false;
        QTest::newRow("cross") << 4 << false;
    }
    void quickVerdictGuards()
    {
        QFETCH(int, lamp);
        QFETCH(bool, asks);
        Station st;
        seed(st);
        auto f = st.open();
        const int row = rowOf(*f, u"粤A10001"_s);
        emit notifier(*f)->TechCheck(u"粤A10001"_s, today(), lamp, 0, NoDate(), QString());
        clickRow(*f, row);
        QCOMPARE(test::child<QPushButton>(&*f, u"cmdStartCheck"_s)->isEnabled(), asks);
        st.messages.script = {MsgAnswer::Yes};
        QTest::keyClick(f.get(), Qt::Key_F4);
        QCOMPARE(st.messages.boxes.size(), asks ? 1 : 0);
        QCOMPARE(st.count(u"SELECT COUNT(*) FROM condition_checks WHERE cond_status = 1"_s), asks ? 1 : 0);
        if (asks)
            QCOMPARE(st.messages.lastText(), u"您确认车况合格吗？"_s);
    }

    void verdictRedrawsThroughTheNotification()
    {
        Station st;
        seed(st);
        auto f = st.open();
        // The same plate twice (a second listing) and another plate.
        grid(&*f)->addRow({u"粤A10001"_s});
        clickRow(*f, rowOf(*f, u"粤A10001"_s));
        st.messages.script = {MsgAnswer::Yes};
        QTest::keyClick(test::child<QLineEdit>(&*f, u"txtLicense"_s), Qt::Key_F5);
        QCOMPARE(st.messages.boxes.last().spec.icon, MsgIcon::Critical);
        // Nothing changes before the notification arrives.
        QCOMPARE(LampCellColor(grid(&*f), 1, frmTechCheck::ColCond), LampYellow);
        notifier(*f)->poll();
        QTRY_VERIFY(IsLampRed(grid(&*f), grid(&*f)->rows() - 1, frmTechCheck::ColCond));
        for (int r = 1; r < grid(&*f)->rows(); ++r) {
            const bool mine = grid(&*f)->textMatrix(r, 0) == u"粤A10001"_s;
            QCOMPARE(IsLampRed(grid(&*f), r, frmTechCheck::ColCond), mine);
            QCOMPARE(grid(&*f)->textMatrix(r, frmTechCheck::ColCount), mine ? u"1"_s : QString());
            QCOMPARE(grid(&*f)->textMatrix(r, frmTechCheck::ColChecker), mine ? u"王工"_s : QString());
            if (mine)
                QCOMPARE(grid(&*f)->cellForeColor(r, 0), LampRed);
        }
    }

    void itemDialogShowsTheModel_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("code with name") << u"M01[宇通ZK6120]"_s << u"宇通ZK6120"_s;
        QTest::newRow("bare text") << u"金龙XMQ6127 "_s << u"金龙XMQ6127"_s;
        QTest::newRow("none") << QString() << QString();
    }
    void itemDialogShowsTheModel()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        Station st;
        seed(st);
        st.db.exec(u"UPDATE vehicles SET model_id = ? WHERE license_id = 'V1'"_s, {stored});
        auto f = st.open();
        QTest::keyClicks(test::child<QLineEdit>(&*f, u"txtLicense"_s), u"0000000001"_s);
        QTest::keyClick(test::child<QLineEdit>(&*f, u"txtLicense"_s), Qt::Key_Return);
        QCOMPARE(st.dialogNames, QStringList{u"frmCondCheckItem"_s});
        QCOMPARE(st.itemModel, shown);
    }

    void withdrawnFailureTurnsTheTextBlack()
    {
        Station st;
        seed(st);
        auto f = st.open();
        const int row = rowOf(*f, u"粤A10001"_s);
        emit notifier(*f)->TechCheck(u"粤A10001"_s, today(), 2, 1, QDateTime::currentDateTime(), u"王工"_s);
        QCOMPARE(grid(&*f)->cellForeColor(row, frmTechCheck::ColLicense), LampRed);
        // 撤消检查: the lamp goes back to yellow, and the text to black.
        emit notifier(*f)->TechCheck(u"粤A10001"_s, today(), 0, 0, QDateTime(), QString());
        QCOMPARE(LampCellColor(grid(&*f), row, frmTechCheck::ColCond), LampYellow);
        for (int c : {int(frmTechCheck::ColLicense), int(frmTechCheck::ColCompany), int(frmTechCheck::ColCount)})
            QCOMPARE(grid(&*f)->cellForeColor(row, c), QColor(0, 0, 0));
    }

    void exportsTheVehicleList()
    {
        Station st;
        seed(st);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"vehicles.xlsx"_s);
        test::ScriptedFileChooser files;
        files.answers = {path};
        st.env.files = &files;
        auto f = st.open();
        IListReport *report = ListReportOf(f.get());
        QVERIFY(report);
        report->ExportFile();
        QVERIFY(QFileInfo(path).size() > 0);
        QCOMPARE(files.calls.size(), 1);
        QCOMPARE(files.calls.first().title, u"当前表格导出至..."_s);
    }

    void undo_data()
    {
        QTest::addColumn<bool>("checked");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("checked row, OK") << true << int(MsgAnswer::Ok) << true;
        QTest::newRow("checked row, Cancel") << true << int(MsgAnswer::Cancel) << false;
        QTest::newRow("empty check time is an error") << false << int(MsgAnswer::Ok) << false;
    }
    void undo()
    {
        QFETCH(bool, checked);
        QFETCH(int, answer);
        QFETCH(bool, cancelled);
        Station st;
        seed(st);
        if (checked)
            pass(st, u"粤A10001"_s, cg::test::fixtureNow().addSecs(-30));
        auto f = st.open();
        // A counted row whose check time is missing offers the undo all the same.
        if (!checked)
            emit notifier(*f)->TechCheck(u"粤A10001"_s, today(), 2, 1, QDateTime(), u"王工"_s);
        clickRow(*f, rowOf(*f, u"粤A10001"_s));
        st.messages.script = {MsgAnswer(answer)};
        test::child<QPushButton>(&*f, u"cmdRemoveCheck"_s)->click();
        QCOMPARE(st.messages.boxes.first().spec.title, u"车况门检撤消"_s);
        QCOMPARE(st.count(u"SELECT COUNT(*) FROM condition_checks WHERE cancelled = 1"_s), cancelled ? 1 : 0);
        if (!checked)
            QVERIFY(st.messages.lastTitle().startsWith(u"错误-"_s));
    }

    void recordListGetsTheRow()
    {
        Station st;
        seed(st);
        pass(st, u"粤A10002"_s, cg::test::fixtureNow().addSecs(-30));
        auto f = st.open();
        clickRow(*f, rowOf(*f, u"粤A10002"_s));
        QVERIFY(test::child<QPushButton>(&*f, u"cmdCheckList"_s)->isEnabled());
        test::child<QPushButton>(&*f, u"cmdCheckList"_s)->click();
        QCOMPARE(st.dialogNames, QStringList{u"frmTeckCheckList"_s});
        QCOMPARE(st.dialogs[0].value(u"m_szParentForm"_s).toString(), u"frmTechCheck"_s);
        QCOMPARE(st.dialogs[0].value(u"m_szLicense"_s).toString(), u"粤A10002"_s);
        QCOMPARE(st.dialogs[0].value(u"m_nCount"_s).toInt(), 1);
        QCOMPARE(st.dialogs[0].value(u"m_dtBusDate"_s).toDateTime(), today());
        // A row never checked offers neither the list nor the undo.
        clickRow(*f, rowOf(*f, u"粤A10001"_s));
        QVERIFY(!test::child<QPushButton>(&*f, u"cmdCheckList"_s)->isEnabled());
        QVERIFY(!test::child<QPushButton>(&*f, u"cmdRemoveCheck"_s)->isEnabled());
        QVERIFY(test::child<QPushButton>(&*f, u"cmdStartCheck"_s)->isEnabled());
    }
};

QTEST_MAIN(TestTechCheck)
#include "tst_techcheck.moc"
