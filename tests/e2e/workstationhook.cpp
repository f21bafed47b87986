#include "workstationhook.h"

#include "app/frmnotify.h"
#include "app/mainwindow.h"
#include "stationui/stationcontext.h"
#include "widgets/grid.h"
#include "widgets/gridhelpers.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>

#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;

namespace cg::testhook {

// ---- the message sink --------------------------------------------------------

MsgAnswer HookMessageSink::show(const MessageBoxSpec &spec, QWidget *)
{
    MsgAnswer answer = spec.buttons == MsgButtons::Ok       ? MsgAnswer::Ok
                       : spec.buttons == MsgButtons::YesNo  ? MsgAnswer::No
                                                            : MsgAnswer::Cancel;
    if (!script.isEmpty())
        answer = script.takeFirst();
    boxes.append({spec, answer});
    return answer;
}

void HookMessageSink::notify(const QString &message, QWidget *parent)
{
    notices.append(message);
    if (!showNoticeWindow)
        return;
    frmNotify notice(parent);
    notice.m_szErrorDescription = message;
    notice.exec();
}

// ---- finding widgets -----------------------------------------------------------

namespace {

QList<QWidget *> visibleFirst(QList<QWidget *> found)
{
    std::stable_partition(found.begin(), found.end(), [](QWidget *w) { return w->isVisible(); });
    return found;
}

QWidget *pick(const QList<QWidget *> &candidates, const QString &name, const QString &target)
{
    const QList<QWidget *> ordered = visibleFirst(candidates);
    if (ordered.isEmpty())
        throw HookError{u"no widget %1 (at \"%2\")"_s.arg(target, name)};
    if (ordered.size() > 1 && ordered.at(1)->isVisible())
        throw HookError{u"%1 visible widgets are named \"%2\"; name its window in the target \"%3\""_s
                            .arg(std::count_if(ordered.begin(), ordered.end(), [](QWidget *w) { return w->isVisible(); }))
                            .arg(name, target)};
    return ordered.first();
}

FlexGrid *gridOf(const QString &target)
{
    auto *grid = qobject_cast<FlexGrid *>(ResolveTarget(target));
    if (!grid)
        throw HookError{u"%1 is not a grid"_s.arg(target)};
    return grid;
}

void checkCell(const FlexGrid *grid, int row, int col)
{
    if (row < 0 || row >= grid->rows() || col < 0 || col >= grid->cols())
        throw HookError{u"cell (%1, %2) is outside the grid's %3 rows and %4 columns"_s.arg(row).arg(col).arg(
            grid->rows()).arg(grid->cols())};
}

QString widgetText(QWidget *w)
{
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return e->text();
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        return b->text();
    if (auto *c = qobject_cast<QComboBox *>(w))
        return c->currentText();
    if (auto *p = qobject_cast<QPlainTextEdit *>(w))
        return p->toPlainText();
    return w->windowTitle();
}

// What an operator would do before clicking: bring the widget's window (and
// its child window inside the main window) to the front.
void bringForward(QWidget *w)
{
    for (QWidget *p = w; p; p = p->parentWidget()) {
        if (auto *sub = qobject_cast<QMdiSubWindow *>(p)) {
            if (QMdiArea *area = sub->mdiArea())
                area->setActiveSubWindow(sub);
            sub->raise();
        }
    }
    w->window()->raise();
}

// A left click (or double click) at pos of w, through the window system as
// a pointer would: a window blocked by a modal dialog gets nothing. Throws
// when the point shows another widget.
std::function<void()> clickAt(QWidget *w, QPoint pos, bool twice)
{
    if (!w->isVisible())
        throw HookError{u"%1 is not visible"_s.arg(w->objectName())};
    if (!w->isEnabled())
        throw HookError{u"%1 is disabled"_s.arg(w->objectName())};
    bringForward(w);
    QWidget *window = w->window();
    const QPoint at = w->mapTo(window, pos);
    QWidget *hit = window->childAt(at);
    if (hit != w && !(hit && w->isAncestorOf(hit)) && !(hit == nullptr && window == w))
        throw HookError{u"%1 is covered by %2 at the point clicked"_s.arg(w->objectName(),
                                                                      hit ? hit->objectName() : u"nothing"_s)};
    QPointer<QWidget> guard(window);
    return [guard, at, twice] {
        if (!guard)
            return;
        QWindow *handle = guard->windowHandle();
        if (!handle)
            return;
        if (twice)
            QTest::mouseDClick(handle, Qt::LeftButton, {}, at);
        else
            QTest::mouseClick(handle, Qt::LeftButton, {}, at);
    };
}

QJsonObject lampJson(const FlexGrid *grid, int row, int col)
{
    const QString glyph = grid->textMatrix(row, col);
    const QColor color = LampCellColor(grid, row, col);
    int code = -1;
    for (int c = 0; c <= 4 && code < 0; ++c) {
        QString g;
        QColor k;
        if (LampLook(c, &g, &k) && g == glyph && k == color)
            code = c;
    }
    return {{u"code"_s, code}, {u"glyph"_s, glyph}, {u"color"_s, color.name()}};
}

QWidget *simulatorWindow()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == u"frmFingerprintSimulator" && w->isVisible())
            return w;
    throw HookError{u"the simulated reader's window (模拟指纹仪) is not shown"_s};
}

} // namespace

QWidget *ResolveTarget(const QString &target)
{
    const QStringList path = TargetPath(target);
    QList<QWidget *> roots;
    const auto all = QApplication::allWidgets();
    for (QWidget *w : all)
        if (w->objectName() == path.first())
            roots.append(w);
    QWidget *w = pick(roots, path.first(), target);
    for (qsizetype i = 1; i < path.size(); ++i)
        w = pick(w->findChildren<QWidget *>(path.at(i)), path.at(i), target);
    return w;
}

// ---- the server -------------------------------------------------------------------

WorkstationHook::WorkstationHook(HookMessageSink &sink, std::function<mdiMain *()> mainWindow,
                                 StationContext *station, QObject *parent)
    : QObject(parent), m_sink(sink), m_mainWindow(std::move(mainWindow)), m_station(station)
{
}

WorkstationHook::~WorkstationHook() = default;

bool WorkstationHook::listen(const QString &name, QString *error)
{
    if (!m_server) {
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(m_server, &QLocalServer::newConnection, this, &WorkstationHook::accept);
    }
    // A name left behind by a process that died is taken over.
    QLocalServer::removeServer(name);
    if (m_server->listen(name))
        return true;
    if (error)
        *error = m_server->errorString();
    return false;
}

void WorkstationHook::accept()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto reader = std::make_shared<LineReader>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, reader] {
            // Each line is served from the event loop, not from within this
            // signal: an action's modal dialog then still hears the socket.
            for (const LineReader::Line &line : reader->feed(socket->readAll())) {
                QPointer<QLocalSocket> s(socket);
                QMetaObject::invokeMethod(
                    this, [this, s, line] { if (s) process(s, line.text, line.overlong); }, Qt::QueuedConnection);
            }
        });
    }
}

void WorkstationHook::process(QLocalSocket *socket, const QByteArray &line, bool overlong)
{
    Reply reply = overlong ? Reply{ErrorAnswer(0, u"request line longer than %1 bytes"_s.arg(MaxLineBytes)), {}}
                           : handle(line);
    socket->write(reply.answer);
    socket->flush();
    if (!reply.action)
        return;
    // The screens trap their own errors; anything that still comes out of
    // an action is told on standard error and the hook goes on serving.
    try {
        reply.action();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "coachgate-testhook: an action failed: %s\n", e.what());
    }
}

WorkstationHook::Reply WorkstationHook::handle(const QByteArray &line)
{
    qint64 id = 0;
    try {
        const Request r = ParseRequest(line, &id);
        QJsonObject out;
        std::function<void()> action = dispatch(r, out);
        return {OkAnswer(r.id, out), std::move(action)};
    } catch (const HookError &e) {
        return {ErrorAnswer(id, e.text), {}};
    } catch (const std::exception &e) {
        return {ErrorAnswer(id, QString::fromUtf8(e.what())), {}};
    }
}

std::function<void()> WorkstationHook::dispatch(const Request &r, QJsonObject &out)
{
    const QString &op = r.op;
    mdiMain *window = m_mainWindow ? m_mainWindow() : nullptr;

    if (op == u"ping") {
        out.insert(u"ready"_s, window != nullptr);
        out.insert(u"pid"_s, double(QCoreApplication::applicationPid()));
        return {};
    }
    if (op == u"windows") {
        QJsonArray names;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->isVisible())
                names.append(w->objectName());
        QWidget *modal = QApplication::activeModalWidget();
        out.insert(u"windows"_s, names);
        out.insert(u"modal"_s, modal ? modal->objectName() : QString());
        return {};
    }
    if (op == u"open") {
        const QString form = TextArg(r, u"form"_s);
        const QVariantMap members = ObjectArg(r, u"members"_s).toVariantMap();
        if (!m_station || !m_station->showForm || !m_station->hasForm)
            throw HookError{u"the workstation is not up"_s};
        if (!m_station->hasForm(form))
            throw HookError{u"no form %1 on this workstation"_s.arg(form)};
        StationContext *station = m_station;
        return [station, form, members] { station->showForm(nullptr, form, members); };
    }
    if (op == u"menu") {
        const QString name = TextArg(r, u"name"_s);
        if (!window)
            throw HookError{u"the workstation is not up"_s};
        QAction *entry = window->menuAction(name);
        if (!entry)
            throw HookError{u"no menu entry %1"_s.arg(name)};
        if (!entry->isEnabled())
            throw HookError{u"menu entry %1 is disabled"_s.arg(name)};
        QPointer<QAction> guard(entry);
        return [guard] { if (guard) guard->trigger(); };
    }
    if (op == u"set") {
        const QString target = TextArg(r, u"target"_s);
        const QString text = TextArg(r, u"text"_s);
        QWidget *w = ResolveTarget(target);
        if (auto *e = qobject_cast<QLineEdit *>(w))
            e->setText(text);
        else if (auto *c = qobject_cast<QComboBox *>(w); c && c->isEditable())
            c->setEditText(text);
        else if (auto *p = qobject_cast<QPlainTextEdit *>(w))
            p->setPlainText(text);
        else
            throw HookError{u"%1 takes no text"_s.arg(target)};
        return {};
    }
    if (op == u"text") {
        QWidget *w = ResolveTarget(TextArg(r, u"target"_s));
        out.insert(u"text"_s, widgetText(w));
        out.insert(u"enabled"_s, w->isEnabled());
        out.insert(u"visible"_s, w->isVisible());
        return {};
    }
    if (op == u"click") {
        QWidget *w = ResolveTarget(TextArg(r, u"target"_s));
        return clickAt(w, w->rect().center(), false);
    }
    if (op == u"key" || op == u"keys") {
        QWidget *w = ResolveTarget(TextArg(r, u"target"_s));
        QPointer<QWidget> guard(w);
        if (op == u"keys") {
            const QString text = TextArg(r, u"text"_s);
            return [guard, text] { if (guard) QTest::keyClicks(guard, text); };
        }
        const QString name = TextArg(r, u"key"_s);
        const std::optional<int> key = KeyFromName(name);
        if (!key)
            throw HookError{u"unknown key \"%1\""_s.arg(name)};
        return [guard, key] { if (guard) QTest::keyClick(guard, Qt::Key(*key)); };
    }
    if (op == u"column") {
        const FlexGrid *grid = gridOf(TextArg(r, u"target"_s));
        const QString caption = TextArg(r, u"caption"_s).trimmed();
        for (int c = 0; c < grid->cols(); ++c)
            for (int row = 0; row < grid->fixedRows(); ++row)
                if (grid->textMatrix(row, c).trimmed() == caption) {
                    out.insert(u"col"_s, c);
                    return {};
                }
        throw HookError{u"no column headed \"%1\""_s.arg(caption)};
    }
    if (op == u"rows") {
        const FlexGrid *grid = gridOf(TextArg(r, u"target"_s));
        const int col = IntArg(r, u"col"_s);
        const QString text = TextArg(r, u"text"_s).trimmed();
        checkCell(grid, 0, col);
        QJsonArray rows;
        for (int row = grid->fixedRows(); row < grid->rows(); ++row)
            if (grid->textMatrix(row, col).trimmed() == text)
                rows.append(row);
        out.insert(u"rows"_s, rows);
        out.insert(u"count"_s, grid->dataRows());
        return {};
    }
    if (op == u"cell" || op == u"lamp" || op == u"rowdata" || op == u"gridclick") {
        FlexGrid *grid = gridOf(TextArg(r, u"target"_s));
        const int row = IntArg(r, u"row"_s);
        const int col = op == u"rowdata" ? 0 : IntArg(r, u"col"_s);
        checkCell(grid, row, col);
        if (op == u"cell") {
            out.insert(u"text"_s, grid->textMatrix(row, col));
        } else if (op == u"lamp") {
            out = lampJson(grid, row, col);
        } else if (op == u"rowdata") {
            out.insert(u"data"_s, QJsonValue::fromVariant(grid->rowData(row)));
        } else {
            const bool twice = r.args.value(u"double"_s).toBool();
            grid->scrollTo(grid->model()->index(row, col));
            const QRect cell = grid->visualRect(grid->model()->index(row, col));
            if (!cell.isValid() || !grid->viewport()->rect().contains(cell.center()))
                throw HookError{u"cell (%1, %2) is not in view"_s.arg(row).arg(col)};
            return clickAt(grid->viewport(), cell.center(), twice);
        }
        return {};
    }
    if (op == u"press") {
        const QString driver = TextArg(r, u"driver"_s).trimmed();
        const QString finger = OptionalTextArg(r, u"finger"_s).value_or(u"formal"_s);
        static const QHash<QString, QString> buttons{
            {u"formal"_s, u"cmdFormal"_s}, {u"backup"_s, u"cmdBackup"_s}, {u"unknown"_s, u"cmdUnknown"_s}};
        if (!buttons.contains(finger))
            throw HookError{u"unknown finger \"%1\" (formal, backup or unknown)"_s.arg(finger)};
        QWidget *simulator = simulatorWindow();
        if (finger != u"unknown") {
            auto *list = simulator->findChild<QTreeWidget *>(u"lstDrivers"_s);
            QTreeWidgetItem *item = nullptr;
            for (int i = 0; list && i < list->topLevelItemCount() && !item; ++i)
                if (list->topLevelItem(i)->text(0) == driver)
                    item = list->topLevelItem(i);
            if (!item)
                throw HookError{u"driver %1 is not listed on the simulated reader"_s.arg(driver)};
            list->setCurrentItem(item);
        }
        auto *button = simulator->findChild<QWidget *>(buttons.value(finger));
        if (!button)
            throw HookError{u"the simulated reader has no %1 button"_s.arg(finger)};
        return clickAt(button, button->rect().center(), false);
    }
    if (op == u"answer") {
        const QString name = TextArg(r, u"button"_s);
        const std::optional<MsgAnswer> answer = AnswerFromName(name);
        if (!answer)
            throw HookError{u"unknown answer \"%1\" (Ok, Cancel, Yes or No)"_s.arg(name)};
        m_sink.script.append(*answer);
        out.insert(u"queued"_s, int(m_sink.script.size()));
        return {};
    }
    if (op == u"boxes") {
        QJsonArray boxes;
        for (const HookMessageSink::Shown &b : m_sink.boxes)
            boxes.append(QJsonObject{{u"title"_s, b.spec.title}, {u"text"_s, b.spec.text},
                                     {u"answer"_s, AnswerName(b.answer)}});
        out.insert(u"boxes"_s, boxes);
        out.insert(u"notices"_s, QJsonArray::fromStringList(m_sink.notices));
        return {};
    }
    if (op == u"quit")
        return [this] { beginQuit(); };
    throw HookError{u"unknown operation \"%1\""_s.arg(op)};
}

// Ends the process from wherever it is: every modal dialog is closed in
// turn (the check-in station at start-up among them) and every event loop
// asked to end, until the workstation's own return from its event loop.
void WorkstationHook::beginQuit()
{
    if (m_quit)
        return;
    m_sink.showNoticeWindow = false;
    m_quit = new QTimer(this);
    m_quit->setInterval(50);
    connect(m_quit, &QTimer::timeout, this, [] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->reject();
        QCoreApplication::exit(0);
    });
    m_quit->start();
}

} // namespace cg::testhook
