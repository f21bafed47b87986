#include "frmdriververifylibrary.h"

#include "widgets/messagesink.h"
#include "services/fingerprint/fingerprintengine.h"
#include "stationui/stationcontext.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

using namespace Qt::StringLiterals;

namespace cg {

DriverFingerLibrary::DriverFingerLibrary(StationContext &station, QObject *parent)
    : QObject(parent), m_station(station)
{
    if (m_station.makeFingerprintEngine)
        m_engine = m_station.makeFingerprintEngine(this);
}

DriverFingerLibrary::~DriverFingerLibrary()
{
    try {
        release();
    } catch (const std::exception &) {
        // The failed indexing was logged; nothing is left to free it for.
    }
}

bool DriverFingerLibrary::loading() const
{
    return m_indexing.valid()
           && m_indexing.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
}

void DriverFingerLibrary::waitLoaded()
{
    if (!m_indexing.valid())
        return;
    std::future<void> indexing = std::move(m_indexing);
    try {
        indexing.get();
    } catch (const std::exception &e) {
        // The cache may hold part of the templates: it identifies nobody.
        qWarning("fingerprint library: indexing the drivers' templates failed: %s", e.what());
        m_drivers.clear();
        throw;
    }
}

int DriverFingerLibrary::initialise(MessageSink *messages, QWidget *parent)
{
    waitLoaded();
    if (!m_engine) {
        if (messages)
            messages->show({u"信息提示"_s, u"没连接指纹仪！"_s, MsgIcon::Information, MsgButtons::Ok}, parent);
        return FingerprintEngine::NoReader;
    }
    int code = m_engine->Initialise();
    if (code != 0) {
        code = m_engine->Initialise();
        if (code != 0 && messages)
            messages->show({u"信息提示"_s, code == 1 ? u"指纹识别驱动程序加载失败！"_s : u"没连接指纹仪！"_s,
                           MsgIcon::Information, MsgButtons::Ok},
                          parent);
    }
    // Leave the engine in plain capture mode, where every press is captured.
    m_engine->BeginEnrolment();
    if (m_engine->IsEnrolling())
        m_engine->CancelEnrolment();
    return code;
}

void DriverFingerLibrary::shutdown()
{
    waitLoaded();
    if (m_engine)
        m_engine->Shutdown();
}

void DriverFingerLibrary::release()
{
    waitLoaded();
    if (m_engine && m_cache != 0)
        m_engine->FreeCache(m_cache);
    m_cache = 0;
}

void DriverFingerLibrary::load(const RecordSet &driversIn)
{
    release();
    m_drivers.clear();
    if (!m_engine)
        return;
    m_cache = m_engine->CreateCache();
    RecordSet drivers = driversIn;
    const bool hasBackup = drivers.hasField(u"fng_value1"_s);
    // The texts go to the engine in one batch: it decodes and indexes
    // thousands of them on every core.
    QList<std::pair<int, QString>> texts;
    int index = 0;
    for (drivers.MoveFirst(); !drivers.isEOF(); drivers.MoveNext(), ++index) {
        LibraryDriver d;
        const QString formal = drivers.value(u"finger_value"_s).toString();
        texts.append({index, formal});
        d.templates << formal;
        if (hasBackup) {
            const QString backup = drivers.value(u"fng_value1"_s).toString();
            if (!backup.trimmed().isEmpty()) {
                texts.append({index, backup});
                d.templates << backup;
            }
        }
        d.driverNo = drivers.value(u"driver_no"_s).toString().trimmed();
        d.name = drivers.value(u"driver_name"_s).toString().trimmed();
        d.sex = drivers.value(u"sex"_s).toString().trimmed();
        d.birthDate = drivers.value(u"birth_date"_s).toDateTime();
        d.photoId = drivers.value(u"photo_id"_s).toLongLong();
        d.fingerId = drivers.value(u"finger_id"_s).toLongLong();
        m_drivers.append(d);
    }
    FingerprintEngine *engine = m_engine;
    const quint32 cache = m_cache;
    m_indexing = std::async(std::launch::async, [engine, cache, texts = std::move(texts)] {
        engine->AddTemplateTexts(cache, texts);
#ifdef __GLIBC__
        // Indexing thousands of templates frees as much as it keeps (texts,
        // decoded forms, the threads' arenas); give that back to the system
        // instead of holding it for the rest of the day.
        malloc_trim(0);
#endif
    });
}

int DriverFingerLibrary::identify(const QString &templateText)
{
    waitLoaded();
    if (!m_engine || m_cache == 0 || m_drivers.isEmpty())
        return -1;
    int threshold = IdentifyThreshold;
    int processed = 0;
    const int index = m_engine->IdentifyTemplateText(m_cache, templateText, threshold, processed);
    return index >= 0 && index < m_drivers.size() ? index : -1;
}

int DriverFingerLibrary::indexOf(const QString &driverNo) const
{
    for (int i = 0; i < m_drivers.size(); ++i) {
        if (m_drivers.at(i).driverNo == driverNo)
            return i;
    }
    return -1;
}

bool DriverFingerLibrary::verify(int index, const QString &templateText)
{
    waitLoaded();
    if (!m_engine || index < 0 || index >= m_drivers.size())
        return false;
    const FingerTemplate captured = m_engine->DecodeTemplateText(templateText);
    if (captured.isEmpty())
        return false;
    for (const QString &text : m_drivers.at(index).templates) {
        FingerTemplate registered = m_engine->DecodeTemplateText(text);
        bool changed = false;
        if (!registered.isEmpty() && m_engine->VerifyTemplate(registered, captured, false, changed))
            return true;
    }
    return false;
}

} // namespace cg
