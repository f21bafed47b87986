#pragma once

// The demo station's building blocks, shared by seed-demo and seed-large:
// the companies, models, stops and routes, the name pools, and the rows of
// drivers, vehicles and arrangements as both seeds store them.

#include <QDate>
#include <QList>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>
#include <QVariantList>

namespace cg {

class Database;

namespace seeding {

constexpr int MobileEvery = 8; // one driver in eight is a mobile driver

struct Company {
    QString code;
    QString name;
    QString shortName;
    QChar plateLetter;
    QStringList owners; // "O001[name]"
    QString codeName() const;
};

struct Model {
    QString code;
    QString name;
    int first;
    int second;
    int seats;
    QString codeName() const;
};

struct Route {
    QString id;
    QString name;
    QStringList stops; // station codes, the last one the destination
};

struct Driver {
    QString id;
    QString name;
    QString sex;
    int birthYear = 1980;
    QString cert;
    int company = 0;
    bool mobile = false;
    int route = 0;
};

struct Vehicle {
    QString id;
    QString plate;
    QString card; // empty: the temporary vehicle
    int company = 0;
    QString owner;
    int model = 0;
    QString kind;
    int route = 0;
    QList<int> drivers; // indexes into Station::drivers
};

struct Station {
    QList<Company> companies;
    QList<Model> models;
    QList<std::pair<QString, QString>> places; // code, name
    QList<Route> routes;
    QList<Driver> drivers;
    QList<Vehicle> vehicles;
};

// The demo station, always the same (fixed seed).
Station buildStation();

// A name from the pools; names may repeat.
QString personName(QRandomGenerator &rng, bool female);
// The licence class of a new driver, weighted as at a coach station.
QString certKind(QRandomGenerator &rng);
// A passport-sized PNG of a driver (the name drawn only under a GUI application).
QByteArray driverPhoto(const QString &name, int index);
QString stationName(const Station &st, const QString &code);

// Operators, parameters, code tables, companies, owners, models, stops,
// routes and gates; rows already there are left alone.
void seedReferenceData(Database &db, const Station &st);

// A driver row: the columns, and the values of driver d (the index-th)
// hired three years before day, with a photo and both fingers' templates.
extern const QString DriverColumns;
QVariantList driverValues(const Station &st, const Driver &d, int index, const QDate &day, qint64 photo,
                          const QString &formal, const QString &backup);
// A vehicle row, registered on hired.
extern const QString VehicleColumns;
QVariantList vehicleValues(const Station &st, const Vehicle &v, const QDate &hired);
extern const QString ArrangementColumns;

// "?, ?, ..." for count values.
QString placeholders(int count);

} // namespace seeding
} // namespace cg
