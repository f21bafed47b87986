#pragma once

#include "core/recordset.h"
#include "stationui/stationcontext.h"
#include "widgets/env.h"

#include <QDate>
#include <QPointer>
#include <QWidget>

#include <initializer_list>

class QBoxLayout;
class QDateEdit;
class QGridLayout;
class QHBoxLayout;
class QLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace cg {

class RegisterScreen;

// The record-screen pattern (the driver record, the vehicle record): a
// window of its own showing one record of a register. The opener sets
// m_szParentForm (its own form name), m_eStatus (0 new, 1 edit) and for an
// edit m_szID (the record's key), then calls Open() -- or just shows it
// with the members set as properties, and the opening steps run when it is
// first shown. Saves are reported to m_register (AddOneLine after adding,
// UpdOneInfoLine after rewriting) when the opener is that register.
//
// Two states: new (save captioned "保存(&S)", key field enabled, save adds)
// and edit (captioned "修改(&S)", key field locked, save rewrites m_szID).
// Save is disabled on entering either and follows the screen's rule after.
class RecordScreen : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString m_szParentForm MEMBER m_szParentForm)
    Q_PROPERTY(int m_eStatus MEMBER m_eStatus)
    Q_PROPERTY(QString m_szID MEMBER m_szID)
public:
    ~RecordScreen() override;

    QString m_szParentForm;
    int m_eStatus = 0;
    QString m_szID;
    QPointer<RegisterScreen> m_register;

    // Runs the opening steps for the requested mode (also when the screen
    // is already open).
    Q_INVOKABLE void Open();

protected:
    RecordScreen(const Env &env, StationContext &station, const QString &formName, const QString &caption,
                 QWidget *parent);

    // The screen's opening steps (called by Open, under the error trap of
    // the caller).
    virtual void start() = 0;
    // Empties the form for a new record.
    virtual void clearRecord() = 0;
    // Whether the form holds what a save needs (never after a failed load).
    virtual bool canSave() const = 0;
    // Enables save by canSave (after every change of a field).
    void updateSaveEnabled();

    // ---- building the form ------------------------------------------------
    // A titled frame added to root, and the grid in it for the form's fields.
    QGridLayout *addFieldFrame(QBoxLayout *root, const QString &title);
    // A text field: cut to maxBytes GBK bytes while typing (0 = no limit);
    // every change re-runs updateSaveEnabled.
    QLineEdit *recordField(const QString &objectName, int maxBytes);
    // The "..." button beside a field filled by a pick-list, and the row of
    // the field with its button.
    QPushButton *makePickButton(const QString &objectName);
    static QHBoxLayout *fieldWithButton(QLineEdit *field, QPushButton *button);
    // A caption at (row, col), right-aligned, naming the field next to it.
    void addCaption(QGridLayout *grid, int row, int col, const QString &text, QWidget *buddy);
    // One cell of a form's field grid: the caption (none when empty) and its
    // field, or the row that holds the field with its buttons. A Half cell
    // takes the left or right half of a line; EndsLine leaves the right half
    // empty; Wide takes a line of its own.
    struct FieldCell {
        enum Span { Half, EndsLine, Wide };
        QString caption;
        QWidget *field = nullptr;
        QLayout *row = nullptr;
        Span span = Half;
    };
    // Lays the cells out two to a line (caption, field, caption, field) from
    // the first line on, the field columns stretching. Returns the number of
    // lines used.
    int layFields(QGridLayout *grid, std::initializer_list<FieldCell> cells);
    // The bottom row: the status line, then 新增(&A), 保存(&S) (disabled) and
    // 关闭(&C), which closes the window.
    QHBoxLayout *recordButtons(QLabel **status, QPushButton **add, QPushButton **save, QPushButton **close);

    // The save button and the key field the two states switch, and the
    // status line under the form.
    void setStateControls(QPushButton *save, QWidget *keyField, QLabel *status);
    void enterNewState();
    void enterEditState();
    // Whether saves go to the register: the opener is registerForm and the
    // register is still there.
    bool reportsTo(const QString &registerForm) const;
    // The record m_szID did not come back exactly once: nothing of another
    // record may stay on screen to be saved under this key. The form is
    // cleared (m_szID kept), says so, and cannot be saved until a new
    // record is started.
    void recordNotFound(const QString &text);
    // The lookup of the record to edit: true, at its record, when rs holds
    // exactly one; otherwise recordNotFound(notFoundText) and false.
    bool foundOne(RecordSet &rs, const QString &notFoundText);
    bool loadFailed() const { return m_loadFailed; }

    // Runs fn under the error trap; false when it threw (the error shown).
    bool trapped(const std::function<void()> &fn);

    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

    Env m_env;
    StationContext &m_station;

private:
    bool m_opened = false;
    bool m_loadFailed = false;
    QPushButton *m_save = nullptr;
    QWidget *m_keyField = nullptr;
    QLabel *m_status = nullptr;
};

// A date picker of the record screens (yyyy-MM-dd, calendar pop-up, from
// 1900-01-01).
QDateEdit *RecordDatePicker(const QString &objectName, QWidget *parent);
// A field of a record's current row as text ("" when absent or null).
QString RecordText(const RecordSet &rs, const QString &field);
// A date field of the current row, or otherwise when absent or null.
QDate RecordDate(const RecordSet &rs, const QString &field, const QDate &otherwise);

} // namespace cg
