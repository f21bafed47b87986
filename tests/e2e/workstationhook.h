#pragma once

// The test hook of the test build of the workstation (coachgate-testhook):
// a local socket server through which a test process drives the running
// workstation by objectName, one JSON line per request (hookprotocol.h).
//
// Operations (arguments besides "id" and "op"):
//   ping                         ready: whether the main window is up
//   windows                      visible top-level windows, the active modal one
//   open     form, members?      shows a form by its form name (StationContext::showForm)
//   menu     name                triggers a main window menu entry
//   set      target, text        sets the text of an edit or combo box
//   text     target              text, enabled, visible of a widget
//   click    target              a left click through the window system
//   key      target, key         a key press ("Return", "F4", ...)
//   keys     target, text        typed text
//   column   target, caption     the column of a grid headed caption
//   rows     target, col, text   the rows of a grid whose cell in col is text
//   cell     target, row, col    a grid cell's text
//   lamp     target, row, col    the lamp drawn in a grid cell: code (-1: none), glyph, color
//   rowdata  target, row         a grid row's row data (keys, lamp codes)
//   gridclick target, row, col, double?   a (double) click on a grid cell
//   press    driver, finger?     a finger ("formal", "backup", "unknown") on the
//                                simulated reader, through its 模拟指纹仪 window
//   answer   button              the answer of the next message box ("Yes", "No", "Ok", "Cancel")
//   boxes                        every message box and notice so far
//   quit                         closes the open dialogs and ends the process
//
// A target is a path of objectNames, "frmOutCheck/vsList": the first part
// names a widget anywhere (visible ones first), the rest its descendants.
// Operations that act (open, menu, click, key, keys, gridclick, press,
// quit) are answered first and carried out right after, so that an action
// that runs a modal dialog does not hold its answer back; the next requests
// are served inside that dialog's event loop.

#include "hookprotocol.h"

#include "widgets/messagesink.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

class QLocalServer;
class QLocalSocket;
class QTimer;
class QWidget;

namespace cg {

class mdiMain;
struct StationContext;

namespace testhook {

// The hook's message sink: every box and notice is kept; a box takes the
// next scripted answer, or else the safe choice the workstation gives
// without a display (Ok, No, Cancel). Notices show the workstation's own
// notice window, which closes by itself.
class HookMessageSink : public MessageSink {
public:
    struct Shown {
        MessageBoxSpec spec;
        MsgAnswer answer;
    };
    MsgAnswer show(const MessageBoxSpec &spec, QWidget *parent = nullptr) override;
    void notify(const QString &message, QWidget *parent = nullptr) override;

    QList<MsgAnswer> script;
    QList<Shown> boxes;
    QStringList notices;
    bool showNoticeWindow = true;
};

class WorkstationHook : public QObject {
    Q_OBJECT
public:
    // mainWindow and station may be empty / null while the workstation is
    // not up (or in tests of the protocol alone): requests that need them
    // are refused with an error.
    WorkstationHook(HookMessageSink &sink, std::function<mdiMain *()> mainWindow, StationContext *station,
                    QObject *parent = nullptr);
    ~WorkstationHook() override;

    // Listens on the local server name; false with the reason.
    bool listen(const QString &name, QString *error);

    // One request line: its answer, and the action to carry out once the
    // answer is sent (empty for requests that only read).
    struct Reply {
        QByteArray answer;
        std::function<void()> action;
    };
    Reply handle(const QByteArray &line);

private:
    void accept();
    void process(QLocalSocket *socket, const QByteArray &line, bool overlong);
    std::function<void()> dispatch(const Request &r, QJsonObject &out);
    void beginQuit();

    HookMessageSink &m_sink;
    std::function<mdiMain *()> m_mainWindow;
    StationContext *m_station;
    QLocalServer *m_server = nullptr;
    QTimer *m_quit = nullptr;
};

// The widget a target path names; throws HookError when there is none, or
// when several visible widgets share the first name.
QWidget *ResolveTarget(const QString &target);

} // namespace testhook
} // namespace cg
