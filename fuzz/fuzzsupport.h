#pragma once
// What every fuzz target shares: the input as text, a Qt application object
// and a failed-invariant stop that libFuzzer records as a crash.

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace cgfuzz {

// The input read as the program reads its files and texts: UTF-8.
inline QString inputText(const uint8_t *data, size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
}

// Stops the run when an invariant does not hold; libFuzzer keeps the input.
[[noreturn]] inline void fail(const char *what, const QString &detail = QString())
{
    std::fprintf(stderr, "INVARIANT BROKEN: %s\n%s\n", what, detail.toUtf8().constData());
    std::fflush(stderr);
    std::abort();
}

inline void check(bool ok, const char *what, const QString &detail = QString())
{
    if (!ok)
        fail(what, detail);
}

// A scratch folder for targets that read files, removed at exit. Files are
// written under fresh names each time: QSettings keeps what it has read of a
// file and would not notice a rewrite of the same size within one tick.
class Scratch {
public:
    QString nextFile(const QString &suffix)
    {
        return m_dir.filePath(QString::number(++m_counter) + suffix);
    }
    bool ok() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }

private:
    // In memory where there is such a folder: the settings writer syncs
    // every file it writes, and a disk makes that the slowest step.
    static QString base()
    {
        const QString shm = QStringLiteral("/dev/shm");
        return QFileInfo(shm).isDir() && QFileInfo(shm).isWritable() ? shm : QDir::tempPath();
    }
    QTemporaryDir m_dir{base() + QStringLiteral("/cg-fuzz-XXXXXX")};
    quint64 m_counter = 0;
};

} // namespace cgfuzz
