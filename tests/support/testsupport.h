#pragma once

#include "widgets/env.h"
#include "widgets/filechooser.h"
#include "widgets/messagesink.h"
#include "widgets/sound.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <functional>

namespace cg::test {

// A screen's control by its objectName, the way an operator finds it: by
// what it is called, not by a member. A missing control ends the test run
// with its name, instead of a crash on a null pointer further on.
template <typename T>
T *child(const QObject *root, const QString &name)
{
    T *c = root->findChild<T *>(name);
    if (!c)
        qFatal("no control %s of type %s under %s", qPrintable(name), T::staticMetaObject.className(),
               root->metaObject()->className());
    return c;
}

// Keeps every box and notice shown and answers questions from a script.
class RecordingMessageSink : public MessageSink {
public:
    struct Shown {
        MessageBoxSpec spec;
        MsgAnswer answer;
    };
    MsgAnswer show(const MessageBoxSpec &spec, QWidget *parent = nullptr) override;
    void notify(const QString &message, QWidget *parent = nullptr) override;

    // Answers given to the next questions, in order; once used up, a
    // question gets defaultAnswer (Yes/No boxes) and plain boxes get Ok.
    QList<MsgAnswer> script;
    MsgAnswer defaultAnswer = MsgAnswer::Yes;

    QList<Shown> boxes;
    QStringList notices;
    // Called with each notice's parent as it is shown, for tests that look
    // at the screen's state at that moment.
    std::function<void(QWidget *parent)> onNotify;

    void clear() { boxes.clear(); notices.clear(); script.clear(); }
    QString lastText() const { return boxes.isEmpty() ? QString() : boxes.last().spec.text; }
    QString lastTitle() const { return boxes.isEmpty() ? QString() : boxes.last().spec.title; }
};

class RecordingSoundPlayer : public SoundPlayer {
public:
    void play(const QString &path) override { played.append(path); }
    QStringList played;
};

class RecordingShellOpener : public ShellOpener {
public:
    void open(const QString &path) override { opened.append(path); }
    QStringList opened;
};

class RecordingStatusSink : public StatusSink {
public:
    void SetStatusText(const QString &text, int panel) override
    {
        if (panel >= 1 && panel <= 3)
            panels[panel - 1] = text;
        calls.append({text, panel});
    }
    QString panels[3];
    QList<QPair<QString, int>> calls;
};

// Answers file dialogs from a script: each call takes the next name from
// answers; an empty name (or none left) means the operator cancelled.
class ScriptedFileChooser : public FileChooser {
public:
    struct Call {
        QString title;
        QString filter;
        bool save;
    };
    QString saveFileName(QWidget *, const QString &title, const QString &filter) override
    {
        calls.append({title, filter, true});
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
    QString openFileName(QWidget *, const QString &title, const QString &filter) override
    {
        calls.append({title, filter, false});
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
    QStringList answers;
    QList<Call> calls;
};

} // namespace cg::test
