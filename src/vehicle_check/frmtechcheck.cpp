#include "frmtechcheck.h"

#include "checklists.h"
#include "core/apperror.h"
#include "core/clock.h"
#include "core/dates.h"
#include "widgets/buttons.h"
#include "widgets/grid.h"
#include "widgets/gridhelpers.h"
#include "widgets/listexport.h"
#include "widgets/messages.h"
#include "widgets/messagesink.h"
#include "core/sqlliteral.h"
#include "core/text.h"
#include "frmcondcheckitem.h"
#include "checkhelpers.h"
#include "services/checks/checknotifier.h"
#include "services/checks/checkservice.h"
#include "services/station/coreservices.h"
#include "services/masterdata/vehicleservice.h"

#include "stationui/listquery.h"
#include <QCheckBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {

namespace {
const QColor kHighlight(0x80, 0xFF, 0xFF);
const QColor kBlack(0, 0, 0);
const QList<int> kTextCols = {frmTechCheck::ColLicense, frmTechCheck::ColCompany, frmTechCheck::ColReturnTime,
                              frmTechCheck::ColCount, frmTechCheck::ColChecker, frmTechCheck::ColTime};
const QList<int> kPlainCols = {frmTechCheck::ColLicense, frmTechCheck::ColCard, frmTechCheck::ColCompany,
                               frmTechCheck::ColReturnTime, frmTechCheck::ColCount, frmTechCheck::ColChecker,
                               frmTechCheck::ColTime};
constexpr int kCardLength = 10;
} // namespace

frmTechCheck::frmTechCheck(const Env &env, StationContext &station, QWidget *parent)
    : CheckStation(env, station, u"frmTechCheck"_s, u"车况门检"_s, u"〓快捷说明:[F4]合格 [F5]不合格 [F8]查询 "_s,
                   parent),
      m_checks(std::make_unique<CheckService>(*station.db, *env.clock))
{
    vsList->setHighlightSelection(false); // the current row has its own colour
    // The File menu and the product bar export the vehicle list.
    AttachGridReport(this, m_env, vsList);
    QHBoxLayout *filterRow = this->filterRow();
    filterRow->addWidget(new QLabel(u"车牌号："_s));
    txtLicense = new QLineEdit;
    txtLicense->setObjectName(u"txtLicense"_s);
    txtLicense->setMaximumWidth(180);
    filterRow->addWidget(txtLicense);
    chkIsToday = new QCheckBox(u"今日已检测"_s);
    chkIsToday->setObjectName(u"chkIsToday"_s);
    filterRow->addWidget(chkIsToday);
    dtpDate = new QDateEdit;
    dtpDate->setObjectName(u"dtpDate"_s);
    dtpDate->setDisplayFormat(u"yyyy年MM月dd日"_s);
    filterRow->addWidget(dtpDate);
    cmdQuery = AddNamedButton(filterRow, u"cmdQuery"_s, u"查询"_s);
    cmdStartCheck = AddNamedButton(filterRow, u"cmdStartCheck"_s, u"开始检查"_s);
    cmdCheckList = AddNamedButton(filterRow, u"cmdCheckList"_s, u"检查明细"_s);
    cmdRemoveCheck = AddNamedButton(filterRow, u"cmdRemoveCheck"_s, u"撤消检查"_s);
    filterRow->addStretch();

    // Grid: 18 rows and 9 columns at first, widths in twips.
    ResetGridSize(vsList, 18, 9);
    vsList->setFixedCols(0);
    vsList->setAllCentered();
    const QStringList captions = {u"车牌号"_s, u"IC卡号"_s, u"车属公司"_s, u"回场状态"_s, u"安全例检"_s,
                                  u"回场时间"_s, u"检测次数"_s, u"检测人"_s, u"检测通过时间"_s};
    const int widths[] = {1200, 1300, 1400, 1200, 1200, 0, 1200, 1000, 3000};
    for (int c = 0; c < captions.size(); ++c) {
        vsList->setTextMatrix(0, c, captions.at(c));
        vsList->setColWidthTwips(c, widths[c]);
    }
    vsList->setColHidden(ColReturn, true);
    vsList->setColHidden(ColReturnTime, true);

    connect(txtLicense, &QLineEdit::returnPressed, this, &frmTechCheck::txtLicense_Enter);
    connectControls();

    moMsg = new CheckNotifier(*m_station.db, this);
    moMsg->Subscribe(m_station.stationCode());
    connect(moMsg, &CheckNotifier::TechCheck, this, &frmTechCheck::moMsg_TechCheck);

    dtpDate->setDate(m_env.clock->today());
    loadList();
}

frmTechCheck::~frmTechCheck() = default;

int frmTechCheck::condLamp(int row) const
{
    const QVariant code = vsList->rowData(row);
    return code.isValid() ? code.toInt() : -1;
}

void frmTechCheck::setCondLamp(int row, int status)
{
    SetLampCell(vsList, row, ColCond, status);
    vsList->setRowData(row, status);
}

QString frmTechCheck::buildFilter() const { return VehicleListFilter(txtLicense->text(), u"v.license"_s); }

void frmTechCheck::fillRow(int r, const RecordSet &rs, int i)
{
    const int status = rs.valueAt(i, u"cond_status1"_s).toInt();
    const bool checked = status == 1 || status == 2;
    vsList->setTextMatrix(r, ColLicense, rs.valueAt(i, u"license"_s).toString());
    vsList->setTextMatrix(r, ColCard, rs.valueAt(i, u"ic_card_id"_s).toString());
    vsList->setTextMatrix(r, ColCompany, BracketInner(rs.valueAt(i, u"company_name"_s).toString()));
    SetLampCell(vsList, r, ColReturn, checked ? 1 : 0);
    setCondLamp(r, status);
    if (status == 2)
        for (int c : kTextCols)
            vsList->setCellForeColor(r, c, LampRed);
    if (checked)
        vsList->setTextMatrix(r, ColReturnTime, LongDateTime(rs.valueAt(i, u"return_time"_s).toDateTime()));
    const int count = rs.valueAt(i, u"cond_check_num1"_s).toInt();
    if (checked && count != 0) {
        vsList->setTextMatrix(r, ColCount, QString::number(count));
        vsList->setTextMatrix(r, ColChecker, rs.valueAt(i, u"cond_checker1"_s).toString());
        vsList->setTextMatrix(r, ColTime, LongDateTime(rs.valueAt(i, u"cond_time1"_s).toDateTime()));
    }
}

void frmTechCheck::loadList()
{
    RunListQuery(m_env, [this] {
        const FlexGrid::BulkFill bulk(vsList);
        const QDate today = m_env.clock->today();
        const QString extra = u"( is_cond=1 or   bus_date= "_s + SqlLiteral(today) + u")"_s;
        const RecordSet rs = m_checks->QueryConditionCheckVehicles(
            m_station.context, QDateTime(today, QTime(0, 0)), QString(), buildFilter(), u" cond_time1 desc "_s, extra,
            chkIsToday->isChecked());
        vsList->setRows(1);
        m_markedRow = -1;
        for (int i = 0; i < rs.RecordCount(); ++i)
            fillRow(vsList->addRow(), rs, i);
        // Wider than the designed widths where a plate, card or company
        // name would be cut off; the hidden columns stay hidden.
        for (int c = 0; c < vsList->cols(); ++c) {
            const int designed = vsList->colWidth(c);
            vsList->autoSize(c, c);
            if (vsList->colWidth(c) < designed)
                vsList->setColWidth(c, designed);
        }
        return vsList->dataRows();
    }, ListQueryVehiclesProgressText(), ListQueryVehiclesDoneText);
}

void frmTechCheck::cmdQuery_Click()
{
    loadList();
}

void frmTechCheck::resetPlateBox()
{
    txtLicense->clear();
    txtLicense->setFocus();
}

void frmTechCheck::refuseCard(const QString &text)
{
    m_env.messages->show({u"提示"_s, text, MsgIcon::Information, MsgButtons::Ok}, this);
    resetPlateBox();
}

void frmTechCheck::txtLicense_Enter()
{
    const QString text = txtLicense->text();
    if (text.size() != kCardLength) {
        if (!text.isEmpty()) {
            cmdQuery_Click();
            resetPlateBox();
        }
        return;
    }
    trapClearingPlate([&] {
        const RecordSet v = oneVehicle(u" ic_card_id = "_s + SqlLiteral(text.trimmed()));
        if (v.RecordCount() != 1)
            return;
        const QString plate = v.valueAt(0, u"license"_s).toString();
        const QDate today = m_env.clock->today();
        const RecordSet cond = m_checks->QueryConditionCheckVehicles(
            m_station.context, QDateTime(today, QTime(0, 0)), QString(), u" v.license = "_s + SqlLiteral(plate),
            QString(), u"( is_cond=1)"_s, false);
        if (cond.RecordCount() == 0)
            throw AppError(errnum::NoCurrentRecord, u"车辆%1不需要安全例检"_s.arg(plate));
        if (cond.valueAt(0, u"cond_status1"_s).toInt() == 1 &&
            FormatDateOrDefault(cond.valueAt(0, u"cond_time1"_s).toDateTime()) >= today.toString(u"yyyy-MM-dd"_s)) {
            resetPlateBox();
            m_env.messages->notify(u"此IC卡号的车辆已经通过安全例检！"_s, this);
            return;
        }
        startCheck(v);
    });
}

RecordSet frmTechCheck::oneVehicle(const QString &filter)
{
    VehicleService vehicles(*m_station.db, *m_env.clock);
    const RecordSet v = vehicles.QueryVehicles(m_station.context, filter, QString(), NoDate(), true);
    if (v.RecordCount() == 0)
        refuseCard(u"此IC卡号的车辆不存在！"_s);
    else if (v.RecordCount() > 1)
        refuseCard(u"此IC卡号的车辆有两辆车以上！"_s);
    return v;
}

void frmTechCheck::trapClearingPlate(const std::function<void()> &handler)
{
    Trap(*m_env.messages, [&] {
        // The plate box is emptied before the error box shows, which the
        // trap alone would not do.
        try {
            handler();
        } catch (...) {
            resetPlateBox();
            throw;
        }
    });
}

void frmTechCheck::cmdStartCheck_Click()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    trapClearingPlate([&] {
        const RecordSet v = oneVehicle(u" license = "_s + SqlLiteral(vsList->textMatrix(row, ColLicense).trimmed()));
        if (v.RecordCount() == 1)
            startCheck(v);
    });
}

void frmTechCheck::startCheck(const RecordSet &v)
{
    const QString plate = v.valueAt(0, u"license"_s).toString().trimmed();
    const QString number = m_checks->StartConditionCheck(m_station.context, m_env.clock->now(),
                                                         v.valueAt(0, u"ic_card_id"_s).toString().trimmed(), plate);
    frmCondCheckItem dialog(m_env, m_station, this);
    dialog.m_szLicense = plate;
    dialog.m_nCount = number.toInt();
    // The model is stored as code[name]; a bare text shows as it is.
    const QString model = v.valueAt(0, u"model_id"_s).toString().trimmed();
    dialog.setVehicle(plate, BracketInner(v.valueAt(0, u"company_name"_s).toString()),
                      BracketInner(model).isEmpty() ? model : BracketInner(model),
                      v.valueAt(0, u"cond_status"_s).toInt());
    dialog.Form_Load();
    runDialog(&dialog);
    resetPlateBox();
}

void frmTechCheck::quickVerdict(bool passed)
{
    const int row = selectedRow();
    if (!cmdStartCheck->isEnabled() || row < 0)
        return;
    Trap(*m_env.messages, [&] {
        if (!confirmVerdict(u"车况门检"_s, u"车况"_s, passed))
            return;
        const QString plate = vsList->textMatrix(row, ColLicense);
        const QString checker = m_station.session->GetOperatorName();
        const QDateTime now = m_env.clock->now();
        if (vsList->textMatrix(row, ColCount).toInt() > 0)
            m_checks->UpdateConditionCheckResult(m_station.context, plate, now, passed, checker, QString());
        else
            m_checks->AddConditionCheckResult(m_station.context, plate, now, passed, checker, QString());
    });
}

void frmTechCheck::cmdRemoveCheck_Click()
{
    Trap(*m_env.messages, [&] {
        const int row = rowToWithdraw(u"车况门检撤消"_s);
        if (row < 0)
            return;
        const QDateTime checked = ParseDateTime(vsList->textMatrix(row, ColTime));
        if (!checked.isValid())
            throw AppError(errnum::TypeMismatch, u"类型不匹配：检测通过时间为空，不能撤消"_s);
        m_checks->CancelConditionCheck(m_station.context, QDateTime(m_env.clock->today(), QTime(0, 0)),
                                       vsList->textMatrix(row, ColLicense),
                                       DayOf(checked));
    });
}

void frmTechCheck::cmdCheckList_Click()
{
    withSelectedRow([&](int row) {
        frmTeckCheckList list(m_env, m_station, this);
        list.m_szParentForm = u"frmTechCheck"_s;
        list.m_szLicense = vsList->textMatrix(row, ColLicense);
        list.m_dtBusDate = QDateTime(m_env.clock->today(), QTime(0, 0));
        list.m_nCount = vsList->textMatrix(row, ColCount).toInt();
        QColor colour;
        if (LampLook(condLamp(row), nullptr, &colour))
            list.setLampColour(colour);
        runDialog(&list);
    });
}

void frmTechCheck::vsList_Click()
{
    const int row = selectedRow();
    if (row >= 0) {
        const int lamp = condLamp(row);
        if (lamp == 4) { // × cannot be checked
            cmdStartCheck->setEnabled(false);
            cmdCheckList->setEnabled(false);
            cmdRemoveCheck->setEnabled(false);
        } else if (lamp >= 0 && lamp <= 5) {
            const bool counted = vsList->textMatrix(row, ColCount).toInt() > 0;
            cmdCheckList->setEnabled(counted);
            cmdRemoveCheck->setEnabled(counted);
            cmdStartCheck->setEnabled(lamp != 3); // grey: needs no check
        }
    }
    // The row's own colour marks it; the lamps keep their look.
    MoveRowMark(vsList, &m_markedRow, row, kPlainCols, kHighlight);
    if (row >= 0) {
        vsList->clearSelection();
        txtLicense->setFocus();
    }
}

void frmTechCheck::moMsg_TechCheck(const QString &license, const QDateTime &, int status, int count,
                                   const QDateTime &checkTime, const QString &checker)
{
    for (int r : RowsWithText(vsList, ColLicense, license)) {
        SetLampCell(vsList, r, ColReturn, status);
        setCondLamp(r, status);
        // Red text marks a failed vehicle only: a passed or withdrawn
        // (撤消检查) check turns it black again.
        for (int c : kTextCols)
            vsList->setCellForeColor(r, c, status == 2 ? LampRed : kBlack);
        vsList->setTextMatrix(r, ColCount, count == 0 ? QString() : QString::number(count));
        const QString when = LongDateTime(checkTime);
        vsList->setTextMatrix(r, ColTime, when);
        vsList->setTextMatrix(r, ColReturnTime, when);
        vsList->setTextMatrix(r, ColChecker, checker);
    }
}

} // namespace cg
