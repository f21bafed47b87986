#pragma once

#include <QString>

class QWidget;

namespace cg {

enum class MsgIcon { None, Information, Warning, Critical, Question };
enum class MsgButtons { Ok, OkCancel, YesNo };
enum class MsgAnswer { Ok, Cancel, Yes, No };

struct MessageBoxSpec {
    QString title;
    QString text;
    MsgIcon icon = MsgIcon::Information;
    MsgButtons buttons = MsgButtons::Ok;
};

// Every message box, question and self-closing notice of the program passes
// through one sink. The workstation shows real dialogs; tests install a
// recorder that keeps every box and answers from a script.
class MessageSink {
public:
    virtual ~MessageSink() = default;

    // A modal message box or question; returns the button pressed.
    virtual MsgAnswer show(const MessageBoxSpec &spec, QWidget *parent = nullptr) = 0;

    // The self-closing notice window (frmNotify); returns when it has closed.
    virtual void notify(const QString &message, QWidget *parent = nullptr) = 0;
};

// False on the offscreen and minimal platforms, where no one can see a
// window.
bool HasInteractiveDisplay();

// Real QMessageBox dialogs. Without an interactive display a box is written
// to standard error instead and answered with its safe choice (OK, No,
// Cancel), so nothing waits on a box nobody can close. notify() falls back to a plain information box;
// the application installs a sink whose notify() shows the notice window.
class DialogMessageSink : public MessageSink {
public:
    MsgAnswer show(const MessageBoxSpec &spec, QWidget *parent = nullptr) override;
    void notify(const QString &message, QWidget *parent = nullptr) override;
};

} // namespace cg
