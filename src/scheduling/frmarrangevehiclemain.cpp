#include "frmarrangevehiclemain.h"

#include "frmgeneratearrangevehicle.h"
#include "frmmodifyarrangevehicle.h"
#include "frmschmechange.h"

#include "core/clock.h"
#include "core/dates.h"
#include "core/sqlliteral.h"
#include "core/text.h"
#include "services/scheduling/arrangementservice.h"
#include "stationui/stationscreen.h"
#include "widgets/grid.h"
#include "widgets/messages.h"

#include <QComboBox>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace cg {

QString ArrangementRow::key() const
{
    return JoinCodeName(driver, vehicle) + u"@"_s + start.toString(Qt::ISODate);
}

ArrangementRow ArrangementRow::fromKey(const QString &key)
{
    ArrangementRow row;
    const QString pair = key.section(u'@', 0, 0);
    row.vehicle = BracketInner(pair, &row.driver);
    if (!pair.contains(u'['))
        row.vehicle.clear();
    row.start = QDate::fromString(key.section(u'@', 1), Qt::ISODate);
    return row;
}

frmArrangeVehicleMain::frmArrangeVehicleMain(const Env &env, StationContext &station, QWidget *parent)
    : RegisterScreen(env, station, u"frmArrangeVehicleMain"_s, u"驾驶员车辆管理"_s, parent)
{
    txtDriverID = addFilterBox(u"驾驶员代码："_s, u"txtDriverID"_s, QString());
    txtDriverName = addFilterBox(u"驾驶员姓名："_s, u"txtDriverName"_s, QString());
    txtLicenseID = addFilterBox(u"车辆代码："_s, u"txtLicenseID"_s, QString());
    txtLicense = addFilterBox(u"车牌号："_s, u"txtLicense"_s, QString());
    for (PlaceholderBox *box : {txtDriverID, txtDriverName, txtLicenseID, txtLicense})
        box->setMinimumWidth(90);
    cboCompany = new QComboBox(this);
    cboCompany->setObjectName(u"cboCompany"_s);
    cboCompany->setMinimumContentsLength(8);
    addFilterWidget(u"参运公司："_s, cboCompany);
    addRegisterButtons();
    QPushButton *cmdChange = addButton(u"cmdChange"_s, u"顶班"_s);
    setupGrid({u"序"_s, u"驾驶员"_s, u"车牌号"_s, u"型号"_s, u"开始时间"_s, u"结束时间"_s, u"车主"_s, u"参运公司"_s,
               u"备注"_s, QString()});
    setNoRowNotice(u"请先选择一行!"_s);
    runDialog = [](QDialog &dialog) { dialog.exec(); };

    connect(cmdChange, &QPushButton::clicked, this, TrappedSlot(*m_env.messages, this, &frmArrangeVehicleMain::cmdChange_Click));
    Trap(*m_env.messages, [this] { FillCodeCombo(cboCompany, m_station, 7, u""_s); });
}

frmArrangeVehicleMain::~frmArrangeVehicleMain() = default;

QString frmArrangeVehicleMain::Fragment() const
{
    QString where = u" 1=1 "_s;
    const auto add = [&](const PlaceholderBox *box, const QString &open, const QString &column) {
        if (const QString t = box->filterText().trimmed(); !t.isEmpty())
            where += ExactFirstMatch(open, column, t);
    };
    add(txtDriverID, u" AND("_s, u"vd.driver_id"_s);
    add(txtDriverName, u" AND("_s, u"vd.driver_name"_s);
    add(txtLicenseID, u" AND("_s, u"vd.license_id"_s);
    add(txtLicense, u" AND("_s, u"v.license"_s);
    if (const QString company = cboCompany->currentText(); !company.isEmpty())
        where += u" AND v.company_name = "_s + SqlLiteral(company);
    return where;
}

void frmArrangeVehicleMain::cmdQuery_Click()
{
    const QString where = Fragment();
    m_rows.clear();
    runListQuery([&] {
        ArrangementService arrangements(*m_station.db);
        return arrangements.QueryArrangements(m_station.context, where, QString(), QString(), NoDate(),
                                              u" vd.driver_id "_s);
    });
}

void frmArrangeVehicleMain::writeRow(int r, const RecordSet &rs)
{
    const auto text = [&](const QString &field) { return FieldValue(rs, field).toString(); };
    ArrangementRow row;
    row.vehicle = text(u"license_id"_s);
    row.driver = text(u"driver_id"_s);
    row.start = FieldValue(rs, u"start_date"_s).toDateTime().date();
    row.end = FieldValue(rs, u"end_date"_s).toDateTime().date();
    row.driverName = text(u"driver_name"_s);
    row.plate = text(u"license"_s);
    row.memo = text(u"Memo"_s);
    vsList->setTextMatrix(r, ColDriver, row.driverName);
    vsList->setTextMatrix(r, ColPlate, row.plate);
    vsList->setTextMatrix(r, ColModel, text(u"model_id"_s));
    vsList->setTextMatrix(r, ColStart, row.start.toString(u"yyyy年MM月dd日"_s));
    vsList->setTextMatrix(r, ColEnd, row.end.toString(u"yyyy年MM月dd日"_s));
    vsList->setTextMatrix(r, ColOwner, text(u"Owner"_s));
    vsList->setTextMatrix(r, ColCompany, BracketInner(text(u"company_name"_s)));
    vsList->setTextMatrix(r, ColMemo, row.memo);
    m_rows.insert(row.key(), row);
}

QString frmArrangeVehicleMain::recordKey(const RecordSet &rs) const
{
    ArrangementRow row;
    row.vehicle = FieldValue(rs, u"license_id"_s).toString();
    row.driver = FieldValue(rs, u"driver_id"_s).toString();
    row.start = FieldValue(rs, u"start_date"_s).toDateTime().date();
    return row.key();
}

ArrangementRow frmArrangeVehicleMain::rowArrangement(int row) const
{
    if (row < vsList->fixedRows() || row >= vsList->rows())
        return {};
    return m_rows.value(vsList->rowData(row).toString());
}

RecordSet frmArrangeVehicleMain::lookupRecord(const QString &key, Lookup)
{
    const ArrangementRow row = ArrangementRow::fromKey(key);
    ArrangementService arrangements(*m_station.db);
    return arrangements.QueryArrangements(m_station.context, QString(), row.driver, row.vehicle,
                                          QDateTime(row.start, QTime(0, 0)), QString());
}

bool frmArrangeVehicleMain::deleteRecord(const QString &key, QString *reason)
{
    const ArrangementRow row = ArrangementRow::fromKey(key);
    ArrangementService arrangements(*m_station.db);
    return arrangements.DeleteArrangement(m_station.context, row.vehicle, row.driver,
                                          QDateTime(row.start, QTime(0, 0)), reason);
}

void frmArrangeVehicleMain::UpdateOneLine(const QString &vehicle, const QString &driver, const QDate &newStart,
                                          const QString &originalKey)
{
    ArrangementRow found;
    found.vehicle = vehicle;
    found.driver = driver;
    found.start = newStart;
    ReplaceOneLine(originalKey, found.key());
}

void frmArrangeVehicleMain::cmdAdd_Click()
{
    frmGenerateArrangeVehicle dialog(m_env, m_station, this);
    runDialog(dialog);
}

template <class Dialog, class Fill>
void frmArrangeVehicleMain::runOnCurrentArrangement(const QString &notice, Fill fill)
{
    const ArrangementRow row = rowArrangement(vsList->row());
    if (row.vehicle.isEmpty()) {
        ShowNotice(*m_env.messages, notice);
        return;
    }
    Dialog dialog(m_env, m_station, this);
    dialog.m_szDriverID = row.driver;
    dialog.m_szDriver = row.driverName;
    dialog.m_szLicenseID = row.vehicle;
    dialog.m_szLicense = row.plate;
    fill(dialog, row);
    dialog.Open();
    runDialog(dialog);
}

void frmArrangeVehicleMain::cmdEdit_Click()
{
    runOnCurrentArrangement<frmModifyArrangeVehicle>(
        u"请先选择一行!"_s, [this](frmModifyArrangeVehicle &dialog, const ArrangementRow &row) {
            dialog.m_szMemo = row.memo;
            dialog.m_dtStartDate = QDateTime(row.start, QTime(0, 0));
            dialog.m_dtEndDate = QDateTime(row.end, QTime(0, 0));
            dialog.m_register = this;
        });
}

void frmArrangeVehicleMain::cmdChange_Click()
{
    runOnCurrentArrangement<frmSchmeChange>(u"请先选择一条记录！"_s,
                                            [](frmSchmeChange &dialog, const ArrangementRow &row) {
                                                dialog.m_dtStart = QDateTime(row.start, QTime(0, 0));
                                                dialog.m_dtEnd = QDateTime(row.end, QTime(0, 0));
                                            });
}

} // namespace cg
