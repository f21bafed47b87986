#pragma once

#include "fingertemplate.h"

#include <QList>
#include <QObject>
#include <QString>

#include <utility>

class QPainter;

namespace cg {

// The fingerprint engine the stations drive: reader start-up, enrolment,
// 1:N identification caches of template texts, 1:1 verification, and the
// last image. One engine object per screen; everything runs on the UI
// thread. SimulatedFingerprintEngine is the implementation used without a
// reader driver; a real reader's driver is another subclass.
//
// Identification caches live as long as the engine object (Shutdown keeps
// them), so a screen can reuse its cache across openings. A handle is only
// valid with the engine that created it.
class FingerprintEngine : public QObject {
    Q_OBJECT
public:
    // Results of Initialise.
    enum InitResult { Ready = 0, DriverFailed = 1, NoReader = 2 };

    using QObject::QObject;
    ~FingerprintEngine() override = default;

    // Starts the engine and attaches it to the reader chosen by SensorIndex:
    // 0 ready, 1 the reader's driver failed to load, any other value no
    // reader connected. Calling it again while running is harmless.
    virtual int Initialise() = 0;
    // Detaches from the reader and abandons a running enrolment. Caches stay.
    virtual void Shutdown() = 0;

    // Enrolment: the next EnrolPresses() acceptable presses make one
    // template, delivered by EnrolmentDone. While enrolling, presses raise no
    // Captured. The presses must match each other (Threshold) or the
    // enrolment fails: EnrolmentDone(false, ""). One press is too little to
    // identify a driver among thousands, so an enrolment takes at least
    // MinimumEnrolPresses presses, whatever EnrollCount asks for.
    virtual void BeginEnrolment() = 0;
    virtual bool IsEnrolling() const = 0;
    virtual void CancelEnrolment() = 0;
    virtual int EnrolPressesLeft() const = 0;

    // 1:N caches. Handles are non-zero; FreeCache sets the caller's handle
    // to 0. Operations on an unknown or freed handle do nothing (identify
    // answers -1).
    virtual quint32 CreateCache() = 0;
    virtual void FreeCache(quint32 &handle) = 0;
    // Adds one template under id; one id may hold several templates. Text
    // that is empty or malformed is kept as an empty template that matches
    // nothing; the result is false then, or when the handle is unknown.
    virtual bool AddTemplateText(quint32 handle, int id, const QString &text) = 0;
    // Adds many (id, text) pairs, as AddTemplateText one after another would;
    // an engine may decode and index them on every core. Answers how many
    // texts held a template (0 when the handle is unknown). It may run on a
    // thread of its own while the caller's thread makes no other call on
    // the engine's caches (captures go on).
    virtual int AddTemplateTexts(quint32 handle, const QList<std::pair<int, QString>> &texts)
    {
        int added = 0;
        for (const auto &[id, text] : texts)
            added += AddTemplateText(handle, id, text);
        return added;
    }
    // The id whose templates match best, when that match holds in the open
    // set: it reaches threshold, it reaches a level that rises with the
    // number of templates in the cache (a stranger's chance best does too),
    // and it stands clear of every other id; else -1. Several templates
    // under one id (a driver's fingers) are one candidate. threshold <= 0
    // means the Threshold setting. On return threshold holds the best score
    // found and processedCount the number of templates the search went
    // through.
    virtual int IdentifyTemplateText(quint32 handle, const QString &text, int &threshold,
                                     int &processedCount) = 0;

    // Text of the last acceptable capture ("" before the first one).
    virtual QString CapturedTemplateText() const = 0;
    virtual QString EncodeTemplateText(const FingerTemplate &t) const = 0;
    virtual FingerTemplate DecodeTemplateText(const QString &text) const = 0;
    // 1:1: true when the captured template scores at least OneToOneThreshold
    // against the registered one. With learn on, a match also moves the
    // registered minutiae a little toward the capture (changed tells).
    virtual bool VerifyTemplate(FingerTemplate &registered, const FingerTemplate &captured,
                                bool learn, bool &changed) = 0;
    // Similarity score used by VerifyTemplate and identification.
    virtual int MatchScore(const FingerTemplate &a, const FingerTemplate &b) const = 0;

    // The last image: written as a .bmp file, or drawn scaled into a
    // rectangle. Both do nothing (SaveImageBitmap answers false) before the
    // first image.
    virtual bool SaveImageBitmap(const QString &path) const = 0;
    virtual bool SaveTemplateFile(const QString &path, const FingerTemplate &t) const = 0;
    virtual void DrawImage(QPainter &painter, int x, int y, int width, int height) const = 0;

    // Settings. EnrollCount is kept within 1 .. 10.
    int EnrollCount() const { return m_enrollCount; }
    void SetEnrollCount(int n) { m_enrollCount = qBound(1, n, 10); }
    static constexpr int MinimumEnrolPresses = 4;
    static constexpr int DefaultThreshold = 8;
    int EnrolPresses() const { return qMax(m_enrollCount, MinimumEnrolPresses); }
    int SensorIndex() const { return m_sensorIndex; }
    void SetSensorIndex(int i) { m_sensorIndex = i; }
    // Default identification threshold (used when a caller passes <= 0).
    int Threshold() const { return m_threshold; }
    void SetThreshold(int t) { m_threshold = t; }
    int OneToOneThreshold() const { return m_oneToOneThreshold; }
    void SetOneToOneThreshold(int t) { m_oneToOneThreshold = t; }
    // On: identification runs the full matcher against every template of
    // the cache instead of only the candidates its index proposes.
    bool ForceSecondMatch() const { return m_forceSecondMatch; }
    void SetForceSecondMatch(bool on) { m_forceSecondMatch = on; }
    // On: every capture is also identified against the engine's most
    // recently created cache (Threshold) and reported by Identified.
    bool AutoIdentify() const { return m_autoIdentify; }
    void SetAutoIdentify(bool on) { m_autoIdentify = on; }
    // On: a reader that streams a live picture while the finger rests
    // raises ImageReceived for every change of it. Readers that deliver one
    // image per press (the simulated one) ignore it.
    bool IsImageChange() const { return m_isImageChange; }
    void SetIsImageChange(bool on) { m_isImageChange = on; }

signals:
    // Order per press: ImageReceived, FeatureQuality, then Captured (capture
    // mode, acceptable quality) or the enrolment's progress/EnrolmentDone.
    void ImageReceived();
    void FeatureQuality(int code);
    void Captured(const QString &templateText);
    void EnrolmentDone(bool ok, const QString &templateText);
    void Identified(int id, int score);

private:
    int m_enrollCount = 3;
    int m_sensorIndex = 0;
    int m_threshold = DefaultThreshold;
    int m_oneToOneThreshold = 10;
    bool m_forceSecondMatch = false;
    bool m_autoIdentify = false;
    bool m_isImageChange = false;
};

} // namespace cg
