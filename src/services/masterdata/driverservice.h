#pragma once

#include "core/recordset.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>

namespace cg {

class Clock;
class Database;

// Drivers, their fingerprint templates and pictures.
class DriverService {
public:
    DriverService(Database &db, const Clock &clock) : m_db(db), m_clock(clock) {}

    // Drivers matching a filter fragment (columns: driver_no, driver_id,
    // driver_name, sex, route_id, drive_type, unit_id, service_kind,
    // company_name, credit, cert_kind, is_driver), ordered by an ORDER BY
    // text. Fields: every field of the driver record, plus driver_no (the
    // driver number again), route_name and finger_value (the formal template).
    RecordSet QueryDrivers(const QString &context, const QString &where, const QString &orderBy);
    // What the check-in stations' identification needs of every driver:
    // driver_no, driver_name, sex, birth_date, photo_id, finger_id,
    // finger_value (the formal template) and fng_value1 (the backup), the
    // templates "" when none; ordered by driver number. A station reads
    // thousands of these at start-up, a quarter of QueryDrivers' columns.
    RecordSet QueryDriverFingers(const QString &context);
    // The register's list: driver_no, driver_name, sex, route_id,
    // route_name, year_check_month, safe_study_end_date, drive_type,
    // unit_id, contract_sign_date, out_date.
    RecordSet QueryDriverList(const QString &context, const QString &where, const QString &orderBy);

    // ---- the driver record (driverservice_record.cpp) ------------------
    // An empty record set with the columns AddDriver and UpdateDriver read:
    // driver_id .. finger_id1 as the record screen writes them (fng_value
    // and fng_value1 are listed but never written: templates are stored
    // only through the two template operations).
    static RecordSet GetDriverTemplate();
    // Adds the driver of the record set's current row and returns his
    // number. Refused (ServiceError) without a number or a name, or when
    // the number is taken. Picture ids that name no stored picture are
    // refused too.
    QString AddDriver(const QString &context, const RecordSet &row);
    // Rewrites the driver with number id from the row. The number itself
    // cannot change (a row naming another number is refused); templates
    // are kept. A driver that does not exist is refused.
    void UpdateDriver(const QString &context, const QString &id, const RecordSet &row);
    // Deletes the driver and his pictures. False, with the reason in
    // *reason, when there is no such driver or he is still arranged on a
    // vehicle, substituting or lent to a route (deleting him would take
    // those records with him). A driver's past check-ins keep his name.
    bool DeleteDriver(const QString &context, const QString &id, QString *reason = nullptr);
    // Stores the formal / backup template text of driver id (refused for
    // an empty id or a driver that does not exist).
    void SetDriverFingerTemplate(const QString &context, const QString &id, const QString &templateText);
    void SetDriverBackupFingerTemplate(const QString &context, const QString &id, const QString &templateText);

    // ---- pictures (driverservice_pictures.cpp) -------------------------
    // Stores a picture and returns its id (> 0). Refused when bytes is
    // empty or larger than MaxPictureBytes. The file name is kept as
    // given (callers pass a plain name).
    static constexpr qsizetype MaxPictureBytes = 8 * 1024 * 1024;
    qint64 AddPicture(const QString &context, const QString &fileName, const QByteArray &bytes);
    // Replaces the stored picture with that id; refused when there is none.
    void ReplacePicture(const QString &context, qint64 pictureId, const QString &fileName,
                        const QByteArray &bytes);
    // The stored bytes of a picture, or an invalid QVariant (Null) when
    // there is none with that id.
    QVariant GetPicture(const QString &context, qint64 pictureId);
    QString GetPictureFileName(const QString &context, qint64 pictureId);

    // ---- a trip's drivers (driverservice_tripdrivers.cpp) --------------
    // The drivers registered for a trip (its vehicle by plate, its code),
    // each with up to four template texts: driver_no, driver_name,
    // finger_value1 .. finger_value4 (empty when absent).
    RecordSet QueryTripDrivers(const QString &context, const QString &license, const QString &busId);

private:
    Database &m_db;
    const Clock &m_clock;
};

} // namespace cg
