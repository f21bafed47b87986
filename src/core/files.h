#pragma once

#include <QByteArray>
#include <QString>

namespace cg {

// Reads a whole file. False (and data = "1") when it cannot be opened or is
// empty.
bool ReadFileBytes(const QString &path, QByteArray &data);
// Writes the bytes as the file's whole content. False on any failure.
bool WriteFileBytes(const QString &path, const QByteArray &data);
// Puts the finished file part in path's place in one step: path is
// replaced, or made when missing. On failure part is removed, path is left
// as it was, and why says what went wrong.
bool ReplaceFileWith(const QString &path, const QString &part, QString *why = nullptr);

} // namespace cg
