#pragma once

#include "core/recordset.h"
#include "stationui/stationcontext.h"
#include "widgets/env.h"

#include <QDate>
#include <QPointer>
#include <QWidget>

class QDateEdit;
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

    // Entering a control selects its whole text.
    void selectAllOnFocus(QWidget *control);
    // The save button and the key field the two states switch.
    void setStateControls(QPushButton *save, QWidget *keyField);
    void enterNewState();
    void enterEditState();
    // Whether saves go to the register: the opener is registerForm and the
    // register is still there.
    bool reportsTo(const QString &registerForm) const;

    // Runs fn under the error trap; false when it threw (the error shown).
    bool trapped(const std::function<void()> &fn);

    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

    Env m_env;
    StationContext &m_station;

private:
    bool m_opened = false;
    QPushButton *m_save = nullptr;
    QWidget *m_keyField = nullptr;
};

// A date picker of the record screens (yyyy-MM-dd, calendar pop-up, from
// 1900-01-01).
QDateEdit *RecordDatePicker(const QString &objectName, QWidget *parent);
// A field of a record's current row as text ("" when absent or null).
QString RecordText(const RecordSet &rs, const QString &field);
// A date field of the current row, or otherwise when absent or null.
QDate RecordDate(const RecordSet &rs, const QString &field, const QDate &otherwise);

} // namespace cg
