#pragma once

#include "core/recordset.h"

#include <QPointer>

#include <functional>
#include <QWidget>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace cg {

class SimulatedFingerReader;

// The keys of a driver's two enrolled fingers on the simulated reader. The
// demo station enrols exactly these fingers (fng_value and fng_value1).
QString FormalFingerKey(const QString &driverId);
QString BackupFingerKey(const QString &driverId);

// The process's simulated reader, set by the workstation when it runs
// without a real one (demo mode); nullptr otherwise.
void SetSimulatedReader(SimulatedFingerReader *reader);
SimulatedFingerReader *SimulatedReader();

// 模拟指纹仪: a small window listing the enrolled drivers, to press the
// formal or backup finger of the selected one, or a finger nobody enrolled,
// on the simulated reader.
class FingerprintSimulator : public QWidget {
    Q_OBJECT
public:
    // drivers: records with driver_no, driver_name and, when present,
    // fng_value / fng_value1 (drivers without a template are listed greyed).
    FingerprintSimulator(SimulatedFingerReader *reader, const RecordSet &drivers, QWidget *parent = nullptr);

    // The key pressed last ("" before the first press).
    QString lastKey() const { return m_lastKey; }

    // Where reloadDrivers() reads the enrolled drivers from.
    void setDriverSource(std::function<RecordSet()> source) { m_source = std::move(source); }
    // Lists the drivers anew (after enrolments), keeping the selected one.
    void reloadDrivers();

signals:
    void fingerPressed(const QString &key);

private:
    void pressSelected(bool backup);
    void pressUnknown();
    void pressed(const QString &key, const QString &what);
    void listDrivers(const RecordSet &drivers);

    QPointer<SimulatedFingerReader> m_reader;
    std::function<RecordSet()> m_source;
    QString m_lastKey;
    QTreeWidget *lstDrivers = nullptr;
    QPushButton *cmdFormal = nullptr;
    QPushButton *cmdBackup = nullptr;
    QPushButton *cmdUnknown = nullptr;
    QLabel *lblLast = nullptr;
};

} // namespace cg
