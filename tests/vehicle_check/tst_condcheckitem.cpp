// 车况检验: the remark kept in step with the item marks, the cause combo,
// the byte limit, and the verdicts with their refusals and the check sheet.

#include "vehiclecheckfixture.h"
#include "support/testsupport.h"

#include "widgets/grid.h"
#include "vehicle_check/frmcondcheckitem.h"

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

// The form's list grid, found by its name.
FlexGrid *grid(const QWidget *form) { return test::child<FlexGrid>(form, u"vsList"_s); }

void seedItems(test::InspectionStation &st, const QStringList &names)
{
    for (const QString &n : names)
        st.db.exec(u"INSERT INTO code_items (kind, name, remark) VALUES (9, ?, '')"_s, {n});
    st.db.exec(u"INSERT INTO vehicles (license_id, license, company_name, ic_card_id) "
               u"VALUES ('V1', '粤A10001', 'C01[天河运输]', '0000000001')"_s);
}

void clickCell(FlexGrid *grid, int row, int col)
{
    const QRect rect = grid->visualItemRect(grid->item(row, col));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, rect.center());
}

std::unique_ptr<frmCondCheckItem> openDialog(test::InspectionStation &st)
{
    auto f = std::make_unique<frmCondCheckItem>(st.env, st.station);
    f->m_szLicense = u"粤A10001"_s;
    f->setVehicle(u"粤A10001"_s, u"天河运输"_s, QString(), 0);
    f->Form_Load();
    f->show();
    return f;
}

QString storedRemark(test::InspectionStation &st)
{
    return st.db.scalar(u"SELECT check_cause FROM condition_checks ORDER BY id DESC LIMIT 1"_s).toString();
}

} // namespace

class TestCondCheckItem : public QObject {
    Q_OBJECT
private slots:
    void remarkFollowsMarks_data()
    {
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QList<int>>("clicks"); // data rows clicked in column 2, in order
        QTest::addColumn<QStringList>("remarks"); // the remark after each click
        const QStringList abc = {u"灯光"_s, u"轮胎"_s, u"制动"_s};
        QTest::newRow("mark A B C, unmark B A C")
            << abc << QList<int>{1, 2, 3, 2, 1, 3}
            << QStringList{u"不合格条目:灯光"_s, u"不合格条目:灯光,轮胎"_s, u"不合格条目:灯光,轮胎,制动"_s,
                           u"不合格条目:灯光,制动"_s, u"不合格条目:制动"_s, u""_s};
        QTest::newRow("unmark the first of two")
            << abc << QList<int>{1, 3, 1}
            << QStringList{u"不合格条目:灯光"_s, u"不合格条目:灯光,制动"_s, u"不合格条目:制动"_s};
        QTest::newRow("a name inside a listed one is not added")
            << QStringList{u"灯光"_s, u"灯"_s} << QList<int>{1, 2}
            << QStringList{u"不合格条目:灯光"_s, u"不合格条目:灯光"_s};
    }
    void remarkFollowsMarks()
    {
        QFETCH(QStringList, items);
        QFETCH(QList<int>, clicks);
        QFETCH(QStringList, remarks);
        test::InspectionStation st;
        seedItems(st, items);
        auto f = openDialog(st);
        QCOMPARE(grid(&*f)->dataRows(), items.size());
        QCOMPARE(grid(&*f)->textMatrix(1, 2), u"√"_s);
        for (int i = 0; i < clicks.size(); ++i) {
            const QString before = grid(&*f)->textMatrix(clicks[i], 2);
            clickCell(grid(&*f), clicks[i], 2);
            QVERIFY(grid(&*f)->textMatrix(clicks[i], 2) != before);
            QCOMPARE(test::child<QPlainTextEdit>(&*f, u"txtCheckCause"_s)->toPlainText(), remarks[i]);
        }
        // Other columns do not toggle.
        clickCell(grid(&*f), 1, 1);
        QCOMPARE(test::child<QPlainTextEdit>(&*f, u"txtCheckCause"_s)->toPlainText(), remarks.last());
    }

    void causeComboReplacesTheRemark()
    {
        test::InspectionStation st;
        seedItems(st, {u"灯光"_s});
        auto f = openDialog(st);
        clickCell(grid(&*f), 1, 2);
        test::child<QComboBox>(&*f, u"cboCause"_s)->setEditText(u"轮胎磨损"_s);
        QCOMPARE(test::child<QPlainTextEdit>(&*f, u"txtCheckCause"_s)->toPlainText(), u"轮胎磨损"_s);
        test::child<QComboBox>(&*f, u"cboCause"_s)->setCurrentIndex(0);
        test::child<QComboBox>(&*f, u"cboCause"_s)->setEditText(u"(常用不合格原因)"_s);
        QCOMPARE(test::child<QPlainTextEdit>(&*f, u"txtCheckCause"_s)->toPlainText(), QString());
    }

    void remarkCutTo255Bytes_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("chars");
        QTest::newRow("256 ascii") << QString(256, u'a') << 255;
        QTest::newRow("128 chinese") << QString(128, QChar(0x706F)) << 127;
        QTest::newRow("255 fits") << QString(255, u'b') << 255;
    }
    void remarkCutTo255Bytes()
    {
        QFETCH(QString, typed);
        QFETCH(int, chars);
        test::InspectionStation st;
        seedItems(st, {});
        auto f = openDialog(st);
        test::child<QPlainTextEdit>(&*f, u"txtCheckCause"_s)->insertPlainText(typed);
        QCOMPARE(test::child<QPlainTextEdit>(&*f, u"txtCheckCause"_s)->toPlainText().size(), chars);
    }

    void verdicts_data()
    {
        QTest::addColumn<bool>("pass");
        QTest::addColumn<QString>("license");
        QTest::addColumn<bool>("techPrint");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("stored");  // remark written, "-" for nothing
        QTest::addColumn<bool>("printed");
        QTest::addColumn<QString>("notice");
        QTest::newRow("pass with empty remark sends 无 and prints")
            << true << u"粤A10001"_s << true << int(MsgAnswer::Yes) << u"无"_s << true << QString();
        QTest::newRow("pass without TechPrint does not print")
            << true << u"粤A10001"_s << false << int(MsgAnswer::Yes) << u"无"_s << false << QString();
        QTest::newRow("No writes nothing")
            << true << u"粤A10001"_s << true << int(MsgAnswer::No) << u"-"_s << false << QString();
        QTest::newRow("returned message suppresses the sheet")
            << true << u""_s << true << int(MsgAnswer::Yes) << u"-"_s << false << u"车牌号不能为空！"_s;
    }
    void verdicts()
    {
        QFETCH(bool, pass);
        QFETCH(QString, license);
        QFETCH(bool, techPrint);
        QFETCH(int, answer);
        QFETCH(QString, stored);
        QFETCH(bool, printed);
        QFETCH(QString, notice);
        test::InspectionStation st;
        st.station.params.TechPrint = techPrint;
        seedItems(st, {u"灯光"_s});
        auto f = openDialog(st);
        f->m_szLicense = license;
        st.messages.script = {MsgAnswer(answer)};
        // The form sees F4 before the combo box does.
        QTest::keyClick(test::child<QComboBox>(&*f, u"cboCause"_s), pass ? Qt::Key_F4 : Qt::Key_F5);
        QCOMPARE(st.messages.boxes.size(), 1);
        QCOMPARE(st.messages.lastTitle(), u"车况门检"_s);
        QCOMPARE(st.messages.lastText(), u"您确认本次操作吗？"_s);
        if (stored == u"-"_s)
            QCOMPARE(st.count(u"SELECT COUNT(*) FROM condition_checks"_s), 0);
        else
            QCOMPARE(storedRemark(st), stored);
        QCOMPARE(st.opened.size(), printed ? 1 : 0);
        if (printed) {
            const QVariantMap m = st.opened[0].members;
            QCOMPARE(st.opened[0].form, u"frmPrintSheet"_s);
            QCOMPARE(m.value(u"m_SheetType"_s).toInt(), 1);
            QCOMPARE(m.value(u"m_szLicense"_s).toString(), u"粤A10001"_s);
            QCOMPARE(m.value(u"m_Company"_s).toString(), u"天河运输"_s);
            QCOMPARE(m.value(u"m_szStatus"_s).toBool(), true);
            QVERIFY(m.value(u"m_TechSheetTime"_s).toString().contains(u"年"_s));
        }
        QCOMPARE(st.messages.notices, notice.isEmpty() ? QStringList() : QStringList{notice});
        QCOMPARE(f->result(), answer == int(MsgAnswer::Yes) ? int(QDialog::Accepted) : int(QDialog::Rejected));
    }

    void notPassNeedsTheItems()
    {
        test::InspectionStation st;
        seedItems(st, {u"灯光"_s, u"轮胎"_s});
        auto f = openDialog(st);
        f->m_nCount = 1;
        test::child<QToolButton>(&*f, u"cmdNotPass"_s)->click();
        QCOMPARE(st.messages.lastText(), u"请先选择不合格条目"_s);
        QCOMPARE(st.messages.boxes.last().spec.buttons, MsgButtons::Ok);
        QCOMPARE(st.count(u"SELECT COUNT(*) FROM condition_checks"_s), 0);
        clickCell(grid(&*f), 2, 2);
        st.messages.script = {MsgAnswer::Yes};
        QTest::keyClick(test::child<QPlainTextEdit>(&*f, u"txtCheckCause"_s), Qt::Key_F5);
        QCOMPARE(storedRemark(st), u"不合格条目:轮胎"_s);
        QCOMPARE(st.count(u"SELECT COUNT(*) FROM condition_checks WHERE cond_status = 2"_s), 1);
        QVERIFY(st.opened.isEmpty()); // a failed vehicle gets no sheet
    }
};

QTEST_MAIN(TestCondCheckItem)
#include "tst_condcheckitem.moc"
