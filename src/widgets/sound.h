#pragma once

#include <QString>
#include <memory>

class QSoundEffect;

namespace cg {

// Short spoken prompts. The workstation plays them through Qt Multimedia;
// tests install a recorder.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    // Starts playing and returns at once; a missing file is ignored silently.
    virtual void play(const QString &path) = 0;
};

class QtSoundPlayer : public SoundPlayer {
public:
    QtSoundPlayer();
    ~QtSoundPlayer() override;
    void play(const QString &path) override;

private:
    std::unique_ptr<QSoundEffect> m_effect;
};

// Opens a file with the desktop's default program.
class ShellOpener {
public:
    virtual ~ShellOpener() = default;
    virtual void open(const QString &path) = 0;
};

class DesktopShellOpener : public ShellOpener {
public:
    void open(const QString &path) override;
};

} // namespace cg
