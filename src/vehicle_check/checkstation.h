#pragma once

#include "widgets/env.h"
#include "stationui/stationcontext.h"

#include <QHash>
#include <QWidget>

#include <functional>

class QDateEdit;
class QDialog;
class QHBoxLayout;
class QPushButton;
class QVBoxLayout;

namespace cg {

class CheckNotifier;
class FlexGrid;

// What the condition and appearance check stations share: the frame (title
// bar, filter row, list grid, key and lamp legends), the controls both
// have, and the modal runner of their dialogs. Each station adds its own
// filters and buttons to filterRow() and its own columns to the grid.
class CheckStation : public QWidget {
public:
    // Runs the station's dialogs and record lists modally (tests drive them).
    std::function<int(QDialog *)> runDialog;

protected:
    CheckStation(const Env &env, StationContext &station, const QString &formName, const QString &caption,
                 const QString &keyLegend, QWidget *parent);

    QVBoxLayout *frameLayout() const { return m_frameLayout; }
    QHBoxLayout *filterRow() const { return m_filterRow; }

    // The list's current data row, -1 when none.
    int selectedRow() const;
    // Runs action on the selected row, its failures shown in a box; nothing
    // when no row is selected.
    void withSelectedRow(const std::function<void(int row)> &action);
    // Asks "您确认<subject>合格吗？" (or 不合格, with the stop icon) under
    // title; true when the operator answers yes.
    bool confirmVerdict(const QString &title, const QString &subject, bool passed);
    // Asks "您确认本次操作吗？" under title before a check is withdrawn; the
    // selected row, or -1 when the operator cancels or no row is selected.
    int rowToWithdraw(const QString &title);

    // Connects the controls both stations have to their handlers below and
    // installs the function keys: F4 and F5 the quick verdicts, F8 查询,
    // and the station's own keys. Called once the station has created its
    // controls.
    void connectControls(QHash<int, std::function<void()>> ownKeys = {});
    virtual void cmdQuery_Click() = 0;
    virtual void cmdStartCheck_Click() = 0;
    virtual void cmdCheckList_Click() = 0;
    virtual void cmdRemoveCheck_Click() = 0;
    virtual void vsList_Click() = 0;
    virtual void quickVerdict(bool passed) = 0; // F4 / F5

    Env m_env;
    StationContext &m_station;

    // The controls both stations have; each station creates the filter
    // row's date and buttons itself, in its own order.
    QDateEdit *dtpDate = nullptr;
    QPushButton *cmdQuery = nullptr, *cmdStartCheck = nullptr, *cmdCheckList = nullptr, *cmdRemoveCheck = nullptr;
    FlexGrid *vsList = nullptr;
    CheckNotifier *moMsg = nullptr;

private:
    QVBoxLayout *m_frameLayout = nullptr;
    QHBoxLayout *m_filterRow = nullptr;
};

} // namespace cg
