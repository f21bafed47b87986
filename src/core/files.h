#pragma once

#include <QByteArray>
#include <QString>

namespace cg {

// Reads a whole file. False (and data = "1") when it cannot be opened or is
// empty.
bool ReadFileBytes(const QString &path, QByteArray &data);
// Writes the bytes as the file's whole content. False on any failure.
bool WriteFileBytes(const QString &path, const QByteArray &data);

} // namespace cg
