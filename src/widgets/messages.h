#pragma once

#include <QString>
#include <exception>

class QWidget;

namespace cg {

class AppError;
class MessageSink;
class SoundPlayer;
class ShellOpener;

// An information box titled "注意" with one OK button.
void ShowNotice(MessageSink &sink, const QString &text);
// The shared error reporter: a warning box titled "错误-<number>" with the
// description as text. Never ends the program, never retries.
void ReportError(MessageSink &sink, const AppError &error);
// For the error traps of event handlers: reports an AppError as above and
// any other exception with number 0 and its what() as the description.
void ReportError(MessageSink &sink, const std::exception &error);
// What the operator reads of an error: an AppError's description, any
// other exception's what().
QString ErrorText(const std::exception &error);
// Starts a wave file asynchronously; a missing file is ignored.
void PlayWave(SoundPlayer &player, const QString &path);
// Opens a file with the desktop's registered program.
void OpenWithShell(ShellOpener &shell, const QString &path);

// False, after an error box "<caption>中不能有单引号或双引号" (title 错误),
// when the text contains an apostrophe or a double quote.
bool CheckNoQuotes(MessageSink &sink, const QString &text, const QString &caption);

// The notice of TrapNotice.
void NotifyError(MessageSink &sink, QWidget *parent, const std::exception &error);

// Runs an event handler under the error trap: AppError and any other
// std::exception reach ReportError, and the handler ends there.
template <typename F>
void Trap(MessageSink &sink, F &&handler)
{
    try {
        handler();
    } catch (const std::exception &e) {
        ReportError(sink, e);
    }
}

// A slot (of a button, a list, a timer) that runs the member function fn of
// object under Trap.
template <typename T>
auto TrappedSlot(MessageSink &sink, T *object, void (T::*fn)())
{
    MessageSink *s = &sink;
    return [s, object, fn] { Trap(*s, [object, fn] { (object->*fn)(); }); };
}

// The error trap of handlers that must not stop the operator with a box
// (card and finger readers, the periodic refresh): a failure is told as a
// notice with its ErrorText, and the handler ends there. False after a
// failure.
template <typename F>
bool TrapNotice(MessageSink &sink, QWidget *parent, F &&handler)
{
    try {
        handler();
        return true;
    } catch (const std::exception &e) {
        NotifyError(sink, parent, e);
        return false;
    }
}

} // namespace cg
