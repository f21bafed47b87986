#pragma once

#include <QColor>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>

#include "stationui/stationscreen.h"

class QGridLayout;
class QHBoxLayout;
class QPushButton;
class QToolButton;
class QVBoxLayout;
class QDateEdit;
class QTimeEdit;
class QLabel;
class QWidget;

namespace cg {

class FlexGrid;
class RecordSet;

// The header lamp of the record windows and the appearance dialog: 1 and 5
// green, 2 red, anything else yellow.
QColor ThreeColourLamp(int status);
void SetThreeColourLamp(QLabel *label, int status);

// "yyyy-MM-dd HH:mm", empty for the no-date value or an invalid one.
QString ShortDateTime(const QDateTime &t);

// A caption label followed by its value label, for the dialog headers.
QLabel *AddCaptionedLabel(QWidget *parent, QGridLayout *layout, int row, int col, const QString &caption,
                          const QString &objectName);

// The trip header of the appearance dialog and the trip record windows:
// 车次 lblBusID, 到站 lblEndStation, 车属公司 lblCompany, 车号 lblLicenseID
// and 发车时间 lblStartTime, two to a row from row 0 of layout.
struct TripHeader {
    QLabel *lblBusID = nullptr, *lblEndStation = nullptr, *lblCompany = nullptr, *lblLicenseID = nullptr,
           *lblStartTime = nullptr;

    void build(QWidget *parent, QGridLayout *layout);
    // Shows the first trip of trip (a QueryDayTrips record set).
    void show(const RecordSet &trip);
};

// The two picture buttons of a verdict, cmdPass (合格) and cmdNotPass
// (不合格), appended to row.
void AddVerdictButtons(QWidget *form, QHBoxLayout *row, QToolButton **cmdPass, QToolButton **cmdNotPass);

// The frame the two check stations share, under the title bar of layout
// (BeginTitledWindow): a row for the station's own filters and buttons, the
// list grid in 11-point type (centred, no fixed column) and the key and
// lamp legends under it.
struct StationFrame {
    QVBoxLayout *layout = nullptr;
    QHBoxLayout *filterRow = nullptr;
    FlexGrid *grid = nullptr;
};
StationFrame BuildStationFrame(QVBoxLayout *layout, const QString &keyLegend);

// A caption and the read-only date and time boxes dtpDate and dtpTime of a
// check dialog, appended to row.
void AddReadOnlyDateTime(QHBoxLayout *row, const QString &caption, QDateEdit **dtpDate, QTimeEdit **dtpTime);

} // namespace cg
