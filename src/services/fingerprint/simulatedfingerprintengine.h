#pragma once

#include "fingercache.h"
#include "fingerprintengine.h"
#include "simulatedfinger.h"

#include <QImage>
#include <QObject>
#include <QPointer>

#include <map>
#include <memory>

namespace cg {

// One press as the simulated reader delivers it to every attached engine.
struct SimulatedPress {
    finger::Impression impression;
    QImage image;
};

// The process's simulated fingerprint reader. Engines attach to it in
// Initialise; tests and the demo press fingers through it. Its state decides
// what Initialise answers: connected (0), driver failing to load (1) or
// unplugged (2). Presses are reproducible: the n-th press of a reader
// created with a given seed always yields the same impression.
class SimulatedFingerReader : public QObject {
    Q_OBJECT
public:
    enum class State { Connected, DriverFails, Disconnected };

    explicit SimulatedFingerReader(quint64 seed = 1, QObject *parent = nullptr);

    State state() const { return m_state; }
    void setState(State state) { m_state = state; }

    // Presses the finger with this key. Returns the press delivered.
    SimulatedPress press(const QString &key, const finger::PressOptions &options = {});
    // Presses a finger nobody enrolled; returns its key.
    QString pressUnknown();

signals:
    void pressed(const cg::SimulatedPress &press);

private:
    State m_state = State::Connected;
    finger::Random m_seeds;
    int m_unknownCount = 0;
};

class SimulatedFingerprintEngine : public FingerprintEngine {
    Q_OBJECT
public:
    explicit SimulatedFingerprintEngine(SimulatedFingerReader *reader, QObject *parent = nullptr);
    ~SimulatedFingerprintEngine() override;

    int Initialise() override;
    void Shutdown() override;
    bool IsRunning() const { return m_running; }

    void BeginEnrolment() override;
    bool IsEnrolling() const override { return m_enrolling; }
    void CancelEnrolment() override;
    int EnrolPressesLeft() const override;

    quint32 CreateCache() override;
    void FreeCache(quint32 &handle) override;
    bool AddTemplateText(quint32 handle, int id, const QString &text) override;
    int AddTemplateTexts(quint32 handle, const QList<std::pair<int, QString>> &texts) override;
    int IdentifyTemplateText(quint32 handle, const QString &text, int &threshold,
                             int &processedCount) override;

    QString CapturedTemplateText() const override { return m_capturedText; }
    QString EncodeTemplateText(const FingerTemplate &t) const override;
    FingerTemplate DecodeTemplateText(const QString &text) const override;
    bool VerifyTemplate(FingerTemplate &registered, const FingerTemplate &captured, bool learn,
                        bool &changed) override;
    int MatchScore(const FingerTemplate &a, const FingerTemplate &b) const override;

    bool SaveImageBitmap(const QString &path) const override;
    bool SaveTemplateFile(const QString &path, const FingerTemplate &t) const override;
    void DrawImage(QPainter &painter, int x, int y, int width, int height) const override;

    const QImage &LastImage() const { return m_image; }

private:
    void onPressed(const SimulatedPress &press);
    void finishEnrolment();

    QPointer<SimulatedFingerReader> m_reader;
    QMetaObject::Connection m_connection;
    bool m_running = false;

    bool m_enrolling = false;
    std::vector<FingerTemplate> m_enrolPresses;

    QString m_capturedText;
    QImage m_image;

    std::map<quint32, std::unique_ptr<finger::IdentificationCache>> m_caches;
    quint32 m_nextHandle = 1;
    quint32 m_latestCache = 0;
};

// An enrolment template for a simulated finger, as the engine's enrolment
// gives it: MinimumEnrolPresses acceptable presses merged (for seeding a
// demo database, the tests and the benchmark). The same key and seed always
// give the same template.
FingerTemplate EnrolTemplateForFinger(const QString &key, quint32 pressSeed, int threshold);
QString EnrolTemplateTextForFinger(const QString &key, quint32 pressSeed);

} // namespace cg
