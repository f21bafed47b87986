#pragma once

#include <QString>

namespace cg {

class DriverService;

// Writes a driver's picture (photo or fingerprint image) from the data
// service into the photo folder and returns its path; "" for picture id 0, a
// picture that does not exist, or a write that failed. The file is always
// written directly inside photoDir: the stored name loses any folders,
// drive letters and ".." parts, and an empty or unusable name becomes
// "picture_<id>". Data-service failures are passed on.
QString FetchDriverPhoto(DriverService &service, const QString &context, qint64 pictureId,
                         const QString &photoDir);

// The plain file name FetchDriverPhoto writes for a stored name.
QString SafePictureFileName(const QString &storedName, qint64 pictureId);

} // namespace cg
