// The pick-lists' entries.
#include "services/masterdata/lookupservices.h"

#include "services/database/database.h"

using namespace Qt::StringLiterals;

namespace cg {

namespace {
RecordSet list(Database &db, const QString &sql, const QVariantList &binds = {},
               const QList<RecordSet::Field> &extra = {})
{
    QList<RecordSet::Field> shape{{u"code"_s, FieldType::Text, 0}, {u"name"_s, FieldType::Text, 0}};
    shape += extra;
    return db.select(sql, binds, shape);
}
} // namespace

RecordSet LookupService::CompanyList(const QString &)
{
    return list(m_db, u"SELECT company_code AS code, company_name AS name FROM companies ORDER BY company_code"_s);
}

RecordSet LookupService::OwnerList(const QString &, const QString &companyCode)
{
    const QString code = companyCode.trimmed();
    if (code.isEmpty())
        return list(m_db, u"SELECT owner_code AS code, owner_name AS name, COALESCE(company_code, '') AS company "
                          u"FROM owners ORDER BY owner_code"_s);
    return list(m_db, u"SELECT owner_code AS code, owner_name AS name, COALESCE(company_code, '') AS company "
                      u"FROM owners WHERE company_code = ? ORDER BY owner_code"_s,
                {code});
}

RecordSet LookupService::ModelList(const QString &)
{
    return list(m_db, u"SELECT model_code AS code, model_name AS name, first_seat_figure AS seats "
                      u"FROM vehicle_models ORDER BY model_code"_s,
                {}, {{u"seats"_s, FieldType::Integer, 0}});
}

RecordSet LookupService::RouteList(const QString &)
{
    return list(m_db, u"SELECT route_id AS code, route_name AS name FROM routes ORDER BY route_id"_s);
}

RecordSet LookupService::CheckGateList(const QString &)
{
    return list(m_db, u"SELECT gate_id AS code, gate_name AS name FROM check_gates ORDER BY gate_id"_s);
}

RecordSet LookupService::VehicleList(const QString &)
{
    return list(m_db, u"SELECT license_id AS code, license AS name, COALESCE(company_name, '') AS company, "
                      u"COALESCE(owner, '') AS owner, COALESCE(model_id, '') AS model, seat_weight_num AS seats "
                      u"FROM vehicles WHERE status = 0 ORDER BY license_id"_s,
                {}, {{u"seats"_s, FieldType::Integer, 0}});
}

RecordSet LookupService::DriverList(const QString &)
{
    return list(m_db, u"SELECT driver_id AS code, driver_name AS name, COALESCE(company_name, '') AS company "
                      u"FROM drivers ORDER BY driver_id"_s);
}

bool ModelService::SelectModel(const QString &, const QString &modelCode)
{
    m_first = m_second = 0;
    const RecordSet rs = m_db.select(
        u"SELECT first_seat_figure, second_seat_figure FROM vehicle_models WHERE model_code = ?"_s,
        {modelCode.trimmed()},
        {{u"first_seat_figure"_s, FieldType::Integer, 0}, {u"second_seat_figure"_s, FieldType::Integer, 0}});
    if (rs.RecordCount() != 1)
        return false;
    // The figures are 16-bit; a stored value outside that range is clamped,
    // never wrapped into a wrong seat count.
    const auto figure = [&](const QString &field) {
        return qint16(qBound(qint64(0), rs.valueAt(0, field).toLongLong(), qint64(32767)));
    };
    m_first = figure(u"first_seat_figure"_s);
    m_second = figure(u"second_seat_figure"_s);
    return true;
}

bool ScrollTripService::SelectRoute(const QString &, const QString &routeCode)
{
    const QString code = routeCode.trimmed();
    m_route.clear();
    if (code.isEmpty() || !m_db.scalar(u"SELECT 1 FROM routes WHERE route_id = ?"_s, {code}).isValid())
        return false;
    m_route = code;
    return true;
}

Array2D ScrollTripService::GetRouteStations()
{
    Array2D stations(0, 3);
    if (m_route.isEmpty())
        return stations;
    const RecordSet rs = m_db.select(u"SELECT s.station_code, rs.seq, s.station_name FROM route_stations rs "
                                     u"JOIN stations s ON s.station_code = rs.station_code "
                                     u"WHERE rs.route_id = ? ORDER BY rs.seq"_s,
                                     {m_route},
                                     {{u"station_code"_s, FieldType::Text, 0},
                                      {u"seq"_s, FieldType::Integer, 0},
                                      {u"station_name"_s, FieldType::Text, 0}});
    for (int r = 0; r < rs.RecordCount(); ++r)
        stations.appendRow({rs.valueAt(r, u"station_code"_s), rs.valueAt(r, u"seq"_s),
                            rs.valueAt(r, u"station_name"_s)});
    return stations;
}

} // namespace cg
