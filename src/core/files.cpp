#include "files.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace cg {

bool ReadFileBytes(const QString &path, QByteArray &data)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        data = QByteArrayLiteral("1");
        return false;
    }
    QByteArray bytes = file.readAll();
    const bool failed = file.error() != QFileDevice::NoError;
    file.close();
    if (failed || bytes.isEmpty()) {
        data = QByteArrayLiteral("1");
        return false;
    }
    data = std::move(bytes);
    return true;
}

bool WriteFileBytes(const QString &path, const QByteArray &data)
{
    // The new content replaces the old one only once it is completely
    // written; a failed write leaves the previous file as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(data) != data.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool ReplaceFileWith(const QString &path, const QString &part, QString *why)
{
    // rename(2) replaces the target at once; removing the old file first
    // would lose it whenever the rename then failed.
    if (std::rename(QFile::encodeName(part).constData(), QFile::encodeName(path).constData()) == 0)
        return true;
    if (why)
        *why = QString::fromLocal8Bit(std::strerror(errno));
    QFile::remove(part);
    return false;
}

} // namespace cg
