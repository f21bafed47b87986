#pragma once

#include "core/recordset.h"
#include "stationui/stationcontext.h"
#include "widgets/env.h"

#include <QLineEdit>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <memory>

class QHBoxLayout;
class QPushButton;

namespace cg {

class FlexGrid;
class RecordScreen;

// A filter box of the registers: while it is empty and not focused it shows
// its placeholder as its text (greyed). Focusing a box that shows the
// placeholder empties it; leaving it empty puts the placeholder back.
class PlaceholderBox : public QLineEdit {
    Q_OBJECT
public:
    PlaceholderBox(const QString &objectName, const QString &placeholder, QWidget *parent = nullptr);

    const QString &placeholderText() const { return m_placeholder; }
    // The filter: the text exactly as typed, or "" when it is empty or the
    // placeholder.
    QString filterText() const;
    void resetToPlaceholder();

protected:
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void updateLook();
    QString m_placeholder;
};

// The common text filter of the registers: open + "col LIKE '%t%' OR col
// LIKE '%t' OR col LIKE 't%' OR col = 't')", every literal by SqlLiteral.
// open is " AND (" for most registers.
QString FourWayMatch(const QString &open, const QString &column, const QString &text);
// The same with the exact comparison first: open + "col = 't' OR col LIKE
// '%t%' OR col LIKE '%t' OR col LIKE 't%' ) ".
QString ExactFirstMatch(const QString &open, const QString &column, const QString &text);

// The register pattern: a top band with the filter boxes and the buttons at
// the right, the numbered grid vsList below (row data = the record's key),
// one list query, the row operations the record screen calls after a save
// (AddOneLine, UpdOneInfoLine) and the deletion (DeleOneInfoLine), and the
// File menu's export of the grid (an attached grid report; nothing to
// print). A register states only its differences: the grid's
// columns, how a record becomes a row, how one record is looked up and how
// one is deleted.
class RegisterScreen : public QWidget {
    Q_OBJECT
public:
    ~RegisterScreen() override;

    // Looks the record up and appends it as the last row, numbered after
    // the others, and makes it current. No change unless exactly one record
    // comes back.
    void AddOneLine(const QString &key);
    // Looks the record up and rewrites the row whose key is that record's
    // (its number kept). No row with that key or not exactly one record: no
    // change.
    void UpdOneInfoLine(const QString &key);
    // The same under the name the vehicle record calls it by.
    void UpdateOneLine(const QString &key) { UpdOneInfoLine(key); }
    // Rewrites the row holding rowKey with the one record behind lookupKey
    // (a record whose key changed in the save); the row takes the new key.
    // No row or not exactly one record: no change.
    void ReplaceOneLine(const QString &rowKey, const QString &lookupKey);
    // Asks, deletes and removes the row of that key, renumbering the rows
    // after it. A deletion the service refuses keeps the row and tells why.
    void DeleOneInfoLine(const QString &key);

    // The key of the current data row ("" when there is none).
    QString currentKey() const;
    // The data row holding this key, or -1.
    int rowOfKey(const QString &key) const;


protected:
    enum class Lookup { Added, Updated };

    // What the four buttons do (connected by addRegisterButtons). By
    // default 新增 opens the record screen for a new record, 修改 opens it on
    // the current row's record and 删除 deletes the current row's record.
    virtual void cmdQuery_Click() = 0;
    virtual void cmdAdd_Click();
    virtual void cmdEdit_Click();
    virtual void cmdDelete_Click();
    // A double click on a data row: 修改.
    virtual void vsList_DblClick() { cmdEdit_Click(); }

    RegisterScreen(const Env &env, StationContext &station, const QString &formName, const QString &caption,
                   QWidget *parent);

    // ---- what each register states ------------------------------------
    // Writes columns 1.. of grid row r from the current record.
    virtual void writeRow(int r, const RecordSet &rs) = 0;
    // The key of the current record (kept as the row's data): by default
    // the text of the key field (setKeyField).
    virtual QString recordKey(const RecordSet &rs) const;
    void setKeyField(const QString &field) { m_keyField = field; }
    // The one record behind a key, after a save.
    virtual RecordSet lookupRecord(const QString &key, Lookup kind) = 0;
    // Deletes one record; false with the reason when refused.
    virtual bool deleteRecord(const QString &key, QString *reason) = 0;

    // ---- building the screen --------------------------------------------
    // Sets the grid up (header row, the column captions with 0 being "序",
    // centred) and loads the saved column widths. Call once from the
    // register's constructor.
    void setupGrid(const QStringList &captions);
    PlaceholderBox *addFilterBox(const QString &caption, const QString &objectName, const QString &placeholder);
    void addFilterWidget(QWidget *widget);
    // A filter widget after its caption (the caption's buddy).
    void addFilterWidget(const QString &caption, QWidget *widget);
    QPushButton *addButton(const QString &objectName, const QString &caption);
    // Adds 查询(&Q), 新增, 修改 and 删除 to the band, each running its slot
    // under the error trap, and runs vsList_DblClick on a double click on a
    // data row.
    void addRegisterButtons();

    // Cuts the grid back to its header row and fills it from the query
    // under the list status line. The query runs inside the status line, so
    // a failing query is reported like a failing fill. Afterwards the first
    // row is current and shown at the top.
    bool runListQuery(const std::function<RecordSet()> &query);
    // The notice of DeleOneInfoLine when no row holds the key.
    void setNoRowNotice(const QString &notice) { m_noRowNotice = notice; }

    // ---- the record screen ------------------------------------------------
    // Makes the register's record screen (once; a window of its own, closed
    // with the register). Registers that edit through dialogs have none.
    virtual RecordScreen *makeRecordScreen() { return nullptr; }
    // Opens the record screen for a new record (status 0) or for the record
    // of key id (status 1), reporting its saves here, and brings it to the
    // front.
    void openRecord(int status, const QString &id);
    // 修改: the current row's record; nothing without a current data row.
    void editCurrentRecord();
    RecordScreen *record() const;

    void closeEvent(QCloseEvent *event) override;

    Env m_env;
    StationContext &m_station;
    QString m_formName;

    // The register's grid, for the registers' own row handling.
    FlexGrid *vsList = nullptr;

private:
    enum class FillMode { Append, Rewrite };
    int fill(RecordSet &rs, FillMode mode, int rewriteRow = -1);

    QHBoxLayout *m_filters = nullptr;
    QHBoxLayout *m_buttons = nullptr;
    QPointer<RecordScreen> m_record;
    QString m_noRowNotice;
    QString m_keyField;
};

} // namespace cg
