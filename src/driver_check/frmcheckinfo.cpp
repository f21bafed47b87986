#include "frmcheckinfo.h"

#include "widgets/messages.h"
#include "widgets/messagesink.h"
#include "services/masterdata/driverservice.h"
#include "services/fingerprint/fingerprintengine.h"
#include "widgets/buttons.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

const QString kMatched = u"比对成功"_s;
// A listed driver with no enrolled template: he cannot press, the operator
// looks at him and confirms.
const QString kNoTemplate = u"无指纹"_s;
constexpr int kIdentifyThreshold = 8;

} // namespace

frmCheckInfo::frmCheckInfo(const Env &env, StationContext &station, QWidget *parent)
    : QDialog(parent), m_env(env), m_station(station)
{
    setObjectName(u"frmCheckInfo"_s);
    setWindowTitle(u"检票信息"_s);
    setModal(true);

    m_driverQuery = [this](const QString &license, const QString &busId) {
        DriverService drivers(*m_station.db, *m_env.clock);
        return drivers.QueryTripDrivers(m_station.context, license, busId);
    };

    lblError = new QLabel(this);
    lblError->setObjectName(u"lblError"_s);
    lblError->setWordWrap(true);
    lblError->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblError->setMinimumSize(460, 150);
    lblError->setFrameShape(QFrame::StyledPanel);
    lblError->setStyleSheet(u"QLabel { font-size: 11pt; padding: 6px; background: #FFFFF0; }"_s);

    lblPrompt = new QLabel(u"\"  请仔细核对以上信息，确认无误后点“确定”！\""_s, this);
    lblPrompt->setObjectName(u"lblPrompt"_s);
    lblPrompt->setStyleSheet(u"QLabel { color: #0000C0; }"_s);

    fraDriver = new QGroupBox(u"报班驾驶员"_s, this);
    fraDriver->setObjectName(u"fraDriver"_s);
    auto *grid = new QGridLayout(fraDriver);
    for (int i = 0; i < 3; ++i) {
        Place &p = m_places[i];
        p.number = new QLabel(fraDriver);
        p.name = new QLabel(fraDriver);
        p.status = new QLabel(fraDriver);
        p.number->setObjectName(u"lblDriverNo%1"_s.arg(i + 1));
        p.name->setObjectName(u"lblDriverName%1"_s.arg(i + 1));
        p.status->setObjectName(u"lblDriverStatus%1"_s.arg(i + 1));
        p.status->setStyleSheet(u"QLabel { color: #008000; font-weight: bold; }"_s);
        grid->addWidget(new QLabel(u"驾驶员%1："_s.arg(i + 1), fraDriver), i, 0);
        grid->addWidget(p.number, i, 1);
        grid->addWidget(p.name, i, 2);
        grid->addWidget(p.status, i, 3);
    }
    grid->setColumnMinimumWidth(1, 90);
    grid->setColumnMinimumWidth(2, 110);
    grid->setColumnStretch(3, 1);
    lblDriverError = new QLabel(fraDriver);
    lblDriverError->setObjectName(u"lblDriverError"_s);
    lblDriverError->setWordWrap(true);
    lblDriverError->setStyleSheet(u"QLabel { color: #C00000; }"_s);
    grid->addWidget(lblDriverError, 3, 0, 1, 4);

    cmdOK = new QPushButton(u"确定"_s, this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdNo = new QPushButton(u"取消"_s, this);
    cmdNo->setObjectName(u"cmdNo"_s);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblError, 1);
    layout->addWidget(lblPrompt);
    layout->addWidget(fraDriver);
    layout->addLayout(RightAlignedRow({cmdOK, cmdNo}));

    connect(cmdOK, &QPushButton::clicked, this, &frmCheckInfo::cmdOK_Click);
    connect(cmdNo, &QPushButton::clicked, this, &frmCheckInfo::cmdNo_Click);
}

frmCheckInfo::~frmCheckInfo()
{
    StopEngine();
}

void frmCheckInfo::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_loaded)
        return;
    m_loaded = true;
    Form_Load();
}

void frmCheckInfo::closeEvent(QCloseEvent *event)
{
    StopEngine();
    QDialog::closeEvent(event);
}

void frmCheckInfo::Form_Load()
{
    lblError->setText(m_szErrorDescription);
    m_IsOk = false;
    if (!m_station.params.OutCheck) {
        fraDriver->hide();
        cmdOK->setEnabled(true);
        cmdOK->setFocus();
        return;
    }
    fraDriver->show();
    for (Place &p : m_places) {
        p.number->clear();
        p.name->clear();
        p.status->clear();
    }
    lblDriverError->clear();
    cmdOK->setEnabled(false);
    Trap(*m_env.messages, [&] { LoadDrivers(); });
}

// Caches every template of every listed driver under a running number and
// puts the drivers into the three places: the first two in places 1 and 2,
// every further one in place 3, which so ends with the last.
void frmCheckInfo::LoadDrivers()
{
    const RecordSet drivers = m_driverQuery(m_szLicense, m_szBusID);
    if (m_station.makeFingerprintEngine)
        m_engine = m_station.makeFingerprintEngine(this);
    if (m_engine) {
        m_cache = m_engine->CreateCache();
        connect(m_engine, &FingerprintEngine::Captured, this,
                [this](const QString &) { Trap(*m_env.messages, [this] { FingerprintEngine_Captured(); }); });
    }
    StartEngine();

    m_driverNo.clear();
    m_driverName.clear();
    m_noTemplate.clear();
    for (int r = 0; r < drivers.RecordCount(); ++r) {
        const QString no = drivers.valueAt(r, u"driver_no"_s).toString().trimmed();
        const QString name = drivers.valueAt(r, u"driver_name"_s).toString().trimmed();
        int templates = 0;
        // Every template of a driver goes into the cache under his first
        // number: the engine then takes his fingers for one candidate and
        // does not ask one of them to stand clear of another.
        const int first = int(m_driverNo.size());
        for (int f = 1; f <= 4; ++f) {
            const QString text = drivers.valueAt(r, u"finger_value%1"_s.arg(f)).toString();
            if (text.trimmed().isEmpty())
                continue;
            if (m_engine)
                m_engine->AddTemplateText(m_cache, first, text);
            m_driverNo << no;
            m_driverName << name;
            ++templates;
        }
        Place &p = m_places[qMin(r, 2)];
        p.number->setText(no);
        p.name->setText(name);
        p.status->setText(templates == 0 ? kNoTemplate : QString());
        if (templates == 0)
            m_noTemplate << name;
    }
    m_hasDrivers = drivers.RecordCount() > 0;
    if (!m_hasDrivers) {
        // Nobody to press a finger: the operator confirms after looking.
        lblDriverError->setText(u"该车次没有报班驾驶员，请核对后点“确定”。"_s);
        cmdOK->setEnabled(true);
        return;
    }
    if (!m_noTemplate.isEmpty()) {
        lblDriverError->setText(noTemplateLine());
        cmdOK->setEnabled(!AnyPlaceOpen());
    }
}

QString frmCheckInfo::noTemplateLine() const
{
    return u"%1 没有登记指纹，无法比对；其他驾驶员比对成功后，请核对本人并点“确定”。"_s.arg(
        m_noTemplate.join(u"、"_s));
}

void frmCheckInfo::StartEngine()
{
    if (!m_engine) {
        m_env.messages->show({u"信息提示"_s, u"没连接指纹仪！"_s, MsgIcon::Information, MsgButtons::Ok}, this);
        return;
    }
    int result = m_engine->Initialise();
    if (result != FingerprintEngine::Ready) {
        result = m_engine->Initialise();
        if (result != FingerprintEngine::Ready)
            m_env.messages->show({u"信息提示"_s,
                                  result == FingerprintEngine::DriverFailed ? u"指纹识别驱动程序加载失败！"_s
                                                                            : u"没连接指纹仪！"_s,
                                  MsgIcon::Information, MsgButtons::Ok},
                                 this);
    }
    m_engine->BeginEnrolment();
    if (m_engine->IsEnrolling())
        m_engine->CancelEnrolment();
}

void frmCheckInfo::FingerprintEngine_Captured()
{
    if (!m_engine || m_IsOk)
        return;
    int threshold = kIdentifyThreshold;
    int processed = 0;
    const int id = m_engine->IdentifyTemplateText(m_cache, m_engine->CapturedTemplateText(), threshold, processed);
    if (id < 0 || id >= m_driverName.size()) {
        // An unknown finger never completes the confirmation.
        lblDriverError->setText(u"未能识别指纹，请重试！"_s);
        return;
    }
    const QString name = m_driverName.at(id);
    const QString no = m_driverNo.at(id);
    lblDriverError->setText(name);
    bool listed = false;
    for (Place &p : m_places) {
        if (!p.number->text().trimmed().isEmpty() && p.number->text().trimmed() == no) {
            p.status->setText(kMatched);
            listed = true;
            break;
        }
    }
    if (!listed) {
        lblDriverError->setText(name + u" 您不是该车的报班驾驶员！ "_s);
        return;
    }
    if (m_hasDrivers && !AnyPlaceOpen()) {
        if (!m_noTemplate.isEmpty()) {
            // Every driver who can press has; the rest is the operator's.
            lblDriverError->setText(name + u"\n"_s + noTemplateLine());
            cmdOK->setEnabled(true);
            return;
        }
        PlayWave(*m_env.sound, m_env.dataDir + u"/出站成功.wav"_s);
        StopEngine();
        cmdOK_Click();
    }
}

bool frmCheckInfo::AnyPlaceOpen() const
{
    for (const Place &p : m_places)
        if (!p.number->text().isEmpty() && p.status->text() != kMatched && p.status->text() != kNoTemplate)
            return true;
    return false;
}

void frmCheckInfo::StopEngine()
{
    if (m_engine)
        m_engine->Shutdown();
}

void frmCheckInfo::cmdOK_Click()
{
    m_IsOk = true;
    StopEngine();
    accept();
}

void frmCheckInfo::cmdNo_Click()
{
    m_IsOk = false;
    StopEngine();
    reject();
}

} // namespace cg
