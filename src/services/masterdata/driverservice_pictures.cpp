// Pictures kept with the driver records: photos and fingerprint images.
#include "services/masterdata/driverservice.h"

#include "core/clock.h"
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

namespace cg {

namespace {
// A picture may have no file name: it is stored as an empty one.
QString storedName(const QString &fileName)
{
    return fileName.isNull() ? u""_s : fileName;
}

void checkPictureBytes(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        throw ServiceError(svcerr::BadArgument, u"图片文件为空，没有保存"_s);
    if (bytes.size() > DriverService::MaxPictureBytes)
        throw ServiceError(svcerr::BadArgument,
                           u"图片文件超过%1MB，没有保存"_s.arg(DriverService::MaxPictureBytes / (1024 * 1024)));
}
} // namespace

qint64 DriverService::AddPicture(const QString &, const QString &fileName, const QByteArray &bytes)
{
    checkPictureBytes(bytes);
    return m_db.insert(u"INSERT INTO pictures (file_name, data, stored_at) VALUES (?, ?, ?)"_s,
                       {storedName(fileName), bytes, m_clock.now()});
}

void DriverService::ReplacePicture(const QString &, qint64 pictureId, const QString &fileName,
                                   const QByteArray &bytes)
{
    checkPictureBytes(bytes);
    m_db.transact([&] {
        if (pictureId <= 0 || !m_db.scalar(u"SELECT id FROM pictures WHERE id = ?"_s, {pictureId}).isValid())
            throw ServiceError(svcerr::NotFound, u"图片[%1]不存在，无法替换"_s.arg(pictureId));
        m_db.exec(u"UPDATE pictures SET file_name = ?, data = ?, stored_at = ? WHERE id = ?"_s,
                  {storedName(fileName), bytes, m_clock.now(), pictureId});
    });
}

} // namespace cg
