#pragma once

#include "core/recordset.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <future>

class QWidget;

namespace cg {

class FingerprintEngine;
class MessageSink;
struct StationContext;

// One driver of an identification library: the texts the check-in screens
// keep per cache index.
struct LibraryDriver {
    QString driverNo;
    QString name;
    QString sex;
    QDateTime birthDate;   // invalid or the no-date value when unknown
    qint64 photoId = 0;
    qint64 fingerId = 0;
    QStringList templates; // the template texts added to the cache for him
};

// A fingerprint engine with its 1:N cache of every driver and the drivers
// under their cache indexes. Each driver's formal finger is added, and the
// backup finger under the same index, so either finger identifies him.
class DriverFingerLibrary : public QObject {
    Q_OBJECT
public:
    static constexpr int IdentifyThreshold = 8;

    DriverFingerLibrary(StationContext &station, QObject *parent = nullptr);
    ~DriverFingerLibrary() override;

    // The engine (nullptr when the workstation offers none).
    FingerprintEngine *engine() const { return m_engine; }

    // Starts the engine in plain capture mode. With a sink, a failure is
    // told in a "信息提示" box ("指纹识别驱动程序加载失败！" or "没连接指纹仪！");
    // without one it is quiet (restarts after a hand-off). The screen goes
    // on without a working sensor either way. Returns the engine's code.
    int initialise(MessageSink *messages, QWidget *parent);
    void shutdown();

    // Replaces the cache and the drivers with the given records (fields
    // driver_no, driver_name, sex, birth_date, photo_id, finger_id,
    // finger_value and, when present, fng_value1). No records give an empty
    // library that identifies nobody. The drivers are there at once; the
    // engine indexes their templates on a thread of its own, so a station
    // with thousands of drivers comes up without waiting for it. Every
    // later call that needs the cache (identify, verify, release, a new
    // load, the engine's start and stop) first waits for that indexing to
    // end: a press right after the station opened is answered from the
    // whole library, a little later, never from a part of it.
    void load(const RecordSet &drivers);
    bool hasCache() const { return m_cache != 0; }
    // Whether the templates are still being indexed.
    bool loading() const;
    // Waits until the templates are indexed (at once when they are).
    void waitLoaded();
    void release();

    int count() const { return int(m_drivers.size()); }
    const LibraryDriver &driver(int index) const { return m_drivers.at(index); }
    // The cache index of the driver the press identifies among all, or -1
    // (the engine's open-set decision: a stranger is given nobody).
    int identify(const QString &templateText);
    // The index of the driver with this number, or -1.
    int indexOf(const QString &driverNo) const;
    // 1:1: whether the press is one of this driver's fingers (the engine's
    // OneToOneThreshold against each of his templates).
    bool verify(int index, const QString &templateText);

private:
    StationContext &m_station;
    FingerprintEngine *m_engine = nullptr;
    quint32 m_cache = 0;
    QList<LibraryDriver> m_drivers;
    std::future<void> m_indexing;
};

} // namespace cg
