#pragma once

#include <QSize>
#include <QString>

class QBoxLayout;
class QFrame;
class QLabel;
class QVBoxLayout;
class QWidget;

namespace cg {

// How every check window begins: named formName, titled and sized, with a
// column layout whose first row is the caption in large bold type and the
// 最小化 (tbMin) and 关闭 (tbClose) buttons (AddTitleBar). The window title
// is caption; a window titled otherwise sets its title afterwards.
QVBoxLayout *BeginTitledWindow(QWidget *form, const QString &formName, const QString &caption, QSize size);

class FlexGrid;
// The list grid vsList of a check window, in 11-point type, taking the
// room left in layout.
FlexGrid *AddListGrid(QBoxLayout *layout);

// A 2-pixel rule in the station's line colour (StationContext::lineColour,
// stored BGR like the desktop's colour values).
QFrame *StationLine(const QString &lineColour, QWidget *parent = nullptr);

// A label named name in pointSize type (bold when asked): the titles, lamps
// and signs of the station's screens, read from a distance.
QLabel *LargeLabel(QWidget *parent, const QString &name, const QString &text, int pointSize, bool bold = false);

} // namespace cg
