#pragma once

// The line protocol of the workstation's test hook: one JSON object per
// line each way. A request names its operation and carries an id the answer
// repeats:
//
//   {"id": 7, "op": "text", "target": "frmOutCheck/lblDate"}
//   {"id": 7, "ok": true, "text": "2024年05月01日"}
//   {"id": 8, "ok": false, "error": "no widget frmOutCheck/lblDat"}
//
// Nothing here knows widgets: reading requests, framing lines and naming
// keys and answers, so that a bad request is answered, never a crash.

#include "widgets/messagesink.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace cg::testhook {

// The longest request line taken; a longer one is refused whole.
inline constexpr qsizetype MaxLineBytes = 64 * 1024;

struct Request {
    qint64 id = 0;
    QString op;
    QJsonObject args; // the whole object, "id" and "op" included
};

// A request that cannot be carried out: the text goes back as the error.
struct HookError {
    QString text;
};

// Reads one line (without its line end). Throws HookError when the line is
// not a JSON object, has no "op" text, or an "id" that is not a whole
// number; the id of a refused line is 0 when it could not be read.
Request ParseRequest(const QByteArray &line, qint64 *idSeen = nullptr);

// The answer lines, each ending in "\n".
QByteArray OkAnswer(qint64 id, QJsonObject fields = {});
QByteArray ErrorAnswer(qint64 id, const QString &error);

// Typed arguments of a request; a missing one or one of the wrong type
// throws HookError naming it.
QString TextArg(const Request &request, const QString &name);
std::optional<QString> OptionalTextArg(const Request &request, const QString &name);
int IntArg(const Request &request, const QString &name);
QJsonObject ObjectArg(const Request &request, const QString &name); // {} when absent

// A widget path "window/child/..." of objectNames; empty parts are refused.
QStringList TargetPath(const QString &target);

// Qt::Key of a key name ("Return", "Enter", "Escape", "Tab", "F1".."F12",
// "Up", "Down", "PageUp", "PageDown", a single letter or digit); nullopt
// for an unknown name.
std::optional<int> KeyFromName(const QString &name);

// The button of a message box answer ("Ok", "Cancel", "Yes", "No").
std::optional<MsgAnswer> AnswerFromName(const QString &name);
QString AnswerName(MsgAnswer answer);

// Splits the bytes of a connection into lines ("\n", an optional "\r"
// before it dropped). A line longer than MaxLineBytes is dropped up to its
// end and reported once as an overlong line.
class LineReader {
public:
    struct Line {
        QByteArray text;
        bool overlong = false;
    };
    // Appends bytes and returns the lines they complete.
    QList<Line> feed(const QByteArray &bytes);

private:
    QByteArray m_pending;
    bool m_skipping = false; // inside an overlong line, up to its end
};

} // namespace cg::testhook
