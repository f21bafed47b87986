#include "logfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

struct LogState {
    QMutex mutex;
    QFile file;
    bool echo = false;
    qint64 maxBytes = LogFile::DefaultMaxBytes;
    QtMessageHandler previous = nullptr;
};

LogState &state()
{
    static LogState s;
    return s;
}

QString numbered(const QString &path, int n)
{
    return path + u"."_s + QString::number(n);
}

// coachgate.log -> .1 -> .2 ... ; the oldest goes.
void rotate(const QString &path)
{
    QFile::remove(numbered(path, LogFile::KeptFiles));
    for (int n = LogFile::KeptFiles - 1; n >= 1; --n)
        if (QFile::exists(numbered(path, n)))
            QFile::rename(numbered(path, n), numbered(path, n + 1));
    QFile::rename(path, numbered(path, 1));
}

bool openAppending(QFile &file, qint64 maxBytes)
{
    if (QFile::exists(file.fileName()) && QFileInfo(file.fileName()).size() >= maxBytes)
        rotate(file.fileName());
    return file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
}

char levelLetter(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return 'D';
    case QtInfoMsg:
        return 'I';
    case QtWarningMsg:
        return 'W';
    case QtCriticalMsg:
        return 'C';
    case QtFatalMsg:
        return 'F';
    }
    return '?';
}

void writeLine(QtMsgType type, const char *category, const QString &message, bool mayEcho)
{
    LogState &s = state();
    const QByteArray line = QDateTime::currentDateTime().toString(u"yyyy-MM-dd HH:mm:ss.zzz"_s).toUtf8() + ' '
                            + levelLetter(type) + ' '
                            + QByteArray(category && qstrcmp(category, "default") != 0 ? category : "coachgate")
                            + ": " + message.toUtf8() + '\n';
    {
        const QMutexLocker lock(&s.mutex);
        if (s.file.isOpen()) {
            if (s.file.size() + line.size() > s.maxBytes && s.file.size() > 0) {
                s.file.close();
                rotate(s.file.fileName());
                s.file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
            }
            if (s.file.isOpen()) {
                s.file.write(line);
                s.file.flush();
            }
        }
        if (mayEcho && (s.echo || type >= QtWarningMsg || !s.file.isOpen())) {
            std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
            std::fflush(stderr);
        }
    }
}

void writeMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    writeLine(type, context.category, message, true);
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

QString LogFile::defaultFolder()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + u"/.local/state"_s;
    return base + u"/coachgate"_s;
}

bool LogFile::install(const QString &folder, bool echo, QString *why, qint64 maxBytes)
{
    LogState &s = state();
    {
        const QMutexLocker lock(&s.mutex);
        if (s.file.isOpen())
            s.file.close();
        s.echo = echo;
        s.maxBytes = maxBytes > 0 ? maxBytes : DefaultMaxBytes;
        if (!QDir().mkpath(folder)) {
            if (why)
                *why = u"无法创建日志文件夹 %1"_s.arg(QDir::toNativeSeparators(folder));
        } else {
            s.file.setFileName(QDir(folder).filePath(u"coachgate.log"_s));
            if (!openAppending(s.file, s.maxBytes) && why)
                *why = u"无法写入日志文件 %1：%2"_s.arg(QDir::toNativeSeparators(s.file.fileName()),
                                                     s.file.errorString());
        }
    }
    const QtMessageHandler before = qInstallMessageHandler(writeMessage);
    if (before != writeMessage)
        s.previous = before;
    return s.file.isOpen();
}

void LogFile::writeToFileOnly(QtMsgType type, const QString &message)
{
    if (!path().isEmpty())
        writeLine(type, nullptr, message, false);
}

void LogFile::uninstall()
{
    LogState &s = state();
    qInstallMessageHandler(s.previous);
    s.previous = nullptr;
    const QMutexLocker lock(&s.mutex);
    s.file.close();
}

QString LogFile::path()
{
    LogState &s = state();
    const QMutexLocker lock(&s.mutex);
    return s.file.isOpen() ? s.file.fileName() : QString();
}

} // namespace cg
