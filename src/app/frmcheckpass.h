#pragma once

#include <QDialog>
#include <QPointer>

class QLineEdit;
class QPushButton;
class QTimer;

namespace cg {

class frmExit;

// The exit-password dialog. The opener sets m_szParentForm, shows it
// modally and reads m_ok afterwards. Opened by the check-in station
// ("frmDriverVerify") it closes itself after a fifteen-second countdown.
class frmCheckPass : public QDialog {
    Q_OBJECT
public:
    explicit frmCheckPass(const QString &exitPassword, QWidget *parent = nullptr);

    QString m_szParentForm;
    bool m_ok = false;

    int countdown() const { return m_countdown; }
    // The on-screen keyboard while it is open, else null.
    frmExit *keyboard() const { return m_keyboard; }

signals:
    // The check-in station asked for the password and it was confirmed on
    // the on-screen keyboard: the opener closes itself as well.
    void parentCloseRequested();

public:
    // The 1000 ms countdown; public so that a test ticks it at a moment of
    // its choosing.
    void Timer1_Timer();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void cmdOK_Click();
    void cmdClose_Click();
    void cmdKey_Click();
    void keyboardConfirmed();

    QString m_exitPassword;
    QTimer *m_timer;
    QPointer<frmExit> m_keyboard;
    int m_countdown = 15;

    QLineEdit *txtPassword;
    QPushButton *cmdClose;
};

// The on-screen keyboard typing into the password box of frmCheckPass.
// Keys carry the names cmdInput_0 .. cmdInput_25 (A .. Z), cmdInput_26
// (delete the last character) and cmdNum_0 .. cmdNum_9.
class frmExit : public QDialog {
    Q_OBJECT
public:
    frmExit(QLineEdit *target, const QString &exitPassword, QWidget *parent = nullptr);

    QString m_szParentForm;

signals:
    // The password typed matched, for the check-in station only.
    void passwordConfirmed();

private:
    void cmdInput_Click(int index);
    void cmdNum_Click(int digit);
    void cmdOK_Click();

    QLineEdit *m_target;
    QString m_exitPassword;
};

} // namespace cg
