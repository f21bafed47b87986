#pragma once
// The surroundings a screen needs in a benchmark, where nobody answers:
// boxes and notices printed on standard error (a box is answered No), and
// no sound.

#include "widgets/env.h"
#include "widgets/messagesink.h"
#include "widgets/sound.h"

#include <cstdio>

namespace cg::bench {

class PrintingSink : public MessageSink {
public:
    MsgAnswer show(const MessageBoxSpec &spec, QWidget *) override
    {
        std::fprintf(stderr, "box: %s\n", qPrintable(spec.text));
        return MsgAnswer::No;
    }
    void notify(const QString &message, QWidget *) override
    {
        std::fprintf(stderr, "notice: %s\n", qPrintable(message));
    }
};

class Silence : public SoundPlayer {
public:
    void play(const QString &) override {}
};

// The sinks above and a status bar that shows nothing, wired into an Env
// with the given clock.
struct QuietSurroundings {
    explicit QuietSurroundings(Clock &clock)
    {
        env.messages = &messages;
        env.clock = &clock;
        env.sound = &sound;
        env.status = &status;
    }
    QuietSurroundings(const QuietSurroundings &) = delete;
    QuietSurroundings &operator=(const QuietSurroundings &) = delete;

    PrintingSink messages;
    Silence sound;
    NullStatusSink status;
    Env env;
};

} // namespace cg::bench
