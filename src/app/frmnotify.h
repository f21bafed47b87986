#pragma once

#include "widgets/messagesink.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTimer;

namespace cg {

// The self-closing notice window. The opener sets m_szErrorDescription and
// shows it modally; it closes after a short countdown (one second for a
// successful departure, three for anything else) or when its button, enabled
// after seven seconds, is pressed.
class frmNotify : public QDialog {
    Q_OBJECT
public:
    explicit frmNotify(QWidget *parent = nullptr);

    QString m_szErrorDescription;

    int countdown() const { return m_countdown; }

    // The two timers' ticks, public so a caller (or a test) can drive them.
    void Timer1_Timer();
    void Timer2_Timer();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void load();

    QTimer *m_timer1;
    QTimer *m_timer2;
    int m_countdown = 0;
    bool m_loaded = false;

    QLabel *lblMessage;
    QPushButton *cmdOK;
};

// Real message boxes, with notices shown in the notice window.
class WorkstationMessageSink : public DialogMessageSink {
public:
    void notify(const QString &message, QWidget *parent = nullptr) override;
};

} // namespace cg
