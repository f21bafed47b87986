#include "frmreturncheck.h"

#include "core/apperror.h"
#include "core/clock.h"
#include "core/dates.h"
#include "core/text.h"
#include "services/checks/checknotifier.h"
#include "services/checks/checkservice.h"
#include "services/masterdata/vehicleservice.h"
#include "services/station/coreservices.h"
#include "stationui/listquery.h"
#include "stationui/stationscreen.h"
#include "widgets/buttons.h"
#include "widgets/grid.h"
#include "widgets/gridhelpers.h"
#include "widgets/messages.h"
#include "widgets/messagesink.h"
#include "stationui/titledwindow.h"

#include <QFrame>
#include <QGridLayout>
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
constexpr int kCardLength = 10;
const QString kVehicleForm = u"frmVehicle"_s;
const QString kAskTitle = u"车辆回场报班"_s;
// Column widths in twips: the least each column gets after sizing to its
// content; the time column has room for a return time before the first one
// arrives by notification.
constexpr int kWidths[] = {1000, 1400, 1200, 1300, 1600, 1100, 1100, 3000, 1000};

QString panelTime(const QDateTime &t)
{
    return t.isValid() && !IsNoDate(t) ? t.toString(u"yyyy-MM-dd HH:mm:ss"_s) : QString();
}

QLabel *panelLabel(const QString &name)
{
    auto *label = new QLabel;
    label->setObjectName(name);
    return label;
}

// "●" in a lamp colour followed by its meaning.
QWidget *legendItem(const QColor &colour, const QString &text, const QString &name)
{
    auto *item = new QWidget;
    auto *row = new QHBoxLayout(item);
    row->setContentsMargins(0, 0, 8, 0);
    auto *lamp = new QLabel(u"●"_s);
    lamp->setObjectName(name);
    QPalette pal = lamp->palette();
    pal.setColor(QPalette::WindowText, colour);
    lamp->setPalette(pal);
    row->addWidget(lamp);
    row->addWidget(new QLabel(text));
    return item;
}
} // namespace

frmReturnCheck::frmReturnCheck(const Env &env, StationContext &station, QWidget *parent)
    : QWidget(parent), m_env(env), m_station(station), m_checks(std::make_unique<CheckService>(*station.db, *env.clock))
{
    QVBoxLayout *layout = BeginTitledWindow(this, u"frmReturnCheck"_s, u"回场报班"_s, QSize(1100, 680));

    auto *filterRow = new QHBoxLayout;
    filterRow->addWidget(new QLabel(u"车牌号："_s));
    txtLicense = new QLineEdit;
    txtLicense->setObjectName(u"txtLicense"_s);
    txtLicense->setMaximumWidth(180);
    filterRow->addWidget(txtLicense);
    cmdQuery = AddNamedButton(filterRow, u"cmdQuery"_s, u"查询"_s);
    cmdStartCheck = AddNamedButton(filterRow, u"cmdStartCheck"_s, u"回场确认"_s);
    cmdRemoveCheck = AddNamedButton(filterRow, u"cmdRemoveCheck"_s, u"回场取消"_s);
    cmdAddVehicle = AddNamedButton(filterRow, u"cmdAddVehicle"_s, u"车辆增加"_s);
    filterRow->addStretch();
    layout->addLayout(filterRow);

    auto *body = new QHBoxLayout;
    vsList = AddListGrid(body);
    vsList->setHighlightSelection(false); // the current row has its own colour

    // Recent returns: entry 0 with its captions and the vehicle code, then
    // the five before it as bare values.
    auto *panel = new QFrame;
    panel->setObjectName(u"ptRecent"_s);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFixedWidth(250);
    auto *recent = new QVBoxLayout(panel);
    auto *caption = new QLabel(u"   最近回场报班信息"_s);
    QFont cf = caption->font();
    cf.setBold(true);
    caption->setFont(cf);
    recent->addWidget(caption);
    for (int i = 0; i < kRecentEntries; ++i) {
        const QString index = QString::number(i);
        m_recentTime[i] = panelLabel(u"lblReturnTime_"_s + index);
        m_recentLicense[i] = panelLabel(u"lblLicense_"_s + index);
        m_recentCard[i] = panelLabel(u"lblIcCardID_"_s + index);
        if (i == 0) {
            m_recentLicenseId = panelLabel(u"lblLicenseID_0"_s);
            recent->addWidget(m_recentTime[0]);
            recent->addWidget(m_recentLicenseId);
            recent->addWidget(m_recentLicense[0]);
            recent->addWidget(m_recentCard[0]);
            recent->addSpacing(12);
            continue;
        }
        recent->addWidget(m_recentTime[i]);
        auto *line = new QHBoxLayout;
        line->addWidget(m_recentLicense[i]);
        line->addWidget(m_recentCard[i]);
        line->addStretch();
        recent->addLayout(line);
        recent->addSpacing(6);
    }
    recent->addStretch();
    body->addWidget(panel);
    layout->addLayout(body, 1);

    auto *legendRow = new QHBoxLayout;
    legendRow->addWidget(new QLabel(u"〓快捷说明:[F4]已回场 [F5]未回场 [F8]查询"_s));
    legendRow->addStretch();
    legendRow->addWidget(legendItem(LampYellow, u"黄灯表示未回场"_s, u"lblLampYellow"_s));
    legendRow->addWidget(legendItem(LampGreen, u"绿灯表示已回场"_s, u"lblLampGreen"_s));
    layout->addLayout(legendRow);

    ResetGridSize(vsList, 18, 9);
    vsList->setFixedCols(0);
    vsList->setAllCentered();
    const QStringList captions = {u"车辆代码"_s, u"车型"_s,     u"车牌号"_s,   u"IC卡号"_s, u"车属公司"_s,
                                  u"车辆性质"_s, u"回场状态"_s, u"回场时间"_s, u"检测人"_s};
    for (int c = 0; c < captions.size(); ++c) {
        vsList->setTextMatrix(0, c, captions.at(c));
        vsList->setColWidthTwips(c, kWidths[c]);
    }

    // The vehicle record is another subsystem's form: without it on this
    // workstation the button says why it cannot be used.
    const bool canAdd = m_station.showForm && m_station.hasForm && m_station.hasForm(kVehicleForm);
    cmdAddVehicle->setEnabled(canAdd);
    if (!canAdd)
        cmdAddVehicle->setToolTip(u"本工作站没有车辆档案窗口，不能增加车辆"_s);

    connect(cmdQuery, &QPushButton::clicked, this, &frmReturnCheck::cmdQuery_Click);
    connect(cmdStartCheck, &QPushButton::clicked, this, &frmReturnCheck::cmdStartCheck_Click);
    connect(cmdRemoveCheck, &QPushButton::clicked, this, &frmReturnCheck::cmdRemoveCheck_Click);
    connect(cmdAddVehicle, &QPushButton::clicked, this, &frmReturnCheck::cmdAddVehicle_Click);
    connect(txtLicense, &QLineEdit::returnPressed, this, &frmReturnCheck::txtLicense_Enter);
    connect(vsList, &QTableWidget::cellClicked, this, [this] { vsList_Click(); });
    // The buttons follow the current row however it became current.
    connect(vsList, &QTableWidget::currentCellChanged, this, [this] { updateButtons(); });
    new FormKeys(this, {{Qt::Key_F4, [this] { if (cmdStartCheck->isEnabled()) cmdStartCheck_Click(); }},
                        {Qt::Key_F5, [this] { if (cmdRemoveCheck->isEnabled()) cmdRemoveCheck_Click(); }},
                        {Qt::Key_F8, [this] { loadList(); }}});

    moMsg = new CheckNotifier(*m_station.db, this);
    moMsg->Subscribe(m_station.session->GetStationCode());
    connect(moMsg, &CheckNotifier::ReturnCheck, this, &frmReturnCheck::moMsg_ReturnCheck);

    updateButtons();
    loadList();
    showRecent();
    Trap(*m_env.messages, [this] { fillRecentFromService(); });
}

frmReturnCheck::~frmReturnCheck() = default;

int frmReturnCheck::selectedRow() const { return CurrentDataRow(vsList); }

QString frmReturnCheck::buildFilter() const { return VehicleListFilter(txtLicense->text(), u"license"_s); }

void frmReturnCheck::loadList()
{
    RunListQuery(m_env, [this] {
        const FlexGrid::BulkFill bulk(vsList);
        VehicleService vehicles(*m_station.db, *m_env.clock);
        const RecordSet rs = vehicles.QueryVehicles(m_station.context, buildFilter(), u" license_id "_s, NoDate(), true);
        vsList->setRows(1);
        m_markedRow = -1;
        for (int i = 0; i < rs.RecordCount(); ++i) {
            const int r = vsList->addRow();
            vsList->setTextMatrix(r, ColLicenseId, rs.valueAt(i, u"license_id"_s).toString());
            vsList->setTextMatrix(r, ColModel, BracketInner(rs.valueAt(i, u"model_id"_s).toString()));
            vsList->setTextMatrix(r, ColLicense, rs.valueAt(i, u"license"_s).toString());
            vsList->setTextMatrix(r, ColCard, rs.valueAt(i, u"ic_card_id"_s).toString());
            vsList->setTextMatrix(r, ColCompany, BracketInner(rs.valueAt(i, u"company_name"_s).toString()));
            vsList->setTextMatrix(r, ColKind, rs.valueAt(i, u"service_kind"_s).toString());
            drawReturn(r, rs.valueAt(i, u"return_status"_s).toInt(), rs.valueAt(i, u"return_time"_s).toDateTime(),
                       rs.valueAt(i, u"return_checker"_s).toString());
        }
        // Sized to the content, never narrower than designed.
        for (int c = 0; c < vsList->cols(); ++c) {
            vsList->autoSize(c, c);
            if (vsList->colWidthTwips(c) < kWidths[c])
                vsList->setColWidthTwips(c, kWidths[c]);
        }
        return vsList->dataRows();
    }, ListQueryVehiclesProgressText(), ListQueryVehiclesDoneText);
    updateButtons();
}

void frmReturnCheck::drawReturn(int row, int status, const QDateTime &returnTime, const QString &checker)
{
    SetLampCell(vsList, row, ColStatus, status);
    vsList->setRowData(row, status); // the buttons follow the code, not the cells
    vsList->setTextMatrix(row, ColTime, LongDateTime(returnTime));
    vsList->setTextMatrix(row, ColChecker, checker);
}

void frmReturnCheck::fillRecentFromService()
{
    const RecordSet rs = m_checks->QueryRecentReturns(m_station.context, QDateTime(m_env.clock->today(), QTime(0, 0)));
    m_recent.clear();
    for (int i = 0; i < rs.RecordCount() && i < kRecentEntries; ++i)
        m_recent.append({panelTime(rs.valueAt(i, u"return_time"_s).toDateTime()),
                         rs.valueAt(i, u"license"_s).toString(), rs.valueAt(i, u"ic_card_id"_s).toString(),
                         rs.valueAt(i, u"license_id"_s).toString()});
    showRecent();
}

void frmReturnCheck::showRecent()
{
    for (int i = 0; i < kRecentEntries; ++i) {
        m_recentTime[i]->clear();
        m_recentLicense[i]->clear();
        m_recentCard[i]->clear();
    }
    m_recentLicenseId->clear();
    if (m_recent.isEmpty()) {
        m_recentTime[0]->setText(u"最近没有车辆回场的信息"_s);
        return;
    }
    const Recent &latest = m_recent.first();
    m_recentTime[0]->setText(u" 最后回场时间： "_s + latest.time);
    m_recentLicenseId->setText(u"车辆代码： "_s + latest.licenseId);
    m_recentLicense[0]->setText(u"车牌号： "_s + latest.license);
    m_recentCard[0]->setText(u"IC卡号： "_s + latest.card);
    for (int i = 1; i < m_recent.size(); ++i) {
        m_recentTime[i]->setText(m_recent.at(i).time);
        m_recentLicense[i]->setText(m_recent.at(i).license);
        m_recentCard[i]->setText(m_recent.at(i).card);
    }
}

// A return this station registered becomes entry 0; the others move down.
// The vehicle-code line always names the vehicle of entry 0.
void frmReturnCheck::registered(const Recent &entry)
{
    m_recent.prepend(entry);
    while (m_recent.size() > kRecentEntries)
        m_recent.removeLast();
    showRecent();
}

void frmReturnCheck::resetPlateBox()
{
    txtLicense->clear();
    txtLicense->setFocus();
}

void frmReturnCheck::cmdQuery_Click()
{
    loadList();
    resetPlateBox();
}

void frmReturnCheck::txtLicense_Enter()
{
    const QString text = txtLicense->text();
    if (text.isEmpty())
        return;
    if (text.size() != kCardLength) {
        resetPlateBox();
        ShowNotice(*m_env.messages, u"刷卡出错，请重刷！"_s);
        return;
    }
    const QString card = text.trimmed();
    const QDateTime now = m_env.clock->now();
    ReturnRegistration done;
    try {
        done = m_checks->RegisterReturnByCard(m_station.context, now, m_station.session->GetOperatorName(), card);
    } catch (const std::exception &e) {
        // Every refusal is told, an unknown card included; the box is
        // emptied before the notice shows, which TrapNotice would not do.
        resetPlateBox();
        NotifyError(*m_env.messages, this, e);
        return;
    }
    registered({panelTime(now), done.license, card, done.licenseId});
    resetPlateBox();
    ShowNotice(*m_env.messages, u"车牌号：["_s + done.license + u"]回场报班成功！"_s);
}

void frmReturnCheck::withConfirmedRow(const QString &whereabouts,
                                      const std::function<void(int row, const QString &plate)> &action)
{
    const int row = selectedRow();
    if (row < 0)
        return;
    Trap(*m_env.messages, [&] {
        const QString plate = vsList->textMatrix(row, ColLicense).trimmed();
        if (m_env.messages->show({kAskTitle, u"您确认是车牌号为［"_s + plate + u"］"_s + whereabouts + u"吗？"_s,
                                  MsgIcon::Question, MsgButtons::OkCancel},
                                 this) == MsgAnswer::Ok)
            action(row, plate);
    });
}

void frmReturnCheck::cmdStartCheck_Click()
{
    withConfirmedRow(u"回到场内"_s, [&](int row, const QString &plate) {
        const QString code = vsList->textMatrix(row, ColLicenseId).trimmed();
        const QString card = vsList->textMatrix(row, ColCard);
        const QDateTime now = m_env.clock->now();
        // The row itself turns green when ReturnCheck arrives.
        m_checks->SetReturnStatus(m_station.context, code, now, true, m_station.session->GetOperatorName(), plate);
        txtLicense->setText(card);
        registered({panelTime(now), plate, txtLicense->text().trimmed(), code});
        resetPlateBox();
    });
}

void frmReturnCheck::cmdRemoveCheck_Click()
{
    withConfirmedRow(u"未回场内"_s, [&](int row, const QString &plate) {
        m_checks->SetReturnStatus(m_station.context, vsList->textMatrix(row, ColLicenseId).trimmed(), NoDate(),
                                  false, QString(), plate);
        drawReturn(row, 0, NoDate(), QString());
        updateButtons();
    });
}

void frmReturnCheck::cmdAddVehicle_Click()
{
    if (!cmdAddVehicle->isEnabled())
        return;
    Trap(*m_env.messages, [&] {
        // A new vehicle: the record form starts with the nature 临时 when it
        // is opened from here. It is not added to this list; 查询 shows it.
        QWidget *form = m_station.showForm ? m_station.showForm(this, kVehicleForm,
                                                                {{u"m_szParentForm"_s, u"frmReturnCheck"_s},
                                                                 {u"m_eStatus"_s, 0}})
                                           : nullptr;
        if (!form)
            ShowNotice(*m_env.messages, u"车辆档案窗口不能打开，不能增加车辆"_s);
    });
}

void frmReturnCheck::updateButtons()
{
    const int row = selectedRow();
    const bool returned = row >= 0 && vsList->rowData(row).toInt() == 1;
    cmdStartCheck->setEnabled(row >= 0 && !returned);
    cmdRemoveCheck->setEnabled(returned);
}

void frmReturnCheck::vsList_Click()
{
    updateButtons();
    const int row = selectedRow();
    if (row < 0)
        return;
    // The row's own colour marks it; the lamp keeps its look.
    QList<int> painted;
    for (int c = 0; c < vsList->cols(); ++c)
        if (c != ColStatus)
            painted << c;
    MoveRowMark(vsList, &m_markedRow, row, painted, kHighlight);
    vsList->clearSelection();
    txtLicense->setFocus();
}

void frmReturnCheck::moMsg_ReturnCheck(const QString &license, const QDateTime &, int status,
                                       const QDateTime &returnTime, const QString &checker)
{
    for (int r : RowsWithText(vsList, ColLicense, license))
        drawReturn(r, status, returnTime, checker);
    // Another station may have changed the selected row: F4/F5 act on what
    // the row shows now.
    updateButtons();
}

} // namespace cg
