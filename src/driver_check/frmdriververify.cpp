#include "frmdriververify.h"

#include "core/apperror.h"
#include "core/clock.h"
#include "core/dates.h"
#include "widgets/buttons.h"
#include "widgets/grid.h"
#include "widgets/gridhelpers.h"
#include "widgets/messages.h"
#include "widgets/messagesink.h"
#include "core/sqlliteral.h"
#include "frmdriververifylibrary.h"
#include "frmdriververifysingle.h"
#include "services/checks/checknotifier.h"
#include "services/checks/checkservice.h"
#include "services/station/coreservices.h"
#include "services/masterdata/driverservice.h"
#include "services/fingerprint/fingerprintengine.h"
#include "stationui/titledwindow.h"
#include "stationui/listquery.h"
#include "stationui/stationcontext.h"
#include "services/masterdata/vehicleservice.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

// A sign of the station in large bold type and the given colour.
QLabel *signLabel(QWidget *parent, const QString &name, const QString &text, int pointSize, const QString &colour)
{
    QLabel *label = LargeLabel(parent, name, text, pointSize, true);
    label->setStyleSheet(u"QLabel { color: %1; }"_s.arg(colour));
    return label;
}

enum Col { ColBus = 0, ColTime, ColEnd, ColPlate, ColCompany, ColRoute, ColRouteName, ColReturn, ColState,
           ColDriver, ColConfirm, ColCount };

const QString kDateLabel = u"yyyy年MM月dd日"_s;
const QString kWindowText = u"yyyy-MM-dd HH:mm:ss"_s;

QPushButton *touchButton(QWidget *parent, const QString &name, const QString &text)
{
    QPushButton *b = NamedButton(parent, name, text);
    QFont f = b->font();
    f.setPointSize(18);
    f.setBold(true);
    b->setFont(f);
    b->setMinimumSize(150, 64);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

QString trimmedText(const RecordSet &rs, const QString &field)
{
    return rs.value(field).toString().trimmed();
}

} // namespace

frmDriverVerify::frmDriverVerify(const Env &env, StationContext &station, QWidget *parent)
    : QDialog(parent), m_env(env), m_station(station)
{
    setObjectName(u"frmDriverVerify"_s);
    setWindowTitle(u"驾驶员指纹报班"_s);
    // The station runs full-screen on the touch terminal.
    setWindowState(windowState() | Qt::WindowFullScreen);
    m_library = new DriverFingerLibrary(m_station, this);
    m_singleLibrary = new DriverFingerLibrary(m_station, this);
    if (FingerprintEngine *engine = m_library->engine())
        connect(engine, &FingerprintEngine::Captured, this, &frmDriverVerify::onCaptured);
    m_clock.setInterval(1000);
    connect(&m_clock, &QTimer::timeout, this, &frmDriverVerify::Timer1_Timer);
    buildUi();
}

frmDriverVerify::~frmDriverVerify()
{
    delete m_moMsg;
    m_moMsg = nullptr;
    m_library->release();
}

void frmDriverVerify::buildUi()
{
    setStyleSheet(u"QDialog#frmDriverVerify { background: #EAF2FB; }"_s);
    resize(1280, 800);
    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(28, 18, 28, 18);
    root->setSpacing(12);

    auto *top = new QHBoxLayout;
    lblDate = new QLabel(this);
    lblDate->setObjectName(u"lblDate"_s);
    lblTime = new QLabel(this);
    lblTime->setObjectName(u"lblTime"_s);
    for (QLabel *l : {lblDate, lblTime}) {
        QFont f = l->font();
        f.setPointSize(22);
        f.setBold(true);
        l->setFont(f);
    }
    top->addWidget(lblDate);
    top->addSpacing(24);
    top->addWidget(lblTime);
    top->addStretch();
    lblWait = signLabel(this, u"lblWait"_s, u"正在识别指纹，请等待..."_s, 20, u"#B00000"_s);
    lblWait->hide();
    top->addWidget(lblWait);
    root->addLayout(top);

    lblPrompt = signLabel(this, u"lblPrompt"_s, u"请按指纹，并选择一个之后列出的班次："_s, 24, u"#1A4A80"_s);
    root->addWidget(lblPrompt);

    vsList = new FlexGrid(this);
    vsList->setObjectName(u"vsList"_s);
    QFont gf = vsList->font();
    gf.setPointSize(16);
    vsList->setFont(gf);
    vsList->setHighlightSelection(false);
    vsList->setFocusPolicy(Qt::NoFocus);
    root->addWidget(vsList, 1);
    buildGridHeader();
    connect(vsList, &QTableWidget::cellClicked, this, &frmDriverVerify::onGridClicked);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(18);
    cmdPrev = touchButton(this, u"cmdPrev"_s, u"上一页"_s);
    cmdNext = touchButton(this, u"cmdNext"_s, u"下一页"_s);
    cmdRefresh = touchButton(this, u"cmdRefresh"_s, u"刷新"_s);
    cmdRefreshBus = touchButton(this, u"cmdRefreshBus"_s, u"刷新车次"_s);
    cmdRefreshFinger = touchButton(this, u"cmdRefreshFinger"_s, u"刷新指纹"_s);
    cmdReturn = touchButton(this, u"cmdReturn"_s, u"返回"_s);
    buttons->addWidget(cmdPrev);
    buttons->addWidget(cmdNext);
    buttons->addStretch();
    buttons->addWidget(cmdRefreshBus);
    buttons->addWidget(cmdRefreshFinger);
    buttons->addWidget(cmdRefresh);
    buttons->addWidget(cmdReturn);
    root->addLayout(buttons);
    cmdRefreshBus->hide();
    cmdRefreshFinger->hide();

    connect(cmdPrev, &QPushButton::clicked, this, TrappedSlot(*m_env.messages, this, &frmDriverVerify::previousPage));
    connect(cmdNext, &QPushButton::clicked, this, TrappedSlot(*m_env.messages, this, &frmDriverVerify::nextPage));
    connect(cmdRefresh, &QPushButton::clicked, this, TrappedSlot(*m_env.messages, this, &frmDriverVerify::toggleRefreshOptions));
    connect(cmdRefreshBus, &QPushButton::clicked, this, TrappedSlot(*m_env.messages, this, &frmDriverVerify::refreshTrips));
    connect(cmdRefreshFinger, &QPushButton::clicked, this,
            TrappedSlot(*m_env.messages, this, &frmDriverVerify::refreshFingers));
    connect(cmdReturn, &QPushButton::clicked, this, TrappedSlot(*m_env.messages, this, &frmDriverVerify::returnClicked));

    // The card reader types into whatever has the focus: every key of the
    // screen and its controls is card input.
    for (QWidget *w : findChildren<QWidget *>())
        w->installEventFilter(this);
}

void frmDriverVerify::buildGridHeader()
{
    vsList->setRows(1);
    vsList->setCols(ColCount);
    vsList->setFixedRows(1);
    vsList->setFixedCols(0);
    const QStringList captions = {u"车次"_s, u"发车时间"_s, u"终点站"_s, u"车牌号"_s, u"参运公司"_s,
                                  u"线路代码"_s, u"线路名称"_s, u"回场"_s, u"车容车况"_s, u"驾驶员"_s,
                                  u"选择"_s};
    for (int c = 0; c < ColCount; ++c) {
        vsList->setTextMatrix(0, c, captions.at(c));
        vsList->setCellFontSize(0, c, 16);
        vsList->setCellFontBold(0, c, true);
    }
    vsList->setAllCentered();
    const int widths[ColCount] = {1900, 2100, 2700, 2700, 2700, 1200, 1800, 1000, 1900, 1900, 2000};
    for (int c = 0; c < ColCount; ++c)
        vsList->setColWidthTwips(c, widths[c]);
    for (int c : {ColRoute, ColRouteName, ColReturn})
        vsList->setColHidden(c, true);
    vsList->setRowHeightPixels(0, 44);
}

void frmDriverVerify::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_loaded) {
        m_loaded = true;
        Trap(*m_env.messages, [&] { loadScreen(); });
    }
}

void frmDriverVerify::loadScreen()
{
    lblDate->setText(m_env.clock->today().toString(kDateLabel));
    lblTime->setText(m_env.clock->now().toString(u"HH:mm:ss"_s));
    m_clock.start();
    // The station every check event of this workstation is stamped with.
    m_moMsg = new CheckNotifier(*m_station.db);
    connect(m_moMsg, &CheckNotifier::DriverCheck, this, &frmDriverVerify::onDriverCheck);
    connect(m_moMsg, &CheckNotifier::ReturnCheck, this, &frmDriverVerify::onReturnCheck);
    connect(m_moMsg, &CheckNotifier::TechCheck, this, &frmDriverVerify::onTechCheck);
    connect(m_moMsg, &CheckNotifier::ReplaceVehicle, this, &frmDriverVerify::onReplaceVehicle);
    m_moMsg->Subscribe(m_station.stationCode());
    m_page = 1;
    m_rsBus = RecordSet();
    m_hasList = false;
    cmdRefreshBus->hide();
    cmdRefreshFinger->hide();
    RefreshBus();
    loadDriverLibrary();
}

void frmDriverVerify::loadDriverLibrary()
{
    m_library->release();
    m_library->initialise(m_env.messages, this);
    DriverService drivers(*m_station.db, *m_env.clock);
    m_rsDrivers = drivers.QueryDriverFingers(m_station.context);
    // An empty driver table is an empty library: nobody is identified.
    m_library->load(m_rsDrivers);
    m_libChanged = true;
}

QDateTime frmDriverVerify::windowStart() const
{
    return m_env.clock->now().addSecs(-60LL * m_station.params.StartCheckTime.trimmed().toInt());
}

QDateTime frmDriverVerify::windowEnd() const
{
    return m_env.clock->now().addSecs(60LL * m_station.params.EndCheckTime.trimmed().toInt());
}

void frmDriverVerify::RefreshBus()
{
    Trap(*m_env.messages, [&] {
        m_page = 1;
        m_identifiedDriverNo.clear();
        CheckService service(*m_station.db, *m_env.clock);
        m_rsBus = service.QueryDayTrips(m_station.context, QDateTime(m_env.clock->today(), QTime(0, 0)),
                                        QString(), QString(), windowStart().toString(kWindowText),
                                        windowEnd().toString(kWindowText), QString(), 1,
                                        m_station.session->GetUnitCode());
        m_rsBus.MoveFirst();
        m_hasList = true;
        // A refresh replaces the list: rows of trips no longer listed go,
        // so that 确认 can only hand off a trip the refresh found.
        vsList->setRows(vsList->fixedRows());
        showPage();
    });
}

void frmDriverVerify::showPage()
{
    // Without a trip list the progress text stays and nothing is filled.
    if (!m_hasList) {
        if (m_env.status)
            m_env.status->SetStatusText(ListQueryProgressText(), 1);
        return;
    }
    RunListQuery(m_env, [this] {
        fillPage();
        return m_rsBus.RecordCount();
    });
}

void frmDriverVerify::fillPage()
{
    if (!m_rsBus.isEOF())
        vsList->setRows(vsList->fixedRows());
    for (int n = 0; n < PageSize && !m_rsBus.isEOF(); ++n, m_rsBus.MoveNext()) {
        const int r = vsList->addRow();
        vsList->setRowHeightPixels(r, 44);
        const QString busId = trimmedText(m_rsBus, u"bus_id"_s);
        const QDateTime start = m_rsBus.value(u"bus_start_time"_s).toDateTime();
        vsList->setTextMatrix(r, ColBus, busId);
        vsList->setTextMatrix(r, ColTime, start.toString(u"HH:mm"_s));
        vsList->setTextMatrix(r, ColEnd, trimmedText(m_rsBus, u"end_station_name"_s));
        QString plate = trimmedText(m_rsBus, u"license_tag_no"_s);
        QString company = trimmedText(m_rsBus, u"transport_company_short_name"_s);
        if (!m_replace.busId.isEmpty() && busId == m_replace.busId
            && start.toString(u"yyyy-MM-dd"_s) == m_replace.busDate) {
            plate = m_replace.license;
            company = m_replace.company;
        }
        vsList->setTextMatrix(r, ColPlate, plate);
        vsList->setTextMatrix(r, ColCompany, company);
        vsList->setTextMatrix(r, ColRoute, trimmedText(m_rsBus, u"route_id"_s));
        vsList->setTextMatrix(r, ColRouteName, trimmedText(m_rsBus, u"route_name"_s));
        SetLampCell(vsList, r, ColReturn, m_rsBus.value(u"ReturnStatus"_s).toInt());
        SetLampCell(vsList, r, ColState, m_rsBus.value(u"StateStatus"_s).toInt());
        SetLampCell(vsList, r, ColDriver, m_rsBus.value(u"driver_verify_status"_s).toInt());
        vsList->setTextMatrix(r, ColConfirm, u"确认"_s);
        vsList->setCellForeColor(r, ColConfirm, QColor(0xFF, 0x00, 0x00));
        vsList->setCellFontBold(r, ColConfirm, true);
    }
}

void frmDriverVerify::nextPage()
{
    if (!m_hasList)
        return;
    if (!m_rsBus.isEOF())
        ++m_page;
    showPage();
}

void frmDriverVerify::previousPage()
{
    if (!m_hasList || m_rsBus.isEmpty())
        return;
    m_rsBus.MoveFirst();
    if (m_page > 1)
        --m_page;
    m_rsBus.Move((m_page - 1) * PageSize);
    showPage();
}

void frmDriverVerify::toggleRefreshOptions()
{
    const bool show = cmdRefreshBus->isHidden() || cmdRefreshFinger->isHidden();
    cmdRefreshBus->setVisible(show);
    cmdRefreshFinger->setVisible(show);
}

void frmDriverVerify::refreshTrips()
{
    cmdRefreshBus->hide();
    cmdRefreshFinger->hide();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    RefreshBus();
}

void frmDriverVerify::refreshFingers()
{
    cmdRefreshBus->hide();
    cmdRefreshFinger->hide();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_library->shutdown();
    loadDriverLibrary();
}

void frmDriverVerify::returnClicked()
{
    if (!m_station.openForm)
        return;
    const QVariantMap result =
        m_station.openForm(this, u"frmCheckPass"_s, {{u"m_szParentForm"_s, u"frmDriverVerify"_s}});
    if (result.value(u"m_ok"_s).toBool())
        close();
}

void frmDriverVerify::Timer1_Timer()
{
    const QDateTime now = m_env.clock->now();
    lblTime->setText(now.toString(u"HH:mm:ss"_s));
    // A station left running over midnight shows (and matches) the new day.
    lblDate->setText(now.date().toString(kDateLabel));
}

void frmDriverVerify::onGridClicked(int row, int col)
{
    if (row < vsList->fixedRows() || col != ColConfirm || vsList->textMatrix(row, ColBus).isEmpty())
        return;
    Trap(*m_env.messages, [&] {
        m_library->shutdown();
        handOff(vsList->textMatrix(row, ColBus), vsList->textMatrix(row, ColRoute),
                vsList->textMatrix(row, ColRouteName), vsList->textMatrix(row, ColCompany), m_identifiedDriverNo);
        m_library->initialise(nullptr, this);
        cmdRefreshBus->hide();
        cmdRefreshFinger->hide();
        RefreshBus();
    });
}

void frmDriverVerify::handOff(const QString &busId, const QString &routeId, const QString &routeName,
                              const QString &company, const QString &driverNo)
{
    frmDriverVerifySingle single(m_env, m_station, m_singleLibrary, this);
    if (m_libChanged) {
        single.m_FingerLibChanged = true;
        single.setDriverRecords(m_rsDrivers);
        m_libChanged = false;
    }
    single.m_szBusID = busId;
    single.m_szRouteID = routeId;
    single.m_szRouteName = routeName;
    single.m_szCompany = company;
    single.m_szDriverNo = driverNo;
    // While it is open its own engine takes the presses; this screen's
    // engine (still attached after a card hand-off) ignores them.
    m_handingOff = true;
    single.raise();
    single.exec();
    m_handingOff = false;
}

void frmDriverVerify::onCaptured()
{
    if (m_handingOff || !isVisible())
        return;
    try {
        identifyCapture();
    } catch (const std::exception &e) {
        // The waiting sign goes before the notice shows.
        lblWait->hide();
        NotifyError(*m_env.messages, this, e);
    }
}

void frmDriverVerify::identifyCapture()
{
    lblWait->show();
    m_identifiedDriverNo.clear();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    const QString templateText = m_library->engine() ? m_library->engine()->CapturedTemplateText() : QString();
    const int index = m_library->identify(templateText);
    if (index < 0) {
        if (m_env.sound)
            PlayWave(*m_env.sound, m_env.dataDir + u"/指纹失败.wav"_s);
        m_rsBus = RecordSet();
        m_hasList = false;
        lblWait->hide();
        vsList->setRows(vsList->fixedRows());
        m_env.messages->notify(u"未能识别指纹，请重试"_s, this);
    } else {
        CheckService service(*m_station.db, *m_env.clock);
        m_rsBus = service.QueryDriverTrips(m_station.context, m_library->driver(index).driverNo,
                                           m_station.session->GetUnitCode(),
                                           QDateTime(m_env.clock->today(), QTime(0, 0)), windowStart(), windowEnd());
        m_rsBus.MoveFirst();
        m_hasList = true;
        m_identifiedDriverNo = m_library->driver(index).driverNo;
    }
    lblWait->hide();
    m_page = 1;
    vsList->setRows(vsList->fixedRows());
    showPage();

    // Go to the page of the driver's first trip still to leave and not
    // checked in.
    const int k = firstOpenTripPosition();
    if (k > 0) {
        const int target = k <= PageSize ? 1 : (k % PageSize == 0 ? k / PageSize : k / PageSize + 1);
        while (m_page < target && !m_rsBus.isEOF())
            nextPage();
    }
}

int frmDriverVerify::firstOpenTripPosition() const
{
    if (!m_hasList)
        return 0;
    const QDateTime now = m_env.clock->now();
    for (int i = 0; i < m_rsBus.RecordCount(); ++i) {
        if (m_rsBus.valueAt(i, u"bus_start_time"_s).toDateTime() > now
            && m_rsBus.valueAt(i, u"driver_verify_status"_s).toInt() == 0)
            return i + 1;
    }
    return 0;
}

bool frmDriverVerify::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()
        && static_cast<QWidget *>(watched)->window() == this) {
        cardKey(static_cast<QKeyEvent *>(event));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void frmDriverVerify::keyPressEvent(QKeyEvent *event)
{
    cardKey(event);
}

void frmDriverVerify::cardKey(QKeyEvent *event)
{
    event->accept();
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        m_cardBuffer += event->text();
        return;
    }
    const QString card = m_cardBuffer;
    m_cardBuffer.clear();
    if (card.size() != 10) {
        if (m_env.sound)
            PlayWave(*m_env.sound, m_env.dataDir + u"/刷卡出错.wav"_s);
        m_env.messages->notify(u"刷卡出错，请重刷！"_s, this);
        return;
    }
    TrapNotice(*m_env.messages, this, [&] { cardEntered(card); });
}

void frmDriverVerify::cardEntered(const QString &card)
{
    VehicleService vehicles(*m_station.db, *m_env.clock);
    RecordSet rsVehicle = vehicles.QueryVehicles(m_station.context, u" ic_card_id = "_s + SqlLiteral(card),
                                                 QString(), NoDate(), true);
    if (rsVehicle.RecordCount() == 0) {
        m_env.messages->notify(u"此IC卡号的车辆不存在，请联系管理员！"_s, this);
        return;
    }
    if (rsVehicle.RecordCount() > 1) {
        m_env.messages->notify(u"此IC卡号的车辆有两辆车以上，请联系管理员！"_s, this);
        return;
    }
    rsVehicle.MoveFirst();
    const QString plate = trimmedText(rsVehicle, u"license"_s);
    const QDateTime today(m_env.clock->today(), QTime(0, 0));
    const QDateTime now = m_env.clock->now();
    CheckService service(*m_station.db, *m_env.clock);
    RecordSet trips = service.QueryVehicleTrips(m_station.context, today, QString(), plate,
                                                now.toString(kWindowText), windowEnd().toString(kWindowText),
                                                QString(), 1, m_station.session->GetUnitCode(), 0);
    if (trips.RecordCount() > 0) {
        trips.MoveFirst();
    } else {
        trips = service.QueryVehicleTrips(m_station.context, today, QString(), plate,
                                          windowStart().toString(kWindowText), now.toString(kWindowText),
                                          QString(), 1, m_station.session->GetUnitCode(), 0);
        if (trips.RecordCount() == 0) {
            m_env.messages->notify(u"此IC卡号的车辆没有在环境车次中排班！\r\n请联系管理员！"_s, this);
            return;
        }
        trips.MoveLast();
    }
    const QString busId = trimmedText(trips, u"bus_id"_s);

    // Show the trip's page: search the shown rows, page on, and stop at the
    // last page. A trip on no page (the list was loaded before it entered
    // the window, or it is another driver's list) is handed off all the
    // same: the card identified it.
    toggleRefreshOptions();
    for (;;) {
        bool found = false;
        for (int r = vsList->fixedRows(); r < vsList->rows() && !found; ++r)
            found = vsList->textMatrix(r, ColBus) == busId;
        if (found || !m_hasList || m_rsBus.isEOF())
            break;
        nextPage();
    }
    handOff(busId, trimmedText(trips, u"route_id"_s), trimmedText(trips, u"route_name"_s),
            trimmedText(trips, u"transport_company_short_name"_s));
}

void frmDriverVerify::onDriverCheck(const QString &busId, const QDateTime &busDate, int lamp)
{
    if (busDate.toString(kDateLabel) != lblDate->text())
        return;
    for (int r = vsList->fixedRows(); r < vsList->rows(); ++r)
        if (vsList->textMatrix(r, ColBus) == busId)
            SetLampCell(vsList, r, ColDriver, lamp);
}

void frmDriverVerify::onReturnCheck(const QString &license, const QDateTime &, int lamp, const QDateTime &,
                                    const QString &)
{
    for (int r = vsList->fixedRows(); r < vsList->rows(); ++r)
        if (vsList->textMatrix(r, ColPlate) == license)
            SetLampCell(vsList, r, ColReturn, lamp);
}

void frmDriverVerify::onTechCheck(const QString &license, const QDateTime &, int lamp, int, const QDateTime &,
                                  const QString &)
{
    for (int r = vsList->fixedRows(); r < vsList->rows(); ++r) {
        if (vsList->textMatrix(r, ColPlate) == license) {
            SetLampCell(vsList, r, ColState, lamp);
            SetLampCell(vsList, r, ColReturn, lamp);
        }
    }
}

void frmDriverVerify::onReplaceVehicle(const QString &busId, const QDateTime &busDate, const QString &newLicense,
                                       const QString &newCompany)
{
    m_replace = {busId.trimmed(), busDate.toString(u"yyyy-MM-dd"_s), newLicense.trimmed(), newCompany.trimmed()};
    if (m_env.clock->today().toString(u"yyyy-MM-dd"_s) != m_replace.busDate)
        return;
    for (int r = vsList->fixedRows(); r < vsList->rows(); ++r) {
        if (vsList->textMatrix(r, ColBus) == m_replace.busId) {
            vsList->setTextMatrix(r, ColPlate, m_replace.license);
            vsList->setTextMatrix(r, ColCompany, m_replace.company);
        }
    }
}

void frmDriverVerify::closeEvent(QCloseEvent *event)
{
    // Only 返回 with the exit password leaves the station: a close from the
    // window system (Alt+F4, the title bar) asks for the password first.
    if (event->spontaneous()) {
        event->ignore();
        Trap(*m_env.messages, [&] { returnClicked(); });
        return;
    }
    m_clock.stop();
    delete m_moMsg;
    m_moMsg = nullptr;
    m_library->release();
    m_library->shutdown();
    m_loaded = false;
    QDialog::closeEvent(event);
}

} // namespace cg
