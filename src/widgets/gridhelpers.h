#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QWidget>

#include <initializer_list>

class QComboBox;
class QLabel;
class QTreeWidget;

namespace cg {

class FlexGrid;

// ---- Column layouts (HeadSet.ini) -------------------------------------
//
// The operator's column widths per screen: section = the screen's name,
// key = the control's objectName + "_head" + column index, value = the width
// in twips as a decimal integer. FlexGrid columns are numbered 0 .. n-1,
// list view (QTreeWidget) columns 1 .. n.

// HeadSet.ini beside the program when that folder is writable, otherwise in
// the per-user configuration folder.
QString DefaultLayoutFile();

// Applies the stored widths. A grid column without a stored width keeps the
// width the screen gave it; a list view column without one gets
// TextColumnWidth(caption + two spaces). A missing or unreadable file counts
// as no stored widths. A list view's last column stops stretching so that
// its width is the one given. Controls other than FlexGrid and QTreeWidget
// are left alone. Stored values that are not a width (negative, not a number) count as
// not stored.
void LoadColumnLayout(const QString &layoutFile, const QString &section, QWidget *control);
// Writes every column's current width, overwriting earlier keys; keys of
// columns that no longer exist stay. Write failures are not reported.
void SaveColumnLayout(const QString &layoutFile, const QString &section, QWidget *control);

// Width in twips for a list view column caption: 90 twips per GBK byte.
int TextColumnWidth(const QString &text);

// ---- Grid size ----------------------------------------------------------

// For rows and columns alike: -1 leaves that dimension as it is, 0 empties
// it, a count above 0 sets it and makes the first row (column) fixed. Other
// negative counts throw AppError (InvalidArgument).
void ResetGridSize(FlexGrid *grid, int rows, int cols);

// ---- Lamps ------------------------------------------------------------
//
// The state of a check as a coloured glyph:
//   0 yellow ●  not checked          3 grey ●  no check needed
//   1 green ●   passed               4 red ×   cannot be checked
//   2 red ●     not passed           5 green ●  drawn like 1
// Any other code empties the text and leaves the colour as it was.
// Screens that inspect a lamp compare its colour, not the code.

inline const QColor LampYellow{0xFF, 0xFF, 0x00};
inline const QColor LampGreen{0x00, 0xFF, 0x00};
inline const QColor LampRed{0xFF, 0x00, 0x00};
inline const QColor LampGrey{0xC0, 0xC0, 0xC0};

// False for an unknown code (glyph and colour untouched).
bool LampLook(int code, QString *glyph, QColor *color);
// The legend text of codes 0 .. 4; "" for others.
QString LampLegendText(int code);

// Sets the cell's font to 12 point bold, centres it, colours it from the
// lamp table (unless the code is unknown) and writes the glyph ("" for an
// unknown code).
void SetLampCell(FlexGrid *grid, int row, int col, int code);
// The label's text colour from the lamp table (unless unknown) and the glyph
// as its caption.
void SetLampLabel(QLabel *label, int code);
// Moves the mark of the operator's row: the cells cols of row *marked get
// the plain white background back, those of row get mark, and *marked
// becomes row. The mark is only a look: screens keep the row they act on
// themselves and never read it back from the colours.
void MoveRowMark(FlexGrid *grid, int *marked, int row, const QList<int> &cols, const QColor &mark);

// The text colour of a lamp cell or label.
QColor LampCellColor(const FlexGrid *grid, int row, int col);
QColor LampLabelColor(const QLabel *label);
inline bool IsLampGreen(const FlexGrid *grid, int row, int col) { return LampCellColor(grid, row, col) == LampGreen; }
inline bool IsLampRed(const FlexGrid *grid, int row, int col) { return LampCellColor(grid, row, col) == LampRed; }

// The lamp legend of the list screens: each glyph in its colour followed by
// its text, in one row.
class LampLegend : public QWidget {
    Q_OBJECT
public:
    explicit LampLegend(QWidget *parent = nullptr);
};

// ---- Control helpers ----------------------------------------------------
// Each takes a QLineEdit, an editable QComboBox and, where stated, a
// QPlainTextEdit or QTextEdit; other controls are left alone.

// Replaces the text with CleanNumericText of it and puts the caret at the
// end. Meant for textChanged handlers of numeric fields.
void CleanNumericControl(QWidget *control, bool allowNegative, bool allowDecimal);
// Cuts the text to maxBytes GBK bytes (whole characters) and puts the caret
// at the end; a text that fits is not touched, so calling it from the
// control's own textChanged handler ends after one round. Also takes
// QPlainTextEdit and QTextEdit (plain text).
void LimitControlBytes(QWidget *control, int maxBytes);
// Keeps the control's text within maxBytes GBK bytes from now on: every
// change (typing, pasting, setText) is cut by LimitControlBytes. The limit
// stays on the control (ControlByteLimit), where tests and tools find it.
void BindByteLimit(QWidget *control, int maxBytes);
// The limit BindByteLimit gave the control; 0 when it has none.
int ControlByteLimit(const QWidget *control);
// Selects the whole text (focus-in handlers).
void SelectAllText(QWidget *control);
// From now on each control selects its whole text when the operator clicks
// or tabs into it: deferred until the click has placed the caret, so that
// typing replaces the text. The filter doing it belongs to the control.
void SelectAllOnFocus(std::initializer_list<QWidget *> controls);
// Index of the first item whose text equals text ignoring case; -1 if none.
int FindComboItem(const QComboBox *combo, const QString &text);

// Sorts a list view by the clicked column (1-based): the same column again
// flips the order, another column sorts ascending. The sorted column
// (0-based, -1 for none) is kept in the dynamic property "Tag", the order
// in "SortOrder". The selected item is scrolled into view.
void SortListViewByColumn(QTreeWidget *list, int column);

} // namespace cg
