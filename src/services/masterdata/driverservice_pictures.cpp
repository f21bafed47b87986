// Pictures kept with the driver records: photos and fingerprint images.
#include "services/masterdata/driverservice.h"

#include "services/database/database.h"

using namespace Qt::StringLiterals;

namespace cg {

QVariant DriverService::GetPicture(const QString &, qint64 pictureId)
{
    if (pictureId <= 0)
        return {};
    RecordSet rs = m_db.select(u"SELECT data FROM pictures WHERE id = ?"_s, {pictureId},
                               {{u"data"_s, FieldType::Bytes, 0}});
    if (rs.isEmpty())
        return {};
    rs.MoveFirst();
    const QVariant data = rs.value(u"data"_s);
    if (!data.isValid())
        return {};
    return data.toByteArray();
}

// The stored file name as it was given when the picture was saved (it may
// be empty, or carry folders of the workstation that saved it); callers
// that write the picture out keep only a plain name of it.
QString DriverService::GetPictureFileName(const QString &, qint64 pictureId)
{
    if (pictureId <= 0)
        return {};
    return m_db.scalar(u"SELECT file_name FROM pictures WHERE id = ?"_s, {pictureId}).toString().trimmed();
}

} // namespace cg
