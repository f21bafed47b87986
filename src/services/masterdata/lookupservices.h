#pragma once

#include "core/array2d.h"
#include "core/recordset.h"

#include <QString>

namespace cg {

class Database;

// The entries of the pick-lists the record screens choose from. Every list
// starts with the columns code and name (the code[name] form the screens
// store), in code order; the pick-list dialogs (stationui/picklist.h) show
// them and hand back the chosen row.
class LookupService {
public:
    explicit LookupService(Database &db) : m_db(db) {}

    // Transport companies: code, name (the company's name).
    RecordSet CompanyList(const QString &context);
    // Vehicle owners: code, name, company (the owner's company code). With a
    // company code, only that company's owners; an empty code lists all.
    RecordSet OwnerList(const QString &context, const QString &companyCode);
    // Vehicle models: code, name, seats (first seat figure).
    RecordSet ModelList(const QString &context);
    // Routes: code, name.
    RecordSet RouteList(const QString &context);
    // Ticket gates: code, name.
    RecordSet CheckGateList(const QString &context);
    // Vehicles in service (status 0): code (vehicle code), name (plate),
    // company, owner, model, seats -- columns 1 to 6 of the vehicle pick.
    RecordSet VehicleList(const QString &context);
    // Drivers: code (number), name, company.
    RecordSet DriverList(const QString &context);

private:
    Database &m_db;
};

// One vehicle model's seat figures, as the vehicle record reads them: select
// the model by its code, then read the two figures (the record's seat count
// is their sum minus one).
class ModelService {
public:
    explicit ModelService(Database &db) : m_db(db) {}
    // Selects the model with that code (trimmed); false, with both figures
    // 0, when there is none.
    bool SelectModel(const QString &context, const QString &modelCode);
    qint16 GetFirstSeatFigure() const { return m_first; }
    qint16 GetSecondSeatFigure() const { return m_second; }

private:
    Database &m_db;
    qint16 m_first = 0;
    qint16 m_second = 0;
};

// A route's stops, as the rolling trip record reads its destination: select
// the route by its code, then read the stations.
class ScrollTripService {
public:
    explicit ScrollTripService(Database &db) : m_db(db) {}
    // Selects the route with that code (trimmed); false when there is none
    // (GetRouteStations then reads nothing).
    bool SelectRoute(const QString &context, const QString &routeCode);
    // The selected route's stops in running order: rows 1..n, column 1 the
    // station code, 2 its place in the route (seq), 3 the station name. The
    // last row is the destination. No rows when the route has no stops or
    // none is selected.
    Array2D GetRouteStations();

private:
    Database &m_db;
    QString m_route;
};

} // namespace cg
