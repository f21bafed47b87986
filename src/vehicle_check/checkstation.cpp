#include "checkstation.h"

#include "checkhelpers.h"

#include <QDialog>
#include <QToolButton>

namespace cg {

CheckStation::CheckStation(const Env &env, StationContext &station, const QString &formName,
                           const QString &caption, const QString &keyLegend, QWidget *parent)
    : QWidget(parent), m_env(env), m_station(station)
{
    setObjectName(formName);
    setWindowTitle(caption);
    resize(1100, 640);
    runDialog = [](QDialog *d) { return d->exec(); };
    QToolButton *tbMin = nullptr, *tbClose = nullptr;
    const StationFrame frame = BuildStationFrame(this, caption, &tbMin, &tbClose, keyLegend);
    m_frameLayout = frame.layout;
    m_filterRow = frame.filterRow;
    vsList = frame.grid;
}

} // namespace cg
