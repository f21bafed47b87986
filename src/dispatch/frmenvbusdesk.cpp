#include "frmenvbusdesk.h"

#include "frmprintsheet.h"

#include "core/apperror.h"
#include "core/clock.h"
#include "widgets/env.h"
#include "widgets/buttons.h"
#include "widgets/grid.h"
#include "widgets/formfields.h"
#include "widgets/gridhelpers.h"
#include "widgets/listexport.h"
#include "widgets/messages.h"
#include "widgets/messagesink.h"
#include "widgets/namedtimer.h"
#include "services/checks/checknotifier.h"
#include "services/checks/checkservice.h"
#include "services/station/coreservices.h"
#include "stationui/stationcontext.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {

namespace {
QPushButton *makeButton(QWidget *parent, const QString &name, const QString &caption)
{
    QPushButton *b = NamedButton(parent, name, caption);
    b->setFocusPolicy(Qt::TabFocus);
    b->setMinimumHeight(30);
    return b;
}
} // namespace

frmEnvBusDesk::frmEnvBusDesk(const Env &env, StationContext &station, QWidget *parent)
    : QWidget(parent), m_env(env), m_station(station)
{
    setObjectName(u"frmEnvBusDesk"_s);
    setWindowTitle(u"调度中心"_s);
    buildUi();
    buildHeader();
    LoadColumnLayout(m_env.layoutFile, u"frmEnvBusDesk"_s, vsList);
    // The File menu and the product bar export the trip list.
    AttachGridReport(this, m_env, vsList);

    const QDate today = m_env.clock->today();
    dtpDate->setDate(today);
    setListDate(today);

    if (m_station.db) {
        moMsg = new CheckNotifier(*m_station.db, this);
        connect(moMsg, &CheckNotifier::DriverCheck, this, &frmEnvBusDesk::onDriverCheck);
        connect(moMsg, &CheckNotifier::SchemeCheck, this, &frmEnvBusDesk::onSchemeCheck);
        connect(moMsg, &CheckNotifier::SchemeExCheck, this, &frmEnvBusDesk::onSchemeExCheck);
        connect(moMsg, &CheckNotifier::ReturnCheck, this, &frmEnvBusDesk::onReturnCheck);
        connect(moMsg, &CheckNotifier::TechCheck, this, &frmEnvBusDesk::onTechCheck);
        moMsg->Subscribe(m_station.stationCode());
    }
    fillRegular();

    Timer1 = NamedTimer(this, u"Timer1"_s, 60000, &frmEnvBusDesk::Timer1_Timer);
    Timer1->start();
}

frmEnvBusDesk::~frmEnvBusDesk()
{
    if (!m_layoutSaved)
        SaveColumnLayout(m_env.layoutFile, u"frmEnvBusDesk"_s, vsList);
}

CheckService &frmEnvBusDesk::service()
{
    if (!m_service) {
        if (!m_station.db)
            throw AppError(0, u"没有连接车站数据库"_s);
        m_service = std::make_unique<CheckService>(*m_station.db, *m_env.clock);
    }
    return *m_service;
}

void frmEnvBusDesk::buildUi()
{
    // Top bar: record and vehicle buttons, the route sheet issue.
    auto *top = new QHBoxLayout;
    cmdFaceCheck = makeButton(this, u"cmdFaceCheck"_s, u"车容门检"_s);
    cmdLug = makeButton(this, u"cmdLug"_s, u"行包件数"_s);
    cmdOK = makeButton(this, u"cmdOK"_s, u"路单签发"_s);
    cmdTempVehicle = makeButton(this, u"cmdTempVehicle"_s, u"临时车辆"_s);
    cmdNotUseVehicle = makeButton(this, u"cmdNotUseVehicle"_s, u"不可用车辆"_s);
    cmdNotBusVehicle = makeButton(this, u"cmdNotBusVehicle"_s, u"未排班车辆"_s);
    cmdBusVehicle = makeButton(this, u"cmdBusVehicle"_s, u"排班车辆"_s);
    cmdAllVehicle = makeButton(this, u"cmdAllVehicle"_s, u"所有车辆"_s);
    cmdAddVehicle = makeButton(this, u"cmdAddVehicle"_s, u"新增车辆"_s);
    QFont strong = cmdOK->font();
    strong.setBold(true);
    cmdOK->setFont(strong);
    for (QPushButton *b : {cmdFaceCheck, cmdLug, cmdOK})
        top->addWidget(b);
    top->addSpacing(16);
    for (QPushButton *b : {cmdTempVehicle, cmdNotUseVehicle, cmdNotBusVehicle, cmdBusVehicle, cmdAllVehicle,
                           cmdAddVehicle})
        top->addWidget(b);
    top->addStretch();

    // Filters and list buttons.
    auto *filters = new QHBoxLayout;
    auto *caption = new QLabel(u"车次列表："_s, this);
    caption->setObjectName(u"lblList"_s);
    txtBusID = new QLineEdit(this);
    txtBusID->setObjectName(u"txtBusID"_s);
    txtBusID->setPlaceholderText(u"(车次代码)"_s);
    txtBusID->setMaximumWidth(110);
    txtLicenseID = new QLineEdit(this);
    txtLicenseID->setObjectName(u"txtLicenseID"_s);
    txtLicenseID->setPlaceholderText(u"(车牌号)"_s);
    txtLicenseID->setMaximumWidth(110);
    cboCheckGate = new QComboBox(this);
    cboCheckGate->setObjectName(u"cboCheckGate"_s);
    cboCheckGate->setEditable(true);
    cboCheckGate->lineEdit()->setPlaceholderText(u"(检票口)"_s);
    cboCheckGate->setMaximumWidth(110);
    dtpDate = DatePicker(u"dtpDate"_s, this);
    lblDate = new QLabel(this);
    lblDate->setObjectName(u"lblDate"_s);
    QFont dateFont = lblDate->font();
    dateFont.setBold(true);
    lblDate->setFont(dateFont);
    cmdQuery = makeButton(this, u"cmdQuery"_s, u"查询"_s);
    cmdTodayBus = makeButton(this, u"cmdTodayBus"_s, u"今日车次"_s);
    cmdScroll = makeButton(this, u"cmdScroll"_s, u"G查询"_s);
    cmdTechCheck = makeButton(this, u"cmdTechCheck"_s, u"车容车况"_s);
    cmdDriver = makeButton(this, u"cmdDriver"_s, u"驾驶员"_s);
    filters->addWidget(caption);
    filters->addWidget(lblDate);
    filters->addSpacing(12);
    filters->addWidget(txtBusID);
    filters->addWidget(txtLicenseID);
    filters->addWidget(cboCheckGate);
    filters->addWidget(dtpDate);
    for (QPushButton *b : {cmdQuery, cmdTodayBus, cmdScroll, cmdTechCheck, cmdDriver})
        filters->addWidget(b);
    filters->addStretch();

    vsList = new FlexGrid(this);
    vsList->setObjectName(u"vsList"_s);
    vsList->setHighlightSelection(false);
    vsList->setSelectionMode(QAbstractItemView::NoSelection); // the current row is painted by selectRow

    auto *legend = new LampLegend(this);
    legend->setObjectName(u"ptLegend"_s);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(filters);
    layout->addWidget(vsList, 1);
    layout->addWidget(legend);

    connect(cmdQuery, &QPushButton::clicked, this, &frmEnvBusDesk::cmdQuery_Click);
    connect(cmdTodayBus, &QPushButton::clicked, this, &frmEnvBusDesk::cmdTodayBus_Click);
    connect(cmdScroll, &QPushButton::clicked, this, &frmEnvBusDesk::cmdScroll_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmEnvBusDesk::cmdOK_Click);
    // The record windows of the current trip.
    connect(cmdDriver, &QPushButton::clicked, this, [this] { openRecords(u"frmDriverCheckList"_s, false, true); });
    connect(cmdFaceCheck, &QPushButton::clicked, this, [this] { openRecords(u"frmFaceCheckList"_s, false, false); });
    connect(cmdLug, &QPushButton::clicked, this, [this] { openRecords(u"frmLugCheckList"_s, false, false); });
    connect(cmdTechCheck, &QPushButton::clicked, this, [this] { openRecords(u"frmTeckCheckList"_s, true, false); });
    connect(cmdAddVehicle, &QPushButton::clicked, this, &frmEnvBusDesk::cmdAddVehicle_Click);
    // The vehicle register and record open only where they are built in.
    const bool hasRegister = m_station.hasForm && m_station.hasForm(u"frmVehicleMain"_s);
    for (QPushButton *b : {cmdTempVehicle, cmdNotUseVehicle, cmdNotBusVehicle, cmdBusVehicle, cmdAllVehicle})
        b->setEnabled(hasRegister);
    cmdAddVehicle->setEnabled(m_station.hasForm && m_station.hasForm(u"frmVehicle"_s));
    connect(cmdAllVehicle, &QPushButton::clicked, this, [this] { openVehicleRegister(u"1"_s); });
    connect(cmdBusVehicle, &QPushButton::clicked, this, [this] { openVehicleRegister(u"2"_s); });
    connect(cmdNotBusVehicle, &QPushButton::clicked, this, [this] { openVehicleRegister(u"3"_s); });
    connect(cmdNotUseVehicle, &QPushButton::clicked, this, [this] { openVehicleRegister(u"4"_s); });
    connect(cmdTempVehicle, &QPushButton::clicked, this, [this] { openVehicleRegister(u"5"_s); });
    connect(vsList, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int, int) { selectRow(row); });
    connect(vsList, &QTableWidget::cellClicked, this, [this](int row, int) { selectRow(row); });
    connect(vsList, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { vsList_DblClick(row); });
    connect(vsList, &FlexGrid::keyPressed, this, [this](QKeyEvent *e) {
        if (handleKey(e->key()))
            e->accept();
    });
    txtBusID->installEventFilter(this);
    txtLicenseID->installEventFilter(this);
    SelectAllOnFocus({txtBusID, txtLicenseID});
    resize(1100, 640);
}

void frmEnvBusDesk::buildHeader()
{
    static const char16_t *const headers[ColumnCount] = {
        u"序号", u"车牌号", u"车型", u"总座数", u"参运公司", u"回场状态", u"安全例检", u"驾驶员", u"检票状态",
        u"旅客人数", u"旅客人数", u"出站状况", u"车次", u"时间", u"车次类型", u"终点站", u"签发时间", u"回场时间",
        u"出站时间", u"线路代码"};
    static const int widths[ColumnCount] = {50, 90, 70, 55, 90, 60, 60, 55, 60, 45, 45, 60, 80, 50, 70, 90, 160,
                                            160, 160, 60};
    vsList->setRows(2);
    vsList->setCols(ColumnCount);
    vsList->setFixedRows(2);
    vsList->setFixedCols(1);
    vsList->setAllCentered();
    for (int c = 0; c < ColumnCount; ++c) {
        const QString text = QString::fromUtf16(headers[c]);
        vsList->setTextMatrix(0, c, text);
        vsList->setTextMatrix(1, c, text);
        vsList->setColWidth(c, widths[c]);
    }
    vsList->setTextMatrix(1, ColSold, u" 售 "_s);
    vsList->setTextMatrix(1, ColChecked, u" 检 "_s);
    vsList->mergeFixedCells();
    for (int c : {ColModel, ColReturn, ColReturnTime, ColRoute})
        vsList->setColHidden(c, true);
}

void frmEnvBusDesk::setListDate(const QDate &date)
{
    m_listDate = date;
    lblDate->setText(date.toString(u"yyyy年MM月dd日"_s));
}

QString frmEnvBusDesk::busIdFilter() const
{
    const QString t = txtBusID->text().trimmed();
    return t == u"(车次代码)"_s ? QString() : t;
}

QString frmEnvBusDesk::licenseFilter() const
{
    const QString t = txtLicenseID->text().trimmed();
    return t == u"(车牌号)"_s ? QString() : t;
}

// Read like the other filters, but trips are not filtered by gate here.
QString frmEnvBusDesk::gateFilter() const
{
    const QString t = cboCheckGate->currentText().trimmed();
    return t == u"(检票口)"_s ? QString() : t;
}

void frmEnvBusDesk::cmdQuery_Click()
{
    setListDate(dtpDate->date());
    fillRegular();
}

void frmEnvBusDesk::cmdTodayBus_Click()
{
    dtpDate->setDate(m_env.clock->today());
    setListDate(dtpDate->date());
    fillRegular();
}

void frmEnvBusDesk::cmdScroll_Click()
{
    setListDate(dtpDate->date());
    fillRolling();
}

bool frmEnvBusDesk::handleKey(int key)
{
    switch (key) {
    case Qt::Key_F4:
        cmdOK_Click(); // also when the button is disabled: a green trip may be issued again
        return true;
    case Qt::Key_F8:
        cmdQuery_Click();
        return true;
    case Qt::Key_F9:
        cmdTodayBus_Click();
        return true;
    default:
        return false;
    }
}

void frmEnvBusDesk::keyPressEvent(QKeyEvent *event)
{
    if (handleKey(event->key()))
        event->accept();
    else
        QWidget::keyPressEvent(event);
}

bool frmEnvBusDesk::eventFilter(QObject *watched, QEvent *event)
{
    // The function keys work while the operator types in a filter box.
    if (event->type() == QEvent::KeyPress && handleKey(static_cast<QKeyEvent *>(event)->key()))
        return true;
    return QWidget::eventFilter(watched, event);
}

void frmEnvBusDesk::closeEvent(QCloseEvent *event)
{
    if (moMsg) {
        moMsg->Unsubscribe();
        delete moMsg;
        moMsg = nullptr;
    }
    Timer1->stop();
    SaveColumnLayout(m_env.layoutFile, u"frmEnvBusDesk"_s, vsList);
    m_layoutSaved = true;
    QWidget::closeEvent(event);
}

bool frmEnvBusDesk::hasCurrentTrip() const
{
    const int r = vsList->row();
    return r >= vsList->fixedRows() && r < vsList->rows();
}

// The issue button is for trips whose ticket check is not done yet; the
// safety-check and driver lamps do not decide it.
void frmEnvBusDesk::updateButtons(int row)
{
    const int scheme = lampAt(row, ColScheme);
    cmdOK->setEnabled(scheme != 1 && scheme != 5);
}

void frmEnvBusDesk::selectRow(int row)
{
    if (row < vsList->fixedRows() || row >= vsList->rows())
        return;
    static const int painted[] = {ColLicense, ColModel, ColSeats, ColCompany, ColSold, ColChecked, ColBusId,
                                  ColTime, ColBusType, ColEnd, ColSchemeTime, ColReturnTime, ColExitTime};
    const QColor mark(0x80, 0xFF, 0xFF);
    if (m_currentRow >= vsList->fixedRows() && m_currentRow < vsList->rows() && m_currentRow != row)
        for (int c : painted)
            vsList->setCellBackColor(m_currentRow, c, Qt::white);
    m_currentRow = row;
    updateButtons(row);
    for (int c : painted)
        vsList->setCellBackColor(row, c, mark);
}

void frmEnvBusDesk::cmdOK_Click()
{
    Trap(*m_env.messages, [&] {
        if (!hasCurrentTrip()) {
            ShowNotice(*m_env.messages, u"请先选择一个班次!"_s);
            return;
        }
        const int row = vsList->row();
        const MsgAnswer answer = m_env.messages->show(
            {u"注意"_s, u"是否对此车次签发？"_s, MsgIcon::Information, MsgButtons::YesNo}, this);
        if (answer != MsgAnswer::Yes)
            return;
        const bool ok = service().IssueRouteSheet(
            m_station.context, QDateTime(m_listDate, QTime(0, 0)), vsList->textMatrix(row, ColBusId).trimmed(),
            vsList->textMatrix(row, ColLicense).trimmed(), m_env.clock->now(), 1,
            QVariant(m_station.operatorName()), m_station.unitCode());
        ShowNotice(*m_env.messages, ok ? u"签发成功!"_s : u"签发不成功!"_s);
    });
}

void frmEnvBusDesk::vsList_DblClick(int row)
{
    if (row < vsList->fixedRows() || row >= vsList->rows() ||
        (lampAt(row, ColScheme) != 1 && lampAt(row, ColScheme) != 5))
        return;
    frmPrintSheet dialog(m_env, m_station, this);
    dialog.setProperty("m_szLicense", vsList->textMatrix(row, ColLicense));
    dialog.setProperty("m_szStartTime", vsList->textMatrix(row, ColTime));
    dialog.setProperty("m_szBusID", vsList->textMatrix(row, ColBusId));
    dialog.setProperty("m_szSeatNum", vsList->textMatrix(row, ColSeats));
    dialog.setProperty("m_szEndStation", vsList->textMatrix(row, ColEnd));
    // The row belongs to the list date; the picker may already show another
    // day that has not been queried yet.
    dialog.setProperty("m_szBusDate", m_listDate.toString(u"yyyy-MM-dd"_s));
    dialog.setProperty("m_SheetType", 0);
    dialog.exec();
}

void frmEnvBusDesk::openRecords(const QString &form, bool withLicense, bool withRoute)
{
    if (!hasCurrentTrip() || !m_station.openForm)
        return;
    const int row = vsList->row();
    QVariantMap members{{u"m_szBusID"_s, vsList->textMatrix(row, ColBusId)},
                        {u"m_dtBusDate"_s, QDateTime(m_listDate, QTime(0, 0))},
                        {u"m_szParentForm"_s, u"frmEnvBusDesk"_s}};
    if (withLicense)
        members.insert(u"m_szLicense"_s, vsList->textMatrix(row, ColLicense));
    if (withRoute)
        members.insert(u"m_szRouteID"_s, vsList->textMatrix(row, ColRoute));
    Trap(*m_env.messages, [&] { m_station.openForm(this, form, members); });
}

// The vehicle screens stay open beside the centre (not modal), one window
// each, brought to the front on every press.
void frmEnvBusDesk::openVehicleRegister(const QString &type)
{
    if (!m_station.showForm)
        return;
    Trap(*m_env.messages, [&] { m_station.showForm(this, u"frmVehicleMain"_s, {{u"m_szType"_s, type}}); });
}

void frmEnvBusDesk::cmdAddVehicle_Click()
{
    if (!m_station.showForm)
        return;
    Trap(*m_env.messages, [&] {
        m_station.showForm(this, u"frmVehicle"_s,
                           {{u"m_szParentForm"_s, u"frmEnvBusDesk"_s}, {u"m_eStatus"_s, 0}});
    });
}

} // namespace cg
