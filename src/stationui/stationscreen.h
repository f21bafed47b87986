#pragma once

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>

#include <functional>

class QComboBox;
class QHBoxLayout;
class QToolButton;
class QWidget;

namespace cg {

class FlexGrid;
struct StationContext;

// The names of code list kind (column 3 of GetCodeList), in list order.
QStringList CodeListNames(const StationContext &station, int kind);
// Refills a combo box: first (unless null) and then the names of code list
// kind; no item is selected afterwards (index -1) unless first was given
// (index 0). No change signals are sent while it fills.
void FillCodeCombo(QComboBox *combo, const StationContext &station, int kind, const QString &first = QString());

// The pieces every check station screen is built from.

// Function keys a form handles before its controls (a combo box would take
// F4 for its list otherwise). keys maps a key to its handler; the filter is
// installed on the form and on every control it holds.
class FormKeys : public QObject {
public:
    FormKeys(QWidget *form, QHash<int, std::function<void()>> keys);
    void attach(QWidget *widget); // controls created later
protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
private:
    QHash<int, std::function<void()>> m_keys;
};

// "yyyy年MM月dd日 HH:mm", empty for the no-date value or an invalid one.
QString LongDateTime(const QDateTime &t);

// The grid's current row when it is a data row, else -1.
int CurrentDataRow(const FlexGrid *grid);

// The vehicle stations' list filter: " 1=1 ", then, for a typed plate part,
// the plate column (license or v.license) containing it, and vehicles in
// service (status 0).
QString VehicleListFilter(const QString &typed, const QString &plateColumn);

// Data rows of a grid whose column col reads text.
QList<int> RowsWithText(const FlexGrid *grid, int col, const QString &text);

// The caption of a form in large bold type with the title-bar buttons tbMin
// (minimise) and tbClose (close) on its right.
QHBoxLayout *AddTitleBar(QWidget *form, const QString &caption, QToolButton **tbMin, QToolButton **tbClose);

} // namespace cg
