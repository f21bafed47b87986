#include "hookprotocol.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>

#include <Qt>
#include <cmath>

using namespace Qt::StringLiterals;

namespace cg::testhook {

namespace {

// A JSON number that is a whole number a qint64 holds exactly.
std::optional<qint64> wholeNumber(const QJsonValue &v)
{
    if (!v.isDouble())
        return std::nullopt;
    const double d = v.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || std::fabs(d) > 9007199254740992.0)
        return std::nullopt;
    return qint64(d);
}

} // namespace

Request ParseRequest(const QByteArray &line, qint64 *idSeen)
{
    if (idSeen)
        *idSeen = 0;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError)
        throw HookError{u"not JSON: %1 at byte %2"_s.arg(error.errorString()).arg(error.offset)};
    if (!doc.isObject())
        throw HookError{u"a request is a JSON object"_s};
    Request r;
    r.args = doc.object();
    if (r.args.contains(u"id"_s)) {
        const std::optional<qint64> id = wholeNumber(r.args.value(u"id"_s));
        if (!id)
            throw HookError{u"\"id\" must be a whole number"_s};
        r.id = *id;
        if (idSeen)
            *idSeen = r.id;
    }
    const QJsonValue op = r.args.value(u"op"_s);
    if (!op.isString() || op.toString().isEmpty())
        throw HookError{u"\"op\" must name an operation"_s};
    r.op = op.toString();
    return r;
}

QByteArray OkAnswer(qint64 id, QJsonObject fields)
{
    fields.insert(u"id"_s, double(id));
    fields.insert(u"ok"_s, true);
    return QJsonDocument(fields).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray ErrorAnswer(qint64 id, const QString &error)
{
    const QJsonObject o{{u"id"_s, double(id)}, {u"ok"_s, false}, {u"error"_s, error}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

QString TextArg(const Request &request, const QString &name)
{
    const QJsonValue v = request.args.value(name);
    if (v.isUndefined())
        throw HookError{u"\"%1\" is missing"_s.arg(name)};
    if (!v.isString())
        throw HookError{u"\"%1\" must be a text"_s.arg(name)};
    return v.toString();
}

std::optional<QString> OptionalTextArg(const Request &request, const QString &name)
{
    if (!request.args.contains(name))
        return std::nullopt;
    return TextArg(request, name);
}

int IntArg(const Request &request, const QString &name)
{
    const QJsonValue v = request.args.value(name);
    if (v.isUndefined())
        throw HookError{u"\"%1\" is missing"_s.arg(name)};
    const std::optional<qint64> n = wholeNumber(v);
    if (!n || *n < INT_MIN || *n > INT_MAX)
        throw HookError{u"\"%1\" must be a whole number"_s.arg(name)};
    return int(*n);
}

QJsonObject ObjectArg(const Request &request, const QString &name)
{
    const QJsonValue v = request.args.value(name);
    if (v.isUndefined())
        return {};
    if (!v.isObject())
        throw HookError{u"\"%1\" must be an object"_s.arg(name)};
    return v.toObject();
}

QStringList TargetPath(const QString &target)
{
    if (target.trimmed().isEmpty())
        throw HookError{u"the target is empty"_s};
    const QStringList parts = target.split(u'/');
    for (const QString &p : parts)
        if (p.trimmed().isEmpty())
            throw HookError{u"the target \"%1\" has an empty part"_s.arg(target)};
    return parts;
}

std::optional<int> KeyFromName(const QString &name)
{
    static const QList<std::pair<QString, int>> named = {
        {u"Return"_s, Qt::Key_Return}, {u"Enter"_s, Qt::Key_Enter},   {u"Escape"_s, Qt::Key_Escape},
        {u"Tab"_s, Qt::Key_Tab},       {u"Backspace"_s, Qt::Key_Backspace}, {u"Delete"_s, Qt::Key_Delete},
        {u"Up"_s, Qt::Key_Up},         {u"Down"_s, Qt::Key_Down},     {u"Left"_s, Qt::Key_Left},
        {u"Right"_s, Qt::Key_Right},   {u"PageUp"_s, Qt::Key_PageUp}, {u"PageDown"_s, Qt::Key_PageDown},
        {u"Home"_s, Qt::Key_Home},     {u"End"_s, Qt::Key_End},       {u"Space"_s, Qt::Key_Space},
    };
    for (const auto &[n, key] : named)
        if (n == name)
            return key;
    if (name.size() >= 2 && name.size() <= 3 && name.at(0) == u'F') {
        bool ok = false;
        const int f = name.mid(1).toInt(&ok);
        if (ok && f >= 1 && f <= 12 && !name.mid(1).startsWith(u'0'))
            return Qt::Key_F1 + (f - 1);
    }
    if (name.size() == 1) {
        const QChar c = name.at(0).toUpper();
        if (c >= u'A' && c <= u'Z')
            return Qt::Key_A + (c.unicode() - u'A');
        if (c >= u'0' && c <= u'9')
            return Qt::Key_0 + (c.unicode() - u'0');
    }
    return std::nullopt;
}

std::optional<MsgAnswer> AnswerFromName(const QString &name)
{
    if (name == u"Ok")
        return MsgAnswer::Ok;
    if (name == u"Cancel")
        return MsgAnswer::Cancel;
    if (name == u"Yes")
        return MsgAnswer::Yes;
    if (name == u"No")
        return MsgAnswer::No;
    return std::nullopt;
}

QString AnswerName(MsgAnswer answer)
{
    switch (answer) {
    case MsgAnswer::Ok: return u"Ok"_s;
    case MsgAnswer::Cancel: return u"Cancel"_s;
    case MsgAnswer::Yes: return u"Yes"_s;
    case MsgAnswer::No: return u"No"_s;
    }
    return QString();
}

QList<LineReader::Line> LineReader::feed(const QByteArray &bytes)
{
    QList<Line> lines;
    qsizetype from = 0;
    while (from < bytes.size()) {
        const qsizetype end = bytes.indexOf('\n', from);
        const QByteArray piece = bytes.mid(from, end < 0 ? -1 : end - from);
        if (m_skipping) {
            if (end >= 0)
                m_skipping = false;
        } else if (m_pending.size() + piece.size() > MaxLineBytes) {
            // Told once, the moment the limit is passed; the rest of the
            // line is dropped as it comes.
            m_pending.clear();
            lines.append({QByteArray(), true});
            m_skipping = end < 0;
        } else {
            m_pending += piece;
            if (end >= 0) {
                QByteArray text = std::exchange(m_pending, QByteArray());
                if (text.endsWith('\r'))
                    text.chop(1);
                lines.append({text, false});
            }
        }
        if (end < 0)
            break;
        from = end + 1;
    }
    return lines;
}

} // namespace cg::testhook
