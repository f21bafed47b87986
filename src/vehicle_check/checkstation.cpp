#include "checkstation.h"

#include "checkhelpers.h"
#include "stationui/titledwindow.h"

#include <QDialog>

namespace cg {

CheckStation::CheckStation(const Env &env, StationContext &station, const QString &formName,
                           const QString &caption, const QString &keyLegend, QWidget *parent)
    : QWidget(parent), m_env(env), m_station(station)
{
    runDialog = [](QDialog *d) { return d->exec(); };
    const StationFrame frame =
        BuildStationFrame(BeginTitledWindow(this, formName, caption, QSize(1100, 640)), keyLegend);
    m_frameLayout = frame.layout;
    m_filterRow = frame.filterRow;
    vsList = frame.grid;
}

} // namespace cg
