#include "simulatedfingerprintengine.h"

#include <QFile>
#include <QPainter>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace cg {

SimulatedFingerReader::SimulatedFingerReader(quint64 seed, QObject *parent)
    : QObject(parent), m_seeds(seed)
{
}

SimulatedPress SimulatedFingerReader::press(const QString &key, const finger::PressOptions &options)
{
    const finger::FingerModel finger = finger::MakeFinger(key);
    SimulatedPress p;
    p.impression = finger::MakeImpression(finger, m_seeds.next(), options);
    p.image = finger::RenderImpression(finger, p.impression);
    emit pressed(p);
    return p;
}

QString SimulatedFingerReader::pressUnknown()
{
    const QString key = u"unknown/%1/%2"_s.arg(m_seeds.next()).arg(++m_unknownCount);
    press(key);
    return key;
}

SimulatedFingerprintEngine::SimulatedFingerprintEngine(SimulatedFingerReader *reader, QObject *parent)
    : FingerprintEngine(parent), m_reader(reader)
{
}

SimulatedFingerprintEngine::~SimulatedFingerprintEngine()
{
    Shutdown();
}

int SimulatedFingerprintEngine::Initialise()
{
    if (!m_reader || SensorIndex() != 0)
        return NoReader;
    switch (m_reader->state()) {
    case SimulatedFingerReader::State::DriverFails:
        return DriverFailed;
    case SimulatedFingerReader::State::Disconnected:
        return NoReader;
    case SimulatedFingerReader::State::Connected:
        break;
    }
    if (!m_running) {
        m_connection = connect(m_reader.data(), &SimulatedFingerReader::pressed, this,
                               &SimulatedFingerprintEngine::onPressed);
        m_running = true;
    }
    return Ready;
}

void SimulatedFingerprintEngine::Shutdown()
{
    if (m_running)
        disconnect(m_connection);
    m_running = false;
    m_enrolling = false;
    m_enrolPresses.clear();
}

void SimulatedFingerprintEngine::BeginEnrolment()
{
    m_enrolling = true;
    m_enrolPresses.clear();
}

void SimulatedFingerprintEngine::CancelEnrolment()
{
    m_enrolling = false;
    m_enrolPresses.clear();
}

int SimulatedFingerprintEngine::EnrolPressesLeft() const
{
    return m_enrolling ? EnrolPresses() - int(m_enrolPresses.size()) : 0;
}

void SimulatedFingerprintEngine::onPressed(const SimulatedPress &press)
{
    if (!m_running || !m_reader || m_reader->state() != SimulatedFingerReader::State::Connected)
        return;
    m_image = press.image;
    emit ImageReceived();
    const int quality = press.impression.quality;
    emit FeatureQuality(quality);
    if (quality != finger::QualityGood)
        return;

    if (m_enrolling) {
        m_enrolPresses.push_back(press.impression.features);
        if (int(m_enrolPresses.size()) >= EnrolPresses())
            finishEnrolment();
        return;
    }

    m_capturedText = EncodeTemplateText(press.impression.features);
    emit Captured(m_capturedText);
    if (AutoIdentify() && m_caches.count(m_latestCache)) {
        int threshold = Threshold(), processed = 0;
        const int id = IdentifyTemplateText(m_latestCache, m_capturedText, threshold, processed);
        emit Identified(id, threshold);
    }
}

void SimulatedFingerprintEngine::finishEnrolment()
{
    bool ok = false;
    const FingerTemplate merged = finger::MergePresses(m_enrolPresses, Threshold(), &ok);
    m_enrolling = false;
    m_enrolPresses.clear();
    const QString text = ok ? EncodeTemplateText(merged) : QString();
    if (ok)
        m_capturedText = text;
    emit EnrolmentDone(ok, text);
}

quint32 SimulatedFingerprintEngine::CreateCache()
{
    quint32 handle = m_nextHandle++;
    if (handle == 0) // after wrapping round, 0 stays "no cache"
        handle = m_nextHandle++;
    m_caches[handle] = std::make_unique<finger::IdentificationCache>();
    m_latestCache = handle;
    return handle;
}

void SimulatedFingerprintEngine::FreeCache(quint32 &handle)
{
    m_caches.erase(handle);
    handle = 0;
}

bool SimulatedFingerprintEngine::AddTemplateText(quint32 handle, int id, const QString &text)
{
    const auto it = m_caches.find(handle);
    if (it == m_caches.end())
        return false;
    bool ok = false;
    const FingerTemplate t = DecodeFingerTemplate(text, &ok);
    it->second->add(id, t);
    return ok && !t.isEmpty();
}

int SimulatedFingerprintEngine::AddTemplateTexts(quint32 handle, const QList<std::pair<int, QString>> &texts)
{
    const auto it = m_caches.find(handle);
    if (it == m_caches.end())
        return 0;
    return it->second->addTexts(std::vector<std::pair<int, QString>>(texts.begin(), texts.end()));
}

int SimulatedFingerprintEngine::IdentifyTemplateText(quint32 handle, const QString &text, int &threshold,
                                                     int &processedCount)
{
    processedCount = 0;
    const auto it = m_caches.find(handle);
    const int wanted = threshold > 0 ? threshold : Threshold();
    threshold = 0;
    if (it == m_caches.end())
        return -1;
    const auto result = it->second->identify(DecodeFingerTemplate(text), qMax(1, wanted),
                                             ForceSecondMatch());
    threshold = result.score;
    processedCount = result.processed;
    return result.id;
}

QString SimulatedFingerprintEngine::EncodeTemplateText(const FingerTemplate &t) const
{
    return EncodeFingerTemplate(t);
}

FingerTemplate SimulatedFingerprintEngine::DecodeTemplateText(const QString &text) const
{
    return DecodeFingerTemplate(text);
}

int SimulatedFingerprintEngine::MatchScore(const FingerTemplate &a, const FingerTemplate &b) const
{
    return finger::MatchScore(finger::Prepare(a), finger::Prepare(b));
}

bool SimulatedFingerprintEngine::VerifyTemplate(FingerTemplate &registered, const FingerTemplate &captured,
                                                bool learn, bool &changed)
{
    changed = false;
    const bool match = MatchScore(captured, registered) >= qMax(1, OneToOneThreshold());
    if (match && learn)
        changed = finger::LearnFromCapture(registered, captured);
    return match;
}

bool SimulatedFingerprintEngine::SaveImageBitmap(const QString &path) const
{
    if (m_image.isNull())
        return false;
    return m_image.save(path, "BMP");
}

bool SimulatedFingerprintEngine::SaveTemplateFile(const QString &path, const FingerTemplate &t) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(EncodeTemplateText(t).toLatin1());
    file.write("\n");
    return file.commit();
}

void SimulatedFingerprintEngine::DrawImage(QPainter &painter, int x, int y, int width, int height) const
{
    if (m_image.isNull() || width <= 0 || height <= 0)
        return;
    painter.drawImage(QRect(x, y, width, height), m_image);
}

FingerTemplate EnrolTemplateForFinger(const QString &key, quint32 pressSeed, int threshold)
{
    const finger::FingerModel finger = finger::MakeFinger(key);
    quint64 seed = pressSeed;
    for (int attempt = 0; attempt < 20; ++attempt) {
        // Like an operator at the reader: press until enough presses are
        // acceptable; if they do not match each other, start again.
        std::vector<FingerTemplate> presses;
        while (int(presses.size()) < FingerprintEngine::MinimumEnrolPresses) {
            const finger::Impression imp = finger::MakeImpression(finger, seed);
            seed += 0x10000;
            if (imp.quality == finger::QualityGood)
                presses.push_back(imp.features);
        }
        bool ok = false;
        const FingerTemplate merged = finger::MergePresses(presses, threshold, &ok);
        if (ok)
            return merged;
    }
    return finger.master;
}

QString EnrolTemplateTextForFinger(const QString &key, quint32 pressSeed)
{
    return EncodeFingerTemplate(EnrolTemplateForFinger(key, pressSeed, FingerprintEngine::DefaultThreshold));
}

} // namespace cg
