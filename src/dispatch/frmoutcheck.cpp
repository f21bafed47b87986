#include "frmoutcheck.h"

#include "core/apperror.h"
#include "core/clock.h"
#include "core/dates.h"
#include "widgets/grid.h"
#include "widgets/buttons.h"
#include "widgets/formfields.h"
#include "widgets/listexport.h"
#include "widgets/gridhelpers.h"
#include "widgets/messages.h"
#include "widgets/messagesink.h"
#include "widgets/namedtimer.h"
#include "core/sqlliteral.h"
#include "services/checks/checknotifier.h"
#include "services/checks/checkservice.h"
#include "services/station/coreservices.h"
#include "services/masterdata/vehicleservice.h"
#include "stationui/listquery.h"
#include "stationui/stationscreen.h"

#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

constexpr int kHeaderRows = 2;
const QColor kCurrentRow{0x80, 0xFF, 0xFF};
const QString kBusPlaceholder = u"(车次代码)"_s;
const QString kGatePlaceholder = u"(检票口)"_s;
const QString kSection = u"frmOutCheck"_s;

enum Col {
    ColSeq, ColBus, ColTime, ColEnd, ColPlate, ColCard, ColModel, ColSeats, ColCond, ColDriver, ColScheme,
    ColCompany, ColSale, ColChecked, ColReturn, ColOut, ColCount
};

// What a data row keeps besides its texts: the stored trip code, for a
// rolling trip its serial number, and the lamp code of every lamp column
// (key "lamp<column>"). Buttons and the current row are worked out from
// these, never from the drawn cells.
QString lampKey(int col) { return u"lamp%1"_s.arg(col); }

int lampOf(const RecordSet &rs, int rec, const QString &field)
{
    // A null status arrives empty and is drawn as code 0.
    return rs.valueAt(rec, field).toInt();
}

QString returnTimeText(const QDateTime &d)
{
    if (!d.isValid() || IsNoDate(d))
        return QString(6, QChar(0x3000));
    return d.toString(u"yyyy年MM月dd日 HH:mm"_s);
}


} // namespace

frmOutCheck::frmOutCheck(const Env &env, StationContext &station, QWidget *parent)
    : QWidget(parent), m_env(env), m_station(station)
{
    setObjectName(u"frmOutCheck"_s);
    setWindowTitle(u"出站门检"_s);
    buildUi();

    // Opening: the header and the operator's widths, today's trips.
    cmdAllow->show();
    cmdAllow->setEnabled(true);
    cmdEngage->setEnabled(false);
    buildHeader();
    LoadColumnLayout(m_env.layoutFile, kSection, vsList);
    dtpDate->setDate(m_env.clock->today());
    setListDate(m_env.clock->today());

    if (m_station.db) {
        moMsg = new CheckNotifier(*m_station.db, this);
        moMsg->Subscribe(m_station.stationCode());
        connect(moMsg, &CheckNotifier::TechCheck, this,
                [this](const QString &license, const QDateTime &d, int lamp, int, const QDateTime &, const QString &) {
                    moMsg_TechCheck(license, d, lamp);
                });
        connect(moMsg, &CheckNotifier::DriverCheck, this, &frmOutCheck::moMsg_DriverCheck);
        connect(moMsg, &CheckNotifier::SchemeCheck, this,
                [this](const QString &busId, const QDateTime &d, int lamp, const QDateTime &) {
                    moMsg_SchemeCheck(busId, d, lamp);
                });
        connect(moMsg, &CheckNotifier::SchemeExCheck, this, &frmOutCheck::moMsg_SchemeExCheck);
    }

    FillRegular();
    FillRolling();

    Timer1 = NamedTimer(this, u"Timer1"_s, 60000, &frmOutCheck::Timer1_Timer);
    Timer1->start();
}

frmOutCheck::~frmOutCheck() = default;

void frmOutCheck::buildUi()
{
    txtBusID = new QLineEdit(kBusPlaceholder, this);
    txtBusID->setObjectName(u"txtBusID"_s);
    txtBusID->setMaximumWidth(110);
    SelectAllOnFocus({txtBusID});
    cboCheckGate = new QComboBox(this);
    cboCheckGate->setObjectName(u"cboCheckGate"_s);
    cboCheckGate->setEditable(true);
    cboCheckGate->addItem(kGatePlaceholder);
    dtpDate = DatePicker(u"dtpDate"_s, this);
    txtLicenseID = new QLineEdit(this);
    txtLicenseID->setObjectName(u"txtLicenseID"_s);
    txtLicenseID->setMinimumWidth(120);
    cmdQuery = NamedButton(this, u"cmdQuery"_s, u"查询"_s);
    cmdTodayBus = NamedButton(this, u"cmdTodayBus"_s, u"今日车次"_s);
    cmdDriver = NamedButton(this, u"cmdDriver"_s, u"驾驶员"_s);
    cmdFaceCheck = NamedButton(this, u"cmdFaceCheck"_s, u"车容门检"_s);
    cmdAllow = NamedButton(this, u"cmdAllow"_s, u"允许发车"_s);
    cmdTechCheck = NamedButton(this, u"cmdTechCheck"_s, u"车容车况"_s);
    cmdLug = NamedButton(this, u"cmdLug"_s, u"行包件数"_s);
    cmdEngage = NamedButton(this, u"cmdEngage"_s, u"禁止发车"_s);

    auto *top = new QHBoxLayout;
    top->addWidget(txtBusID);
    top->addWidget(cboCheckGate);
    top->addWidget(dtpDate);
    top->addWidget(cmdQuery);
    top->addWidget(cmdTodayBus);
    top->addSpacing(12);
    top->addWidget(new QLabel(u"车牌号："_s, this));
    top->addWidget(txtLicenseID);
    top->addSpacing(12);
    for (QPushButton *b : {cmdDriver, cmdFaceCheck, cmdTechCheck, cmdLug, cmdAllow, cmdEngage})
        top->addWidget(b);
    top->addStretch();

    lblDate = new QLabel(this);
    lblDate->setObjectName(u"lblDate"_s);
    auto *caption = new QHBoxLayout;
    caption->addWidget(new QLabel(u"车次列表："_s, this));
    caption->addWidget(lblDate);
    caption->addSpacing(20);
    auto *waiting = new QLabel(u"等待出站"_s, this);
    waiting->setStyleSheet(u"QLabel { color: #0000C0; font-weight: bold; }"_s);
    caption->addWidget(waiting);
    caption->addStretch();

    vsList = new FlexGrid(this);
    vsList->setObjectName(u"vsList"_s);
    // The File menu and the product bar export the trip list.
    AttachGridReport(this, m_env, vsList);
    // The current trip is shown by its painted cells alone.
    vsList->setHighlightSelection(false);
    vsList->setSelectionMode(QAbstractItemView::NoSelection);

    auto *legend = new QHBoxLayout;
    legend->addWidget(new LampLegend(this));
    legend->addStretch();
    legend->addWidget(new QLabel(u"F8 查询    F9 今日车次    刷卡或输入车牌号后回车"_s, this));

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(caption);
    layout->addWidget(vsList, 1);
    layout->addLayout(legend);

    connect(cmdQuery, &QPushButton::clicked, this, &frmOutCheck::cmdQuery_Click);
    connect(cmdTodayBus, &QPushButton::clicked, this, &frmOutCheck::cmdTodayBus_Click);
    connect(cmdAllow, &QPushButton::clicked, this, &frmOutCheck::cmdAllow_Click);
    connect(cmdEngage, &QPushButton::clicked, this, &frmOutCheck::cmdEngage_Click);
    // The record windows of the current trip.
    connect(cmdDriver, &QPushButton::clicked, this, [this] { openRecords(u"frmDriverCheckList"_s, false); });
    connect(cmdFaceCheck, &QPushButton::clicked, this, [this] { openRecords(u"frmFaceCheckList"_s, false); });
    connect(cmdLug, &QPushButton::clicked, this, [this] { openRecords(u"frmLugCheckList"_s, false); });
    connect(cmdTechCheck, &QPushButton::clicked, this, [this] { openRecords(u"frmTeckCheckList"_s, true); });
    connect(txtLicenseID, &QLineEdit::returnPressed, this, &frmOutCheck::txtLicenseID_Enter);
    connect(vsList, &QTableWidget::cellClicked, this, [this](int row, int) {
        if (row >= kHeaderRows)
            SelectRow(row);
    });
    // F8 lists the timetable trips of the chosen day again, F9 today's trips.
    new FormKeys(this, {{Qt::Key_F8, [this] { setListDate(dtpDate->date()); FillRegular(); }},
                        {Qt::Key_F9, [this] { cmdTodayBus_Click(); }}});
}

void frmOutCheck::buildHeader()
{
    static const char16_t *const row1[ColCount] = {u"序号", u"车次", u"时间", u"终点站", u"车牌号", u"IC卡号",
                                                   u"车型", u"总座数", u"安全例检", u"驾驶员", u"检票状态",
                                                   u"参运公司", u"旅客人数", u"旅客人数", u"回场时间", u"出站状况"};
    static const int widths[ColCount] = {40, 80, 50, 80, 90, 95, 115, 55, 65, 55, 65, 90, 45, 45, 150, 65};
    vsList->setCols(ColCount);
    vsList->setRows(kHeaderRows);
    vsList->setFixedRows(kHeaderRows);
    vsList->setFixedCols(1);
    for (int c = 0; c < ColCount; ++c) {
        const QString text = QString::fromUtf16(row1[c]);
        vsList->setTextMatrix(0, c, text);
        vsList->setTextMatrix(1, c, text);
        vsList->setCellAlignment(0, c, Qt::AlignCenter);
        vsList->setCellAlignment(1, c, Qt::AlignCenter);
        vsList->setColWidth(c, widths[c]);
    }
    vsList->setTextMatrix(1, ColSale, u" 售 "_s);
    vsList->setTextMatrix(1, ColChecked, u" 检 "_s);
    vsList->mergeFixedCells();
}

CheckService &frmOutCheck::service()
{
    if (!m_service) {
        m_service = std::make_unique<CheckService>(*m_station.db, *m_env.clock);
        m_service->setGateAllowsUnchecked(m_station.gateAllowsUnchecked);
    }
    return *m_service;
}

int frmOutCheck::beforeMinute() const
{
    return qBound(0, m_station.params.BeforeMinute.trimmed().toInt(), 32767);
}

QString frmOutCheck::busFilter() const
{
    const QString t = txtBusID->text().trimmed();
    return t == kBusPlaceholder ? QString() : t;
}

void frmOutCheck::setListDate(const QDate &date)
{
    m_listDate = date;
    lblDate->setText(date.toString(u"yyyy年MM月dd日"_s));
}

// ---- filling the list -----------------------------------------------------

void frmOutCheck::fillRow(int row, const RecordSet &rs, int rec, bool rolling, int seq)
{
    RecordSet cur = rs;
    cur.Move(rec);
    const auto field = [&](const char *f) { return FieldValue(cur, QString::fromLatin1(f)).toString(); };
    const QString busId = field("bus_id");
    const QString serial = rolling ? field("bus_serial_no") : QString();
    if (seq > 0)
        vsList->setTextMatrix(row, ColSeq, QString::number(seq));
    vsList->setTextMatrix(row, ColBus, rolling ? busId + u"-"_s + serial : busId);
    vsList->setTextMatrix(row, ColTime,
                          rolling ? u"滚动"_s : cur.value(u"bus_start_time"_s).toDateTime().toString(u"HH:mm"_s));
    vsList->setTextMatrix(row, ColEnd, field("end_station_name"));
    vsList->setTextMatrix(row, ColPlate, field("license_tag_no"));
    vsList->setTextMatrix(row, ColCard, field("ic_card_id"));
    vsList->setTextMatrix(row, ColModel, field("vehicle_type_name").trimmed());
    vsList->setTextMatrix(row, ColSeats, field("total_seat"));
    vsList->setTextMatrix(row, ColCompany, field("transport_company_short_name"));
    vsList->setTextMatrix(row, ColSale, rolling ? u"0"_s : field("sale_num"));
    vsList->setTextMatrix(row, ColChecked, field("check_num"));
    vsList->setTextMatrix(row, ColReturn, returnTimeText(cur.value(u"return_time"_s).toDateTime()));
    // The row's keys and its four lamp codes, written as one row datum.
    QVariantMap key = vsList->rowData(row).toMap();
    key.insert(u"bus_id"_s, busId);
    key.insert(u"serial"_s, serial);
    static const std::pair<int, QString> lamps[] = {{ColCond, u"StateStatus"_s},
                                                    {ColDriver, u"driver_verify_status"_s},
                                                    {ColScheme, u"SchemeStatus"_s},
                                                    {ColOut, u"OutStatus"_s}};
    for (const auto &[col, name] : lamps) {
        const int lamp = lampOf(rs, rec, name);
        SetLampCell(vsList, row, col, lamp);
        key.insert(lampKey(col), lamp);
    }
    vsList->setRowData(row, key);
    if (row == m_currentRow)
        updateButtons();
}

void frmOutCheck::setLamp(int row, int col, int lamp)
{
    SetLampCell(vsList, row, col, lamp);
    QVariantMap data = vsList->rowData(row).toMap();
    data.insert(lampKey(col), lamp);
    vsList->setRowData(row, data);
    if (row == m_currentRow)
        updateButtons();
}

int frmOutCheck::lampAt(int row, int col) const
{
    return vsList->rowData(row).toMap().value(lampKey(col), -1).toInt();
}

QString frmOutCheck::rowCode(int row) const
{
    const QVariantMap key = vsList->rowData(row).toMap();
    const QString busId = key.value(u"bus_id"_s).toString().trimmed();
    const QString serial = key.value(u"serial"_s).toString().trimmed();
    return serial.isEmpty() ? busId : busId + u"-"_s + serial;
}

void frmOutCheck::FillRegular()
{
    RunListQuery(m_env, [this] {
        const FlexGrid::BulkFill bulk(vsList);
        const RecordSet rs = service().QueryDayTrips(m_station.context, QDateTime(m_listDate, QTime(0, 0)),
                                                     busFilter(), txtLicenseID->text().trimmed(), QString(),
                                                     QString(), QVariant(), 1, m_station.unitCode());
        // The rows are made in one step, then filled.
        vsList->setRows(kHeaderRows);
        vsList->setRows(kHeaderRows + rs.RecordCount());
        m_currentRow = -1;
        for (int r = 0; r < rs.RecordCount(); ++r)
            fillRow(kHeaderRows + r, rs, r, false, r + 1);
        return rs.RecordCount();
    });
}

void frmOutCheck::FillRolling()
{
    RunListQuery(m_env, [this] {
        const FlexGrid::BulkFill bulk(vsList);
        const RecordSet rs = service().QueryRollingTrips(m_station.context, QDateTime(m_listDate, QTime(0, 0)),
                                                         busFilter(), txtLicenseID->text().trimmed(), QVariant(),
                                                         QVariant(), QVariant(), 1);
        const int first = vsList->rows();
        vsList->setRows(first + rs.RecordCount());
        for (int r = 0; r < rs.RecordCount(); ++r)
            fillRow(first + r, rs, r, true, r + 1);
        return rs.RecordCount();
    });
}

void frmOutCheck::cmdQuery_Click()
{
    setListDate(dtpDate->date());
    FillRegular();
    FillRolling();
    txtLicenseID->clear();
    txtLicenseID->setFocus();
}

void frmOutCheck::cmdTodayBus_Click()
{
    dtpDate->setDate(m_env.clock->today());
    setListDate(dtpDate->date());
    FillRegular();
    FillRolling();
}

void frmOutCheck::closeEvent(QCloseEvent *event)
{
    // The subscription ends with moMsg when the screen goes; a window that
    // is only hidden and shown again keeps its lamps current.
    SaveColumnLayout(m_env.layoutFile, kSection, vsList);
    QWidget::closeEvent(event);
}

// ---- the row and its buttons ------------------------------------------------

bool frmOutCheck::hasCurrentTrip() const
{
    return m_currentRow >= kHeaderRows && m_currentRow < vsList->rows();
}

// The route sheet must be issued before either decision; a trip allowed out
// can still be forbidden, a forbidden one allowed.
void frmOutCheck::updateButtons()
{
    if (!hasCurrentTrip())
        return;
    const bool issued = lampAt(m_currentRow, ColScheme) == 1 || lampAt(m_currentRow, ColScheme) == 5;
    cmdAllow->setEnabled(issued);
    cmdEngage->setEnabled(issued);
    // Green lamps are codes 1 and 5, red ones 2 and 4 (the red "×").
    const int out = lampAt(m_currentRow, ColOut);
    if (out == 1 || out == 5) {
        cmdAllow->setEnabled(false);
        cmdEngage->setEnabled(true);
    } else if (out == 2 || out == 4) {
        cmdAllow->setEnabled(true);
        cmdEngage->setEnabled(false);
    }
}

void frmOutCheck::SelectRow(int row)
{
    if (row < kHeaderRows || row >= vsList->rows())
        return;
    if (vsList->row() != row)
        vsList->setCurrent(row, ColBus);
    static const QList<int> painted = {ColBus,   ColTime,    ColEnd, ColPlate,   ColCard,  ColModel,
                                       ColSeats, ColCompany, ColSale, ColChecked, ColReturn};
    MoveRowMark(vsList, &m_currentRow, row, painted, kCurrentRow);
    updateButtons();
}

// Allow (status 1, recorded as the operator's own decision) or forbid
// (status 2) the current trip after the operator confirmed what he sees.
void frmOutCheck::decide(int status)
{
    Trap(*m_env.messages, [this, status] {
        if (!hasCurrentTrip()) {
            ShowNotice(*m_env.messages, u"请先选择一个班次!"_s);
            return;
        }
        const int row = m_currentRow;
        const QString question = u"[车次：%1  车牌号：%2  检票人数：%3]\n\n  请仔细核对以上信息，确认无误后点“是(Y)”！"_s.arg(
            vsList->textMatrix(row, ColBus), vsList->textMatrix(row, ColPlate), vsList->textMatrix(row, ColChecked));
        if (m_env.messages->show({u"注意"_s, question, MsgIcon::Information, MsgButtons::YesNo}, this) != MsgAnswer::Yes)
            return;
        const bool allow = status == 1;
        const QString answer = service()
                                   .SetDepartureStatus(m_station.context, QDateTime(m_listDate, QTime(0, 0)),
                                                       rowCode(row), vsList->textMatrix(row, ColPlate),
                                                       m_station.operatorName(), FormatDateTime(m_env.clock->now()),
                                                       QVariant(), QVariant(), status, QString(),
                                                       m_station.params.BeforeMinute, m_station.unitCode(), allow)
                                   .trimmed();
        // A refusal is the operator's to read, never a success.
        const bool refused = answer.startsWith(u'#');
        const bool recorded = !refused && (allow || answer.compare(u"True"_s, Qt::CaseInsensitive) == 0 ||
                                           answer == u"1"_s);
        if (allow) {
            m_env.messages->notify(recorded ? u"允许发车成功！"_s : answer.mid(1), this);
            return;
        }
        if (recorded)
            ShowNotice(*m_env.messages, u"禁止发车成功！"_s);
        else
            ShowNotice(*m_env.messages, refused ? u"禁止发车失败！\n"_s + answer.mid(1) : u"禁止发车失败！"_s);
    });
}

void frmOutCheck::cmdAllow_Click() { decide(1); }
void frmOutCheck::cmdEngage_Click() { decide(2); }

void frmOutCheck::openRecords(const QString &form, bool withPlate)
{
    if (!hasCurrentTrip() || !m_station.openForm)
        return;
    const int row = m_currentRow;
    QVariantMap members{{u"m_szBusID"_s, vsList->textMatrix(row, ColBus)},
                        {u"m_dtBusDate"_s, QDateTime(m_listDate, QTime(0, 0))},
                        {u"m_szParentForm"_s, u"frmOutCheck"_s}};
    if (withPlate)
        members.insert(u"m_szLicense"_s, vsList->textMatrix(row, ColPlate));
    // An empty answer: no such form on this workstation; nothing to do.
    m_station.openForm(this, form, members);
}

// ---- identifying a departing vehicle ------------------------------------

void frmOutCheck::txtLicenseID_Enter()
{
    const QString text = txtLicenseID->text();
    TrapNotice(*m_env.messages, this, [&] { Identify(text); });
    txtLicenseID->clear();
    txtLicenseID->setFocus();
}

void frmOutCheck::Identify(const QString &text)
{
    const QDateTime day(m_listDate, QTime(0, 0));
    const QString unit = m_station.unitCode();
    const QString entry = text.trimmed();
    VehicleService vehicles(*m_station.db, *m_env.clock);
    // A card reader types exactly ten characters; anything else is a plate
    // or a part of one. The typed text only ever reaches the fragment as a
    // quoted literal.
    const bool card = text.size() == 10;
    if (card) {
        m_checkText = service().GetDepartureCheckText(m_station.context, day, QString(), QString(), entry,
                                                      beforeMinute(), unit);
        m_vehicle = vehicles.QueryVehicles(m_station.context, u" ic_card_id = "_s + SqlLiteral(entry), QString(),
                                           NoDate(), true);
        if (m_vehicle.RecordCount() == 0)
            throw AppError(0, u"IC卡号 %1 没有登记的车辆！"_s.arg(entry));
    } else {
        m_vehicle = vehicles.QueryVehicles(m_station.context,
                                           u" license like "_s + SqlLiteral(u"%"_s + entry + u"%"_s), QString(),
                                           NoDate(), true);
        if (m_vehicle.RecordCount() == 0) {
            m_env.messages->show({u"提示"_s, u"此车辆牌号的车辆不存在！"_s, MsgIcon::Information, MsgButtons::Ok}, this);
            return;
        }
        if (m_vehicle.RecordCount() > 1) {
            QString plates;
            for (int r = 0; r < m_vehicle.RecordCount(); ++r)
                plates += u"("_s + m_vehicle.valueAt(r, u"license"_s).toString() + u") "_s;
            m_env.messages->show({u"提示"_s, u"此IC卡号的车辆有两辆车以上！\n"_s + plates, MsgIcon::Information,
                                  MsgButtons::Ok},
                                 this);
            return;
        }
        txtLicenseID->setText(m_vehicle.valueAt(0, u"license"_s).toString());
        m_checkText = service().GetDepartureCheckText(m_station.context, day, QString(), txtLicenseID->text(),
                                                      QString(), beforeMinute(), unit);
    }
    const QString plate = m_vehicle.valueAt(0, u"license"_s).toString();
    const RecordSet trip =
        service().QueryDepartureTrip(m_station.context, day, QString(), plate, QString(), beforeMinute(), unit);
    if (trip.RecordCount() == 0)
        throw AppError(0, u"车辆 %1 在前后 %2 分钟内没有待出站的车次！"_s.arg(plate).arg(beforeMinute()));
    // The trip the operator is shown is the trip recorded: its code (a
    // rolling run "code-serial") goes to the data service as it is.
    const QString tripCode = trip.valueAt(0, u"bus_id"_s).toString().trimmed();
    const int out = trip.valueAt(0, u"OutStatus"_s).toInt();
    if (out == 1 || out == 2) {
        // A trip that has just left, or is forbidden, is shown, never
        // departed again and never passed over for the vehicle's next trip.
        const QDateTime exit = trip.valueAt(0, u"exit_time"_s).toDateTime();
        m_env.messages->notify(
            out == 1 ? u"车次 %1 已于 %2 出站。"_s.arg(tripCode, exit.isValid() && !IsNoDate(exit)
                                                                ? exit.toString(u"HH:mm"_s) : u"此前"_s)
                     : u"车次 %1 已被禁止发车，不能出站！"_s.arg(tripCode),
            this);
        SelectDeparture(tripCode);
        return;
    }

    bool confirmed = false;
    if (trip.valueAt(0, u"driver_verify_status"_s).toInt() == 3) {
        confirmed = true;
    } else if (m_station.openForm) {
        const QVariantMap result = m_station.openForm(
            this, u"frmCheckInfo"_s,
            {{u"m_szErrorDescription"_s, m_checkText.mid(7)},
             {u"m_szBusID"_s, tripCode},
             {u"m_szLicense"_s, trip.valueAt(0, u"license_tag_no"_s).toString()}});
        confirmed = result.value(u"m_IsOk"_s).toBool();
    }
    m_lastConfirmed = confirmed;
    if (confirmed) {
        const QString result = service().SetDepartureStatus(
            m_station.context, day, tripCode, card ? QString() : txtLicenseID->text(),
            m_station.operatorName(), FormatDateTime(m_env.clock->now()),
            QVariant(), QVariant(), 1, card ? entry : QString(), m_station.params.BeforeMinute, unit, false);
        if (result.startsWith(u'#'))
            m_env.messages->notify(result.mid(1), this);
        else
            m_lastDeparture = result;
    }
    SelectDeparture(m_lastDeparture);
}

void frmOutCheck::SelectDeparture(const QString &busId)
{
    const QString key = busId.trimmed();
    if (key.isEmpty())
        return;
    for (int r = kHeaderRows; r < vsList->rows(); ++r) {
        if (rowCode(r) == key) {
            SelectRow(r);
            return;
        }
    }
}

// ---- periodic refresh -------------------------------------------------------

void frmOutCheck::Timer1_Timer()
{
    if (vsList->dataRows() <= 0)
        return;
    TrapNotice(*m_env.messages, this, [this] {
        ListTimeBusInfo();
        RefreshRolling();
    });
}

void frmOutCheck::ListTimeBusInfo()
{
    const QDateTime now = m_env.clock->now();
    const qint64 window = 60LL * beforeMinute();
    const RecordSet rs = service().QueryDayTrips(
        m_station.context, QDateTime(m_listDate, QTime(0, 0)), QString(), QString(),
        FormatDateTime(now.addSecs(-window)), FormatDateTime(now.addSecs(window)), QVariant(), 1,
        m_station.unitCode());
    refreshRows(rs, false);
}

// Rolling trips have no timetable time to window on; all of the day's are
// refreshed, each row matched by its trip code and serial number.
void frmOutCheck::RefreshRolling()
{
    const RecordSet rs = service().QueryRollingTrips(m_station.context, QDateTime(m_listDate, QTime(0, 0)),
                                                     QString(), QString(), QVariant(), QVariant(), QVariant(), 1);
    refreshRows(rs, true);
}

void frmOutCheck::refreshRows(const RecordSet &rs, bool rolling)
{
    for (int rec = 0; rec < rs.RecordCount(); ++rec) {
        const QString busId = rs.valueAt(rec, u"bus_id"_s).toString().trimmed();
        const QString serial = rolling ? rs.valueAt(rec, u"bus_serial_no"_s).toString().trimmed() : QString();
        const QString plate = rs.valueAt(rec, u"license_tag_no"_s).toString().trimmed();
        for (int row = kHeaderRows; row < vsList->rows(); ++row) {
            const QVariantMap key = vsList->rowData(row).toMap();
            if (key.value(u"bus_id"_s).toString().trimmed() != busId ||
                key.value(u"serial"_s).toString().trimmed() != serial)
                continue;
            if (vsList->textMatrix(row, ColPlate).trimmed() != plate) {
                // The trip got another vehicle: its row as a fill writes it,
                // keeping its running number.
                fillRow(row, rs, rec, rolling, 0);
                const bool outside = rs.valueAt(rec, u"service_kind"_s).toString().startsWith(u"外"_s);
                setLamp(row, ColDriver,
                            outside ? 3 : rs.valueAt(rec, u"driver_verify_status"_s).toInt());
            }
            setLamp(row, ColScheme, rs.valueAt(rec, u"SchemeStatus"_s).toInt());
            vsList->setTextMatrix(row, ColSale, rolling ? u"0"_s : rs.valueAt(rec, u"sale_num"_s).toString());
            vsList->setTextMatrix(row, ColChecked, rs.valueAt(rec, u"check_num"_s).toString());
        }
    }
}

// ---- notifications ----------------------------------------------------------

// A condition check redraws the vehicle's rows only when the list shows the
// day of the check: yesterday's list keeps the state its trips left with.
void frmOutCheck::moMsg_TechCheck(const QString &license, const QDateTime &checkDate, int lamp)
{
    if (checkDate.date() != m_listDate)
        return;
    const QString key = license.trimmed();
    for (int r = kHeaderRows; r < vsList->rows(); ++r)
        if (vsList->textMatrix(r, ColPlate).trimmed() == key)
            setLamp(r, ColCond, lamp);
}

void frmOutCheck::redrawByTrip(const QString &busId, const QDateTime &busDate, int col, int lamp)
{
    if (busDate.date() != m_listDate)
        return;
    const QString key = busId.trimmed();
    for (int r = kHeaderRows; r < vsList->rows(); ++r)
        if (rowCode(r) == key)
            setLamp(r, col, lamp);
}

void frmOutCheck::moMsg_DriverCheck(const QString &busId, const QDateTime &busDate, int lamp)
{
    redrawByTrip(busId, busDate, ColDriver, lamp);
}

void frmOutCheck::moMsg_SchemeCheck(const QString &busId, const QDateTime &busDate, int lamp)
{
    redrawByTrip(busId, busDate, ColScheme, lamp);
}

void frmOutCheck::moMsg_SchemeExCheck(const QString &busId, const QDateTime &busDate, int lamp)
{
    redrawByTrip(busId, busDate, ColOut, lamp);
}

} // namespace cg
