#pragma once

#include "core/array2d.h"
#include "core/recordset.h"

#include <QDialog>

#include <functional>
#include <QStringList>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace cg {

struct StationContext;

// The pick-list dialog every record screen chooses a company, owner, model,
// route, gate, vehicle or driver with: a search box over a list of entries.
// Typing filters the list (any column containing the typed text, ignoring
// case); Up/Down/PageUp/PageDown in the box move through the list, Enter or
// a double click picks the current entry, Esc cancels. The result is the
// chosen entry's columns as row 1 of an array (code in column 1, name in
// column 2), or an empty array when nothing was picked.
class PickListDialog : public QDialog {
    Q_OBJECT
public:
    PickListDialog(const QString &title, const QStringList &captions, const RecordSet &entries,
                   QWidget *parent = nullptr);

    QLineEdit *txtSearch = nullptr;
    QTreeWidget *lvList = nullptr;
    QLabel *lblCount = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;

    // The picked entry (row 1), or an unallocated array.
    const Array2D &result() const { return m_result; }
    // Entries shown after the search (for tests and the count line).
    int shownCount() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void applySearch();
    void pick();

    Array2D m_result;
};

// The pick-lists. Each reads its entries through LookupService, shows the
// dialog modally and returns the picked entry (empty when cancelled).
// Failures of the data service are thrown (the caller's error trap reports
// them). Columns: code, name, then
//   PickOwner    company code;     PickModel  seats;
//   PickVehicle  company, owner, model, seats (vehicle code, plate first);
//   PickDriver   company.
// PickOwner lists the owners of companyCode (all owners when it is empty).
Array2D PickCompany(QWidget *parent, const StationContext &station);
Array2D PickOwner(QWidget *parent, const StationContext &station, const QString &companyCode);
Array2D PickModel(QWidget *parent, const StationContext &station);
Array2D PickRoute(QWidget *parent, const StationContext &station);
Array2D PickCheckGate(QWidget *parent, const StationContext &station);
Array2D PickVehicle(QWidget *parent, const StationContext &station);
Array2D PickDriver(QWidget *parent, const StationContext &station);

// Column col of a picked entry, without surrounding spaces.
QString PickedText(const Array2D &picked, int col);
// Writes a picked entry into its field as "code[name]" (both trimmed);
// false, with the field left as it was, when nothing was picked.
bool PutPicked(QLineEdit *field, const Array2D &picked);

// Runs a pick-list dialog; the workstation shows it modally, tests replace
// it to answer without a window (restore with an empty function).
using PickListRunner = std::function<Array2D(PickListDialog &dialog)>;
void SetPickListRunner(PickListRunner runner);

} // namespace cg
