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
    // The register's list: driver_no, driver_name, sex, route_id,
    // route_name, year_check_month, safe_study_end_date, drive_type,
    // unit_id, contract_sign_date, out_date.
    RecordSet QueryDriverList(const QString &context, const QString &where, const QString &orderBy);

    // ---- pictures (driverservice_pictures.cpp) -------------------------
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
