#pragma once

#include <QString>

#include <initializer_list>

class QHBoxLayout;
class QPushButton;
class QWidget;

namespace cg {

// A push button named objectName (the control name tests and layouts find
// it by).
QPushButton *NamedButton(QWidget *parent, const QString &objectName, const QString &caption);

// A push button named objectName that Enter in a dialog never presses
// (not an auto-default button).
QPushButton *PlainButton(QWidget *parent, const QString &objectName, const QString &caption);

// A named push button appended to row.
QPushButton *AddNamedButton(QHBoxLayout *row, const QString &objectName, const QString &caption);

// The buttons of a dialog's bottom line, right-aligned, in the order given.
QHBoxLayout *RightAlignedRow(std::initializer_list<QWidget *> widgets);

} // namespace cg
