#include "frmfacecheck.h"

#include "checklists.h"
#include "core/clock.h"
#include "core/dates.h"
#include "widgets/buttons.h"
#include "widgets/grid.h"
#include "widgets/formfields.h"
#include "widgets/gridhelpers.h"
#include "widgets/messages.h"
#include "widgets/messagesink.h"
#include "frmregfacecheck.h"
#include "checkhelpers.h"
#include "services/checks/checknotifier.h"
#include "services/checks/checkservice.h"
#include "services/station/coreservices.h"

#include "stationui/listquery.h"
#include <QCloseEvent>
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
const QString kBusPlaceholder = u"(车次代码)"_s;
const QString kPlatePlaceholder = u"(车牌号)"_s;
const QString kForm = u"frmFaceCheck"_s;
QString chineseDate(const QDate &d) { return d.toString(u"yyyy年MM月dd日"_s); }
} // namespace

frmFaceCheck::frmFaceCheck(const Env &env, StationContext &station, QWidget *parent)
    : CheckStation(env, station, kForm, u"车容检查"_s, u"〓快捷说明:[F4]合格 [F5]不合格 [F8]查询 [F9]今日车次"_s,
                   parent)
{
    // A window of its own even when the main window is its parent.
    setWindowFlag(Qt::Window);
    QHBoxLayout *filterRow = this->filterRow();
    dtpDate = DatePicker(u"dtpDate"_s, nullptr);
    txtBusID = new QLineEdit(kBusPlaceholder);
    txtBusID->setObjectName(u"txtBusID"_s);
    txtLicenseID = new QLineEdit(kPlatePlaceholder);
    txtLicenseID->setObjectName(u"txtLicenseID"_s);
    filterRow->addWidget(dtpDate);
    filterRow->addWidget(txtBusID);
    filterRow->addWidget(txtLicenseID);
    cmdQuery = AddNamedButton(filterRow, u"cmdQuery"_s, u"查询"_s);
    cmdTodayBus = AddNamedButton(filterRow, u"cmdTodayBus"_s, u"今日车次"_s);
    cmdStartCheck = AddNamedButton(filterRow, u"cmdStartCheck"_s, u"开始检查"_s);
    cmdCheckList = AddNamedButton(filterRow, u"cmdCheckList"_s, u"检查明细"_s);
    cmdRemoveCheck = AddNamedButton(filterRow, u"cmdRemoveCheck"_s, u"撤消检查"_s);
    filterRow->addStretch();

    auto *captionRow = new QHBoxLayout;
    captionRow->addWidget(new QLabel(u"车次列表："_s));
    captionRow->addStretch();
    lblDate = new QLabel;
    lblDate->setObjectName(u"lblDate"_s);
    QFont df = lblDate->font();
    df.setBold(true);
    lblDate->setFont(df);
    captionRow->addWidget(lblDate);
    frameLayout()->insertLayout(2, captionRow);

    ResetGridSize(vsList, 1, 10);
    vsList->setFixedCols(0);
    vsList->setAllCentered();
    const QStringList captions = {u"车次"_s, u"日期"_s, u"发车时间"_s, u"终点站"_s, u"车号"_s,
                                  u"车属公司"_s, u"车容"_s, u"回场时间"_s, u"检测次数"_s, u"检测人"_s};
    for (int c = 0; c < captions.size(); ++c)
        vsList->setTextMatrix(0, c, captions.at(c));

    const QDate today = m_env.clock->today();
    dtpDate->setDate(today);
    lblDate->setText(chineseDate(today));

    SelectAllOnFocus({txtBusID, txtLicenseID});
    connect(cmdTodayBus, &QPushButton::clicked, this, &frmFaceCheck::cmdTodayBus_Click);
    connectControls({{Qt::Key_F9, [this] { cmdTodayBus_Click(); }}});

    moMsg = new CheckNotifier(*m_station.db, this);
    moMsg->Subscribe(m_station.stationCode());
    connect(moMsg, &CheckNotifier::FaceCheck, this, &frmFaceCheck::moMsg_FaceCheck);

    loadList();
}

frmFaceCheck::~frmFaceCheck() = default;

QString frmFaceCheck::filterText(const QLineEdit *box, const QString &placeholder) const
{
    const QString t = box->text().trimmed();
    return t == placeholder ? QString() : t;
}

QDateTime frmFaceCheck::rowDate(int row) const
{
    return DayOf(ParseDateTime(vsList->textMatrix(row, ColDate)));
}

void frmFaceCheck::loadList()
{
    RunListQuery(m_env, [this] {
        CheckService checks(*m_station.db, *m_env.clock);
        const RecordSet rs = checks.QueryDayTrips(
            m_station.context, QDateTime(dtpDate->date(), QTime(0, 0)), filterText(txtBusID, kBusPlaceholder),
            filterText(txtLicenseID, kPlatePlaceholder), QString(), QString(), QVariant(), 1,
            m_station.session->GetUnitCode());
        vsList->setRows(1);
        for (int i = 0; i < rs.RecordCount(); ++i) {
            const int r = vsList->addRow(
                {rs.valueAt(i, u"bus_id"_s).toString(),
                 rs.valueAt(i, u"bus_date"_s).toDateTime().toString(u"yyyy-MM-dd"_s),
                 rs.valueAt(i, u"bus_start_time"_s).toDateTime().toString(u"HH:mm"_s),
                 rs.valueAt(i, u"end_station_name"_s).toString(), rs.valueAt(i, u"license_tag_no"_s).toString(),
                 rs.valueAt(i, u"transport_company_short_name"_s).toString()});
            SetLampCell(vsList, r, ColLamp, rs.valueAt(i, u"AppearanceStatus"_s).toInt());
            const int count = rs.valueAt(i, u"face_check_num"_s).toInt();
            if (count != 0) {
                vsList->setTextMatrix(r, ColTime, ShortDateTime(rs.valueAt(i, u"face_check_time"_s).toDateTime()));
                vsList->setTextMatrix(r, ColCount, QString::number(count));
            }
            vsList->setTextMatrix(r, ColChecker, rs.valueAt(i, u"face_checker"_s).toString());
        }
        vsList->autoSize(0, vsList->cols() - 1);
        return vsList->dataRows();
    });
}

void frmFaceCheck::cmdQuery_Click()
{
    lblDate->setText(chineseDate(dtpDate->date()));
    loadList();
}

void frmFaceCheck::cmdTodayBus_Click()
{
    dtpDate->setDate(m_env.clock->today());
    cmdQuery_Click();
}

void frmFaceCheck::vsList_Click()
{
    const int row = selectedRow();
    const bool counted = row >= 0 && vsList->textMatrix(row, ColCount).toInt() > 0;
    cmdCheckList->setEnabled(counted);
    cmdRemoveCheck->setEnabled(counted);
}

void frmFaceCheck::cmdStartCheck_Click()
{
    withSelectedRow([&](int row) {
        frmRegFaceCheck dialog(m_env, m_station, this);
        dialog.m_szBusID = vsList->textMatrix(row, ColBusId);
        dialog.m_dtBusDate = rowDate(row);
        dialog.m_szLicese = vsList->textMatrix(row, ColLicense);
        dialog.m_nCount = vsList->textMatrix(row, ColCount).toInt();
        runDialog(&dialog);
    });
}

void frmFaceCheck::quickVerdict(bool passed)
{
    withSelectedRow([&](int row) {
        if (!confirmVerdict(u"车容门检"_s, u"车容门检"_s, passed))
            return;
        CheckService checks(*m_station.db, *m_env.clock);
        const QString checker = m_station.session->GetOperatorName();
        const QString busId = vsList->textMatrix(row, ColBusId);
        const QString plate = vsList->textMatrix(row, ColLicense);
        if (vsList->textMatrix(row, ColCount).toInt() > 0)
            checks.UpdateAppearanceCheckResult(m_station.context, rowDate(row), busId, plate, m_env.clock->now(),
                                               passed, checker);
        else
            checks.AddAppearanceCheckResult(m_station.context, rowDate(row), busId, plate, m_env.clock->now(),
                                            passed, checker);
    });
}

void frmFaceCheck::cmdRemoveCheck_Click()
{
    Trap(*m_env.messages, [&] {
        const int row = rowToWithdraw(u"车容门检撤消"_s);
        if (row < 0)
            return;
        CheckService checks(*m_station.db, *m_env.clock);
        checks.CancelAppearanceCheck(m_station.context, rowDate(row), vsList->textMatrix(row, ColBusId),
                                     vsList->textMatrix(row, ColLicense));
    });
}

void frmFaceCheck::cmdCheckList_Click()
{
    withSelectedRow([&](int row) {
        frmFaceCheckList list(m_env, m_station, this);
        list.m_szBusID = vsList->textMatrix(row, ColBusId);
        list.m_dtBusDate = rowDate(row);
        list.m_szParentForm = kForm;
        runDialog(&list);
    });
}

void frmFaceCheck::moMsg_FaceCheck(const QString &busId, const QDateTime &busDate, int status, int count,
                                   const QDateTime &checkTime, const QString &checker)
{
    // Only the day the list shows.
    if (ParseDateTime(chineseDate(busDate.date())).date() != ParseDateTime(lblDate->text()).date())
        return;
    for (int r : RowsWithText(vsList, ColBusId, busId)) {
        SetLampCell(vsList, r, ColLamp, status);
        vsList->setTextMatrix(r, ColCount, count == 0 ? QString() : QString::number(count));
        vsList->setTextMatrix(r, ColTime, ShortDateTime(checkTime));
        vsList->setTextMatrix(r, ColChecker, checker);
    }
}

void frmFaceCheck::closeEvent(QCloseEvent *event)
{
    SaveColumnLayout(m_env.layoutFile, kForm, vsList);
    QWidget::closeEvent(event);
}

} // namespace cg
