#include "services/masterdata/driverphoto.h"

#include "core/files.h"
#include "services/masterdata/driverservice.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace cg {

QString SafePictureFileName(const QString &storedName, qint64 pictureId)
{
    // Names come from whichever workstation saved the picture: either
    // separator, possibly a drive ("C:\photos\1.bmp") or a path meant to
    // escape ("../../x.bmp"). Only the last part is a file name.
    QString name = storedName.trimmed();
    name.replace(u'\\', u'/');
    name = name.section(u'/', -1);
    if (name.size() >= 2 && name.at(1) == u':')
        name = name.mid(2);
    // Control characters and names made only of dots are no file names.
    QString clean;
    for (const QChar c : name)
        clean += (c.unicode() < 0x20 || c == u':') ? u'_' : c;
    clean = clean.trimmed();
    bool onlyDots = true;
    for (const QChar c : clean)
        onlyDots = onlyDots && c == u'.';
    if (clean.isEmpty() || onlyDots)
        return u"picture_%1"_s.arg(pictureId);
    return clean;
}

QString FetchDriverPhoto(DriverService &service, const QString &context, qint64 pictureId, const QString &photoDir)
{
    if (pictureId == 0)
        return {};
    const QVariant data = service.GetPicture(context, pictureId);
    if (!data.isValid())
        return {};
    const QString name = SafePictureFileName(service.GetPictureFileName(context, pictureId), pictureId);
    QDir dir(photoDir.isEmpty() ? QDir::tempPath() : photoDir);
    if (!dir.exists() && !dir.mkpath(u"."_s))
        return {};
    const QString path = dir.absoluteFilePath(name);
    return WriteFileBytes(path, data.toByteArray()) ? path : QString();
}

} // namespace cg
