#include "frmvehiclemain.h"

#include "frmvehicle.h"

#include "core/clock.h"
#include "core/dates.h"
#include "core/sqlliteral.h"
#include "core/text.h"
#include "services/masterdata/vehicleservice.h"
#include "stationui/recordscreen.h"
#include "stationui/stationscreen.h"
#include "widgets/grid.h"
#include "widgets/gridhelpers.h"
#include "widgets/messages.h"

#include <QComboBox>
#include <QDateEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace cg {

namespace {
const QString kAnyNature = u"车辆性质"_s;
const QString kAllVehicles = u"全部车辆"_s;
const QString kNotArranged = u"未排班"_s;
const QString kArranged = u"已排班"_s;
} // namespace

frmVehicleMain::frmVehicleMain(const Env &env, StationContext &station, QWidget *parent)
    : RegisterScreen(env, station, u"frmVehicleMain"_s, u"车辆档案"_s, parent)
{
    txtLicenseID = addFilterBox(QString(), u"txtLicenseID"_s, u"(车辆编号)"_s);
    txtLicense = addFilterBox(QString(), u"txtLicense"_s, u"(输入车牌号)"_s);
    txtICCard = addFilterBox(QString(), u"txtICCard"_s, u"(IC卡号)"_s);
    for (PlaceholderBox *box : {txtLicenseID, txtLicense, txtICCard})
        box->setMinimumWidth(100);
    cboStatus = new QComboBox(this);
    cboStatus->setObjectName(u"cboStatus"_s);
    addFilterWidget(u"车辆状态:"_s, cboStatus);
    cboServiceKind = new QComboBox(this);
    cboServiceKind->setObjectName(u"cboServiceKind"_s);
    addFilterWidget(u"车辆性质:"_s, cboServiceKind);
    cboArrange = new QComboBox(this);
    cboArrange->setObjectName(u"cboArrange"_s);
    cboArrange->addItems({kAllVehicles, kNotArranged, kArranged});
    addFilterWidget(u"是否排班:"_s, cboArrange);
    dtpArrangeDate = RecordDatePicker(u"dtpArrangeDate"_s, this);
    addFilterWidget(u"排班日期:"_s, dtpArrangeDate);

    addRegisterButtons();
    setKeyField(u"license_id"_s);
    setupGrid({u"序"_s, u"车辆代码"_s, u"车牌号"_s, u"车辆性质"_s, u"IC卡号"_s, u"备注"_s, u"回场状态"_s, u"安全例检"_s,
               u"回场时间"_s});
    setNoRowNotice(u"先查询出并选择一辆车！"_s);
    QFont font = vsList->font();
    font.setPointSize(11);
    vsList->setFont(font);

    // 全部车辆 needs no date; choosing either other item puts today in the
    // date, so the choice is never silently ignored for want of one.
    connect(cboArrange, &QComboBox::currentIndexChanged, this, [this] {
        if (cboArrange->currentText() == kAllVehicles) {
            dtpArrangeDate->setDate(NoDate().date());
            dtpArrangeDate->setEnabled(false);
        } else {
            dtpArrangeDate->setEnabled(true);
            dtpArrangeDate->setDate(m_env.clock->today());
        }
    });
    Trap(*m_env.messages, [this] { resetFilters(); });
}

frmVehicleMain::~frmVehicleMain() = default;

void frmVehicleMain::resetFilters()
{
    for (PlaceholderBox *box : {txtLicenseID, txtLicense, txtICCard})
        box->resetToPlaceholder();
    cboStatus->clear();
    cboStatus->addItem(u"正常"_s, 0);
    cboStatus->addItem(u"停班"_s, 1);
    cboStatus->setCurrentIndex(0);
    cboArrange->setCurrentIndex(0);
    dtpArrangeDate->setDate(NoDate().date());
    dtpArrangeDate->setEnabled(false);
    m_presetFragment.clear();
    FillCodeCombo(cboServiceKind, m_station, 5, kAnyNature);
}

void frmVehicleMain::setType(const QString &type)
{
    m_type = type;
    resetFilters();
    if (type == u"2"_s || type == u"3"_s) {
        cboArrange->setCurrentIndex(FindComboItem(cboArrange, type == u"2"_s ? kArranged : kNotArranged));
        dtpArrangeDate->setDate(m_env.clock->today());
    } else if (type == u"4"_s) {
        m_presetFragment = u" 1=1 AND cond_status = "_s + QString::number(2);
    } else if (type == u"5"_s) {
        m_presetFragment = u" 1=1 AND service_kind like '%临时%' "_s;
    } else {
        return; // every vehicle: listed on 查询
    }
    Trap(*m_env.messages, [this] { cmdQuery_Click(); });
}

QString frmVehicleMain::Fragment() const
{
    if (!m_presetFragment.isEmpty())
        return m_presetFragment;
    QString where = u" 1=1 "_s;
    if (const QString t = txtLicenseID->filterText(); !t.isEmpty())
        where += FourWayMatch(u" AND ( "_s, u"license_id"_s, t);
    if (const QString p = txtLicense->filterText(); !p.isEmpty())
        where += FourWayMatch(u" AND ( "_s, u"license"_s, p);
    if (const QString c = txtICCard->filterText(); !c.isEmpty())
        where += u" AND  ic_card_id = "_s + SqlLiteral(c);
    where += u" AND Status = "_s + QString::number(cboStatus->currentData().toInt());
    if (cboServiceKind->currentText() != kAnyNature)
        where += u" AND service_kind = "_s + SqlLiteral(cboServiceKind->currentText());
    return where;
}

void frmVehicleMain::cmdQuery_Click()
{
    QDateTime day = NoDate();
    bool arranged = false;
    if (cboArrange->currentText() != kAllVehicles && dtpArrangeDate->date() != NoDate().date()) {
        day = QDateTime(dtpArrangeDate->date(), QTime(0, 0));
        arranged = cboArrange->currentText() == kArranged;
    }
    const QString where = Fragment();
    m_lamps.clear();
    runListQuery([&] {
        VehicleService vehicles(*m_station.db, *m_env.clock);
        return vehicles.QueryVehicles(m_station.context, where, u" license_id "_s, day, arranged);
    });
    // The next query lists the 正常 vehicles of every nature unless the
    // filters are set again.
    resetFilters();
}

void frmVehicleMain::writeRow(int r, const RecordSet &rs)
{
    const auto text = [&](const QString &field) { return FieldValue(rs, field).toString(); };
    vsList->setTextMatrix(r, ColCode, text(u"license_id"_s));
    vsList->setTextMatrix(r, ColPlate, text(u"license"_s));
    vsList->setTextMatrix(r, ColNature, text(u"service_kind"_s));
    vsList->setTextMatrix(r, ColCard, text(u"ic_card_id"_s));
    vsList->setTextMatrix(r, ColRemark,
                          u"所属公司:[%1]车主:[%2]车型:[%3]座位数:[%4]"_s.arg(
                              BracketInner(text(u"company_name"_s)), BracketInner(text(u"Owner"_s)),
                              BracketInner(text(u"model_id"_s)), text(u"seat_weight_num"_s)));
    const int returnCode = FieldValue(rs, u"return_status"_s).toInt();
    const int conditionCode = FieldValue(rs, u"cond_status"_s).toInt();
    SetLampCell(vsList, r, ColReturn, returnCode);
    SetLampCell(vsList, r, ColCondition, conditionCode);
    m_lamps.insert(recordKey(rs), {returnCode, conditionCode});
    // A vehicle not back (or whose return was cancelled) shows no time, also
    // when its row is rewritten after an earlier return.
    const QDateTime back = FieldValue(rs, u"return_time"_s).toDateTime();
    vsList->setTextMatrix(r, ColReturnTime,
                          back.isValid() && !IsNoDate(back) ? back.toString(u"yyyy年MM月dd日 HH:mm"_s) : QString());
}

int frmVehicleMain::returnLamp(int row) const
{
    return m_lamps.value(vsList->rowData(row).toString(), {-1, -1}).first;
}

int frmVehicleMain::conditionLamp(int row) const
{
    return m_lamps.value(vsList->rowData(row).toString(), {-1, -1}).second;
}

RecordSet frmVehicleMain::lookupRecord(const QString &key, Lookup)
{
    VehicleService vehicles(*m_station.db, *m_env.clock);
    return vehicles.QueryVehicles(m_station.context, u" license_id = "_s + SqlLiteral(key), QString(), NoDate(),
                                  true);
}

bool frmVehicleMain::deleteRecord(const QString &key, QString *reason)
{
    VehicleService vehicles(*m_station.db, *m_env.clock);
    return vehicles.DeleteVehicle(m_station.context, key, reason);
}

void frmVehicleMain::cmdDelete_Click()
{
    const QString key = currentKey();
    if (key.isEmpty())
        return; // nothing chosen: nothing to do, no notice
    DeleOneInfoLine(key);
}

RecordScreen *frmVehicleMain::makeRecordScreen()
{
    return new frmVehicle(m_env, m_station, this);
}

frmVehicle *frmVehicleMain::recordScreen() const
{
    return qobject_cast<frmVehicle *>(record());
}

} // namespace cg
