#pragma once

#include "widgets/env.h"
#include "stationui/stationcontext.h"

#include <QList>
#include <QWidget>

#include <memory>

class QPushButton;
class QTableWidgetItem;
class QTreeWidget;
class QTreeWidgetItem;
class QSplitter;

namespace cg {

class DefinitionService;
class FlexGrid;

// 常用定义: the station's small code tables (licence classes, driver types,
// vehicle types, basic causes, check causes). Edits are collected per table
// and written together with 保存.
// Byte limits (GBK) of a code entry's name and remark.
constexpr int CodeNameMaxBytes = 50;
constexpr int CodeRemarkMaxBytes = 100;

class frmBaseDefine : public QWidget {
    Q_OBJECT
public:
    frmBaseDefine(const Env &env, StationContext &station, QWidget *parent = nullptr);
    ~frmBaseDefine() override;

    // The table node of a kind (3, 4, 5, 8, 9) and the root.
    QTreeWidgetItem *tableNode(int kind) const;
    QTreeWidgetItem *rootNode() const;
    // Whether the pending changes would be written by 保存.
    bool hasPendingChanges() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void cmdAdd_Click();
    void cmdDelete_Click();
    void cmdSave_Click();
    void tvItemTree_NodeClick(QTreeWidgetItem *node);
    void loadTable();
    bool save();
    void dropBlankAddedRows();
    void clearPending();
    bool editableTable() const;
    void onCellEntered(int row, int col);
    void onEditClosed(int hint);
    void onItemChanged(QTableWidgetItem *item);
    void markEdited(int row, int col);
    void moveNext(int row, int col);
    int rowOf(QTableWidgetItem *key) const;

    Env m_env;
    StationContext &m_station;
    std::unique_ptr<DefinitionService> m_definitions;
    QSplitter *m_splitter = nullptr;
    QTreeWidgetItem *m_current = nullptr; // the node whose table is open
    int m_kind = 0;                        // kind of the table shown in the grid
    // Rows are tracked by their column-0 item, which moves with the row.
    QList<QTableWidgetItem *> m_added;
    QList<QTableWidgetItem *> m_modified;
    QList<int> m_deleted;
    bool m_switching = false;
    int m_editRow = -1, m_editCol = -1; // the cell whose editor is open
    int m_prevRow = -1, m_prevCol = -1; // the one before it
    bool m_marking = false;

    QTreeWidget *tvItemTree = nullptr;
    FlexGrid *vsBaseInfo = nullptr;
    QPushButton *cmdAdd = nullptr, *cmdDelete = nullptr, *cmdSave = nullptr;
};

} // namespace cg
