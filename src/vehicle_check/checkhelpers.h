#pragma once

#include <QColor>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>

#include "stationui/stationscreen.h"

class QGridLayout;
class QHBoxLayout;
class QToolButton;
class QLabel;
class QWidget;

namespace cg {

class FlexGrid;

// The header lamp of the record windows and the appearance dialog: 1 and 5
// green, 2 red, anything else yellow.
QColor ThreeColourLamp(int status);
void SetThreeColourLamp(QLabel *label, int status);

// "yyyy-MM-dd HH:mm", empty for the no-date value or an invalid one.
QString ShortDateTime(const QDateTime &t);

// A caption label followed by its value label, for the dialog headers.
QLabel *AddCaptionedLabel(QWidget *parent, QGridLayout *layout, int row, int col, const QString &caption,
                          const QString &objectName);

// The two picture buttons of a verdict, cmdPass (合格) and cmdNotPass
// (不合格), appended to row.
void AddVerdictButtons(QWidget *form, QHBoxLayout *row, QToolButton **cmdPass, QToolButton **cmdNotPass);

} // namespace cg
