#include "frmdriververifysingle.h"

#include "biorhythm.h"
#include "core/apperror.h"
#include "core/clock.h"
#include "core/dates.h"
#include "widgets/messages.h"
#include "widgets/messagesink.h"
#include "frmdriververifylibrary.h"
#include "services/checks/checkservice.h"
#include "services/station/coreservices.h"
#include "services/masterdata/driverphoto.h"
#include "services/masterdata/driverservice.h"
#include "services/fingerprint/fingerprintengine.h"
#include "stationui/titledwindow.h"
#include "stationui/stationcontext.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStackedWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

const QString kAlreadyPassed = u"指纹已通过，请勿重试！"_s;

enum StatusPicture { WaitPicture = 0, SuccessPicture = 1, FailurePicture = 2 };

// The three status pictures: a fingertip to press, a green tick, a red cross.
QPixmap statusPixmap(StatusPicture kind)
{
    QPixmap pm(180, 180);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF disc(10, 10, 160, 160);
    switch (kind) {
    case WaitPicture: {
        p.setBrush(QColor(0xE8, 0xF0, 0xFA));
        p.setPen(QPen(QColor(0x3A, 0x6E, 0xA5), 4));
        p.drawEllipse(disc);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(0x3A, 0x6E, 0xA5), 5, Qt::SolidLine, Qt::RoundCap));
        for (int i = 0; i < 5; ++i) {
            const qreal w = 28 + i * 18.0, h = 36 + i * 20.0;
            p.drawArc(QRectF(90 - w / 2, 100 - h / 2, w, h), 20 * 16, 140 * 16);
        }
        break;
    }
    case SuccessPicture: {
        p.setBrush(QColor(0x2E, 0xA0, 0x44));
        p.setPen(Qt::NoPen);
        p.drawEllipse(disc);
        QPainterPath tick;
        tick.moveTo(50, 95);
        tick.lineTo(80, 125);
        tick.lineTo(132, 62);
        p.setPen(QPen(Qt::white, 16, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
        break;
    }
    case FailurePicture: {
        p.setBrush(QColor(0xD0, 0x30, 0x30));
        p.setPen(Qt::NoPen);
        p.drawEllipse(disc);
        p.setPen(QPen(Qt::white, 16, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(60, 60), QPointF(120, 120));
        p.drawLine(QPointF(120, 60), QPointF(60, 120));
        break;
    }
    }
    return pm;
}

} // namespace

frmDriverVerifySingle::frmDriverVerifySingle(const Env &env, StationContext &station, DriverFingerLibrary *library,
                                             QWidget *parent)
    : QDialog(parent), m_env(env), m_station(station), m_library(library)
{
    setObjectName(u"frmDriverVerifySingle"_s);
    setWindowTitle(u"驾驶员指纹报班"_s);
    if (!m_library)
        m_library = new DriverFingerLibrary(m_station, this);
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &frmDriverVerifySingle::Timer1_Timer);
    buildUi();
}

frmDriverVerifySingle::~frmDriverVerifySingle() = default;

void frmDriverVerifySingle::buildUi()
{
    resize(860, 560);
    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(24, 18, 24, 18);
    root->setSpacing(14);

    auto *trip = new QHBoxLayout;
    trip->setSpacing(28);
    trip->addWidget(LargeLabel(this, u"lblBusCaption"_s, u"车次："_s, 16));
    lblBusID = LargeLabel(this, u"lblBusID"_s, QString(), 18, true);
    trip->addWidget(lblBusID);
    trip->addWidget(LargeLabel(this, u"lblRouteCaption"_s, u"线路："_s, 16));
    lblRouteName = LargeLabel(this, u"lblRouteName"_s, QString(), 18, true);
    trip->addWidget(lblRouteName);
    trip->addWidget(LargeLabel(this, u"lblCompanyCaption"_s, u"公司："_s, 16));
    lblCompany = LargeLabel(this, u"lblCompany"_s, QString(), 18, true);
    trip->addWidget(lblCompany);
    trip->addStretch();
    lblClose = LargeLabel(this, u"lblClose"_s, u"关闭15"_s, 18, true);
    lblClose->setStyleSheet(u"QLabel { color: #B00000; border: 2px solid #B00000; border-radius: 6px; "
                            u"padding: 4px 14px; }"_s);
    lblClose->setCursor(Qt::PointingHandCursor);
    lblClose->installEventFilter(this);
    trip->addWidget(lblClose);
    root->addLayout(trip);

    auto *middle = new QHBoxLayout;
    middle->setSpacing(24);
    auto *photoColumn = new QVBoxLayout;
    imgPhoto = new QLabel(this);
    imgPhoto->setObjectName(u"imgPhoto"_s);
    imgPhoto->setFixedSize(180, 230);
    imgPhoto->setFrameShape(QFrame::Box);
    imgPhoto->setAlignment(Qt::AlignCenter);
    imgPhoto->setScaledContents(true);
    photoColumn->addWidget(imgPhoto);
    lblDriverName = LargeLabel(this, u"lblDriverName"_s, QString(), 22, true);
    lblDriverName->setAlignment(Qt::AlignCenter);
    photoColumn->addWidget(lblDriverName);
    middle->addLayout(photoColumn);

    ptStatus = new QStackedWidget(this);
    ptStatus->setObjectName(u"ptStatus"_s);
    const struct { const char16_t *name; StatusPicture kind; } pictures[] = {
        {u"imgWait", WaitPicture}, {u"imgSuccess", SuccessPicture}, {u"imgFail", FailurePicture}};
    for (const auto &pic : pictures) {
        auto *img = new QLabel(ptStatus);
        img->setObjectName(QString::fromUtf16(pic.name));
        img->setPixmap(statusPixmap(pic.kind));
        img->setAlignment(Qt::AlignCenter);
        ptStatus->addWidget(img);
    }
    ptStatus->setFixedSize(200, 200);
    auto *statusColumn = new QVBoxLayout;
    statusColumn->addWidget(ptStatus, 0, Qt::AlignHCenter);
    auto *prompt = LargeLabel(this, u"lblPrompt"_s, u"请按指纹"_s, 20, true);
    prompt->setAlignment(Qt::AlignCenter);
    statusColumn->addWidget(prompt);
    statusColumn->addStretch();
    middle->addLayout(statusColumn);
    middle->addStretch();
    root->addLayout(middle);

    // The forecast: one row per cycle, one column per day.
    ptBio = new QFrame(this);
    ptBio->setObjectName(u"ptBio"_s);
    ptBio->setFrameShape(QFrame::StyledPanel);
    ptBio->setStyleSheet(u"QFrame#ptBio { background: #FFF8E0; }"_s);
    auto *bio = new QGridLayout(ptBio);
    bio->setHorizontalSpacing(30);
    const BioCycle rows[3] = {BioCycle::Physical, BioCycle::Emotional, BioCycle::Intellectual};
    for (int r = 0; r < 3; ++r)
        bio->addWidget(LargeLabel(ptBio, u"lblCycle%1"_s.arg(r), BioCycleCaption(rows[r]), 16, true), r + 1, 0);
    for (int d = 0; d < 3; ++d) {
        lblDay[d] = LargeLabel(ptBio, u"lblDay%1"_s.arg(d), QString(), 16, true);
        lblDay[d]->setAlignment(Qt::AlignCenter);
        bio->addWidget(lblDay[d], 0, d + 1);
    }
    // Mark cells in forecast order: day i's intellectual, emotional, physical.
    for (int k = 0; k < 9; ++k) {
        lblMark[k] = LargeLabel(ptBio, u"lblMark%1"_s.arg(k), QString(), 18, true);
        lblMark[k]->setAlignment(Qt::AlignCenter);
        lblMark[k]->setStyleSheet(u"QLabel { color: #D00000; }"_s);
        const int cycleRow = 2 - k % 3; // intellectual row 3, emotional 2, physical 1
        bio->addWidget(lblMark[k], cycleRow + 1, k / 3 + 1);
    }
    auto *warn = LargeLabel(ptBio, u"lblWarn"_s, u"驾驶员朋友请作好低潮期准备，谨慎驾驶"_s, 16, true);
    warn->setStyleSheet(u"QLabel { color: #B00000; }"_s);
    bio->addWidget(warn, 4, 0, 1, 4);
    root->addWidget(ptBio);
    root->addStretch();
}

void frmDriverVerifySingle::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_loaded) {
        m_loaded = true;
        Trap(*m_env.messages, [&] { loadScreen(); });
    }
}

void frmDriverVerifySingle::playWave(const QString &name)
{
    if (m_env.sound)
        PlayWave(*m_env.sound, m_env.dataDir + u"/"_s + name);
}

void frmDriverVerifySingle::showStatus(int which)
{
    ptStatus->setCurrentIndex(which);
    static const QString prompts[] = {u"请按指纹"_s, u"报班成功"_s, u"请重按指纹"_s};
    if (auto *prompt = findChild<QLabel *>(u"lblPrompt"_s))
        prompt->setText(prompts[qBound(0, which, 2)]);
}

void frmDriverVerifySingle::loadScreen()
{
    lblBusID->setText(m_szBusID);
    lblRouteName->setText(m_szRouteName);
    lblCompany->setText(m_szCompany);
    imgPhoto->clear();
    m_countdown = 15;
    lblClose->setText(u"关闭%1"_s.arg(m_countdown));
    playWave(u"请按指纹.wav"_s);
    ptBio->hide();
    showStatus(WaitPicture);

    if (FingerprintEngine *engine = m_library->engine())
        connect(engine, &FingerprintEngine::Captured, this, &frmDriverVerifySingle::onCaptured,
                Qt::UniqueConnection);
    // The cache of an earlier opening serves as long as the station's driver
    // library has not changed; without any cache yet, build one from what
    // the station handed over.
    const bool rebuild = !m_rsTemp.isEmpty() && (m_FingerLibChanged || !m_library->hasCache());
    // The reader's failure is told when the screen starts its engine for the
    // first time; later openings restart it quietly.
    m_library->initialise(rebuild && !m_library->hasCache() ? m_env.messages : nullptr, this);
    if (rebuild) {
        m_library->load(m_rsTemp);
        m_FingerLibChanged = false;
    }
    m_timer.start();
}

void frmDriverVerifySingle::Timer1_Timer()
{
    lblClose->setText(u"关闭%1"_s.arg(m_countdown));
    if (m_countdown <= 0) {
        m_timer.stop();
        close();
        return;
    }
    --m_countdown;
}

void frmDriverVerifySingle::closeEvent(QCloseEvent *event)
{
    m_timer.stop();
    if (FingerprintEngine *engine = m_library->engine())
        disconnect(engine, &FingerprintEngine::Captured, this, &frmDriverVerifySingle::onCaptured);
    m_library->shutdown();
    QDialog::closeEvent(event);
}

bool frmDriverVerifySingle::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lblClose && event->type() == QEvent::MouseButtonRelease) {
        close();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void frmDriverVerifySingle::noticeWhileStopped(const QString &message)
{
    // The screen must not close under the notice.
    const bool running = m_timer.isActive();
    m_timer.stop();
    m_env.messages->notify(message, this);
    if (running)
        m_timer.start();
}

void frmDriverVerifySingle::refuse(const QString &message)
{
    playWave(message == kAlreadyPassed ? u"指纹已通过.wav"_s : u"指纹失败.wav"_s);
    showStatus(FailurePicture);
    noticeWhileStopped(message);
}

void frmDriverVerifySingle::onCaptured()
{
    FingerprintEngine *engine = m_library->engine();
    if (!engine)
        return;
    QString templateText;
    try {
        templateText = engine->CapturedTemplateText();
    } catch (const std::exception &e) {
        // A failed capture is refused on the screen like a failed match.
        refuse(ErrorText(e));
        return;
    }
    int index = -1;
    try {
        if (m_szDriverNo.trimmed().isEmpty()) {
            index = m_library->identify(templateText);
        } else {
            index = m_library->indexOf(m_szDriverNo.trimmed());
            if (index >= 0 && !m_library->verify(index, templateText))
                index = -1;
        }
    } catch (const std::exception &) {
        // A matcher that fails has matched nobody.
        index = -1;
    }
    if (index < 0) {
        playWave(u"指纹失败.wav"_s);
        showStatus(FailurePicture);
        noticeWhileStopped(u"指纹比对失败！请重试！"_s);
        return;
    }
    const LibraryDriver driver = m_library->driver(index);
    QString message;
    try {
        CheckService service(*m_station.db, *m_env.clock);
        message = service.CheckInDriver(m_station.context, m_szBusID,
                                        QDateTime(m_env.clock->today(), QTime(0, 0)), driver.driverNo,
                                        m_env.clock->now(), m_station.session->GetOperatorName(), m_szRouteID);
    } catch (const std::exception &e) {
        // A refusal the service throws is told like one it returns.
        message = ErrorText(e);
    }
    if (!message.isEmpty()) {
        refuse(message);
        return;
    }

    // Recorded: the driver sees his photo and name.
    imgPhoto->clear();
    try {
        DriverService drivers(*m_station.db, *m_env.clock);
        const QString path = FetchDriverPhoto(drivers, m_station.context, driver.photoId, m_env.photoDir);
        if (!path.isEmpty())
            imgPhoto->setPixmap(QPixmap(path));
    } catch (const std::exception &) {
        // A photo that cannot be fetched leaves the box empty.
    }
    lblDriverName->setText(driver.name);
    playWave(u"指纹成功.wav"_s);
    showStatus(SuccessPicture);

    if (m_station.params.BiologicalClockReport) {
        showForecast(driver.birthDate);
        if (!ptBio->isHidden()) {
            if (m_countdown > 1)
                m_countdown = 5;
            return;
        }
    }
    if (m_countdown > 2)
        m_countdown = 2;
}

void frmDriverVerifySingle::showForecast(const QDateTime &birthDate)
{
    ptBio->hide();
    if (!birthDate.isValid() || IsNoDate(birthDate))
        return;
    // A birth date so far back (or ahead) that the day count leaves the
    // forecast's range gives no forecast; the check-in itself stands, and
    // the driver is told why no forecast shows.
    const BiorhythmForecast f = ComputeBiorhythm(birthDate.date(), m_env.clock->today(), 3);
    if (!f.valid || f.cells.size() != 9) {
        if (!f.error.isEmpty())
            noticeWhileStopped(f.error);
        return;
    }
    for (int d = 0; d < 3; ++d)
        lblDay[d]->setText(f.cells.at(d * 3).dayText());
    for (int k = 0; k < 9; ++k)
        lblMark[k]->setText(f.cells.at(k).low ? u"●"_s : QString());
    ptBio->setVisible(f.anyLow());
}

} // namespace cg
