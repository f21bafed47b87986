// The vehicle record operations behind the vehicle register and record
// screen, the model's seat figures and the arrangement query the record
// lists a vehicle's drivers with. Each data row runs on a fresh SQLite file
// or PostgreSQL database.

#include "support/fixturetime.h"
#include "dbtestenv.h"

#include "core/dates.h"
#include "services/database/database.h"
#include "services/database/serviceerror.h"
#include "services/masterdata/lookupservices.h"
#include "services/masterdata/vehicleservice.h"
#include "services/scheduling/arrangementservice.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

const QString kCtx = u"[wg][440100001][440101][0]"_s;

RecordSet vehicleRow(const QString &code, const QString &plate, const QString &card = QString())
{
    RecordSet row = CloneRecordsetShape(VehicleService::GetVehicleTemplate());
    row.appendRow();
    row.setValue(u"license_id"_s, code);
    row.setValue(u"license"_s, plate);
    row.setValue(u"model_id"_s, u"M45[宇通45座]"_s);
    row.setValue(u"service_kind"_s, u"班车"_s);
    row.setValue(u"Owner"_s, u"O01[陈生]"_s);
    row.setValue(u"company_name"_s, u"C01[天河运输]"_s);
    row.setValue(u"Status"_s, 0);
    row.setValue(u"seat_weight_num"_s, 45);
    row.setValue(u"create_date"_s, QDateTime(QDate(2026, 3, 1), QTime(0, 0)));
    row.setValue(u"ic_card_id"_s, card);
    row.setValue(u"driver_num"_s, 2);
    row.setValue(u"Memo"_s, u"备注"_s);
    return row;
}

// The refusal's text, or "" when the call went through.
QString refusalOf(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const ServiceError &e) {
        return e.description();
    }
    return {};
}

RecordSet byCode(VehicleService &s, const QString &code)
{
    RecordSet rs = s.QueryVehicles(kCtx, u" license_id = '"_s + code + u"'"_s, QString(), NoDate(), true);
    rs.MoveFirst();
    return rs;
}

QDateTime day(int offset, QTime at = QTime(0, 0))
{
    return QDateTime(test::fixtureDay().addDays(offset), at);
}

void seedDriver(Database &db, const QString &id, const QString &name)
{
    db.exec(u"INSERT INTO drivers (driver_id, driver_name) VALUES (?, ?)"_s, {id, name});
}

void arrange(Database &db, const QString &vehicle, const QString &driver, const QDateTime &start,
             const QDateTime &end)
{
    db.exec(u"INSERT INTO arrangements (license_id, driver_id, driver_name, start_date, end_date, memo) "
            u"VALUES (?, ?, '', ?, ?, '')"_s,
            {vehicle, driver, start, end});
}

QStringList codes(RecordSet rs, const QString &field)
{
    QStringList out;
    for (rs.MoveFirst(); !rs.isEOF(); rs.MoveNext())
        out << rs.value(field).toString();
    return out;
}

} // namespace

class TstVehicleRecord : public QObject {
    Q_OBJECT
private slots:
    void addedVehicleReadsBack_data() { test::TestDatabase::addBackendRows(); }
    void addedVehicleReadsBack();
    void badRowsAreRefusedAndNothingWritten_data();
    void badRowsAreRefusedAndNothingWritten();
    void updateRewritesTheKeyedVehicleOnly_data() { test::TestDatabase::addBackendRows(); }
    void updateRewritesTheKeyedVehicleOnly();
    void deletionRefusalsSayWhy_data() { test::TestDatabase::addBackendRows(); }
    void deletionRefusalsSayWhy();
    void arrangedOnADayCountsByDate_data();
    void arrangedOnADayCountsByDate();
    void modelSeatFigures_data() { test::TestDatabase::addBackendRows(); }
    void modelSeatFigures();
    void arrangementsByFragmentAndByKey_data() { test::TestDatabase::addBackendRows(); }
    void arrangementsByFragmentAndByKey();
};

void TstVehicleRecord::addedVehicleReadsBack()
{
    CG_FRESH_DB(db);
    db.migrate();
    VehicleService s(db, test::fixtureClock());
    QCOMPARE(s.AddVehicle(kCtx, vehicleRow(u" V10 "_s, u" 粤A55555 "_s, u"0000000055"_s)), u"V10"_s);
    RecordSet rs = byCode(s, u"V10"_s);
    QCOMPARE(rs.RecordCount(), 1);
    QCOMPARE(rs.value(u"license"_s).toString(), u"粤A55555"_s);
    QCOMPARE(rs.value(u"ic_card_id"_s).toString(), u"0000000055"_s);
    QCOMPARE(rs.value(u"Owner"_s).toString(), u"O01[陈生]"_s);
    QCOMPARE(rs.value(u"seat_weight_num"_s).toInt(), 45);
    QCOMPARE(rs.value(u"driver_num"_s).toInt(), 2);
    QCOMPARE(rs.value(u"Status"_s).toInt(), 0);
    QCOMPARE(rs.value(u"create_date"_s).toDateTime(), QDateTime(QDate(2026, 3, 1), QTime(0, 0)));
    // A new vehicle has not come back yet.
    QVERIFY(IsNoDate(rs.value(u"return_time"_s).toDateTime()));
    // Two vehicles without a card are not a clash.
    QCOMPARE(s.AddVehicle(kCtx, vehicleRow(u"V11"_s, u"粤A66666"_s)), u"V11"_s);
    QCOMPARE(s.AddVehicle(kCtx, vehicleRow(u"V12"_s, u"粤A77777"_s)), u"V12"_s);
}

void TstVehicleRecord::badRowsAreRefusedAndNothingWritten_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("named"); // a text the refusal must contain
    for (const QString &b : {u"sqlite"_s, u"postgres"_s}) {
        const auto row = [&](const char *name) -> QTestData & {
            return QTest::addRow("%s/%s", qPrintable(b), name) << b;
        };
        row("no code") << u"license_id"_s << QVariant(u"  "_s) << u"车辆代码"_s;
        row("no plate") << u"license"_s << QVariant(QString()) << u"车牌号"_s;
        row("code of six bytes") << u"license_id"_s << QVariant(u"V12345"_s) << u"license_id"_s;
        row("code of three Chinese characters") << u"license_id"_s << QVariant(u"天河站"_s) << u"license_id"_s;
        row("status 2") << u"Status"_s << QVariant(2) << u"状态"_s;
        row("negative seats") << u"seat_weight_num"_s << QVariant(-1) << u"座位"_s;
        row("no drivers") << u"driver_num"_s << QVariant(0) << u"驾驶人数"_s;
        row("code taken") << u"license_id"_s << QVariant(u"V1"_s) << u"粤A11111"_s;
        row("plate of V1") << u"license"_s << QVariant(u"粤A11111"_s) << u"[V1]"_s;
        row("card of V1") << u"ic_card_id"_s << QVariant(u"0000000001"_s) << u"[V1]"_s;
    }
}

void TstVehicleRecord::badRowsAreRefusedAndNothingWritten()
{
    CG_FRESH_DB(db);
    QFETCH(QString, field);
    QFETCH(QVariant, value);
    QFETCH(QString, named);
    db.migrate();
    VehicleService s(db, test::fixtureClock());
    s.AddVehicle(kCtx, vehicleRow(u"V1"_s, u"粤A11111"_s, u"0000000001"_s));
    s.AddVehicle(kCtx, vehicleRow(u"V2"_s, u"粤A22222"_s, u"0000000002"_s));

    RecordSet added = vehicleRow(u"V3"_s, u"粤A33333"_s, u"0000000003"_s);
    added.setValue(field, value);
    const QString addRefusal = refusalOf([&] { s.AddVehicle(kCtx, added); });
    QVERIFY2(addRefusal.contains(named), qPrintable(addRefusal));

    // The same value written over V2 is refused as well (a taken code is
    // only an adding fault: V2's own code cannot change).
    RecordSet rewritten = vehicleRow(u"V2"_s, u"粤A22222"_s, u"0000000002"_s);
    rewritten.setValue(field, value);
    const QString updateRefusal = refusalOf([&] { s.UpdateVehicle(kCtx, u"V2"_s, rewritten); });
    QVERIFY(!updateRefusal.isEmpty());

    QCOMPARE(db.scalar(u"SELECT COUNT(*) FROM vehicles"_s).toInt(), 2);
    RecordSet v2 = byCode(s, u"V2"_s);
    QCOMPARE(v2.value(u"license"_s).toString(), u"粤A22222"_s);
    QCOMPARE(v2.value(u"ic_card_id"_s).toString(), u"0000000002"_s);
    QCOMPARE(v2.value(u"Status"_s).toInt(), 0);
    QCOMPARE(v2.value(u"driver_num"_s).toInt(), 2);
}

void TstVehicleRecord::updateRewritesTheKeyedVehicleOnly()
{
    CG_FRESH_DB(db);
    db.migrate();
    VehicleService s(db, test::fixtureClock());
    s.AddVehicle(kCtx, vehicleRow(u"V1"_s, u"粤A11111"_s, u"0000000001"_s));
    s.AddVehicle(kCtx, vehicleRow(u"V2"_s, u"粤A22222"_s));
    db.exec(u"INSERT INTO vehicle_return_states (station_code, license_id, return_status, return_time) "
            u"VALUES ('440100001', 'V1', 1, ?)"_s,
            {day(0, QTime(9, 30))});

    // A new plate and the card moving to a free number: fine, and the
    // return state stays.
    RecordSet row = vehicleRow(u"V1"_s, u"粤A11112"_s, u"0000000009"_s);
    row.setValue(u"Status"_s, 1);
    s.UpdateVehicle(kCtx, u"V1"_s, row);
    RecordSet v1 = byCode(s, u"V1"_s);
    QCOMPARE(v1.value(u"license"_s).toString(), u"粤A11112"_s);
    QCOMPARE(v1.value(u"ic_card_id"_s).toString(), u"0000000009"_s);
    QCOMPARE(v1.value(u"Status"_s).toInt(), 1);
    QCOMPARE(v1.value(u"return_status"_s).toInt(), 1);
    QCOMPARE(v1.value(u"return_time"_s).toDateTime(), day(0, QTime(9, 30)));
    QCOMPARE(byCode(s, u"V2"_s).value(u"license"_s).toString(), u"粤A22222"_s);

    // Its own plate and card again are not a clash with itself.
    s.UpdateVehicle(kCtx, u"V1"_s, vehicleRow(u"V1"_s, u"粤A11112"_s, u"0000000009"_s));

    // Another vehicle's code in the row, or a vehicle that is gone.
    QVERIFY(refusalOf([&] { s.UpdateVehicle(kCtx, u"V1"_s, vehicleRow(u"V2"_s, u"粤A11112"_s)); })
                .contains(u"不能修改"_s));
    try {
        s.UpdateVehicle(kCtx, u"V9"_s, vehicleRow(u"V9"_s, u"粤A99999"_s));
        QFAIL("a vehicle that does not exist was rewritten");
    } catch (const ServiceError &e) {
        QCOMPARE(e.number(), svcerr::NotFound);
    }
    QCOMPARE(db.scalar(u"SELECT COUNT(*) FROM vehicles"_s).toInt(), 2);
}

void TstVehicleRecord::deletionRefusalsSayWhy()
{
    CG_FRESH_DB(db);
    db.migrate();
    VehicleService s(db, test::fixtureClock());
    seedDriver(db, u"D01"_s, u"张三"_s);
    for (const QString &code : {u"V1"_s, u"V2"_s, u"V3"_s, u"V4"_s, u"V5"_s})
        s.AddVehicle(kCtx, vehicleRow(code, u"粤A0000"_s + code.right(1)));
    arrange(db, u"V1"_s, u"D01"_s, day(-10), day(10));
    // Vehicles are shared by the stations of a database: a trip of another
    // station (the rolling trip) keeps a vehicle as well.
    const auto trip = [&](const QString &table, const QString &vehicle, int offset) {
        const QString serial = table == u"rolling_trips"_s ? u", bus_serial_no"_s : QString();
        db.exec(u"INSERT INTO %1 (station_code, bus_date, bus_id%2, bus_start_time, license_id) "
                u"VALUES (?, ?, 'K1'%3, ?, ?)"_s.arg(table, serial, serial.isEmpty() ? QString() : u", '1'"_s),
                {serial.isEmpty() ? u"440100001"_s : u"440200001"_s, day(offset), day(offset, QTime(8, 0)), vehicle});
    };
    trip(u"trips"_s, u"V2"_s, 0);          // today's trip
    trip(u"rolling_trips"_s, u"V3"_s, 1); // tomorrow's rolling trip
    trip(u"trips"_s, u"V4"_s, -1);         // yesterday's trip: history only

    QString why;
    QVERIFY(!s.DeleteVehicle(kCtx, u"V1"_s, &why));
    QVERIFY2(why.contains(u"排班"_s), qPrintable(why));
    QVERIFY(!s.DeleteVehicle(kCtx, u"V2"_s, &why));
    QVERIFY2(why.contains(u"车次"_s), qPrintable(why));
    QVERIFY(!s.DeleteVehicle(kCtx, u"V3"_s, &why));
    QVERIFY2(why.contains(u"车次"_s), qPrintable(why));
    QVERIFY(!s.DeleteVehicle(kCtx, u"V9"_s, &why));
    QVERIFY2(why.contains(u"不存在"_s), qPrintable(why));
    QVERIFY(s.DeleteVehicle(kCtx, u"V4"_s, &why));
    QVERIFY(why.isEmpty());
    QVERIFY(s.DeleteVehicle(kCtx, u"V5"_s));
    QCOMPARE(codes(s.QueryVehicles(kCtx, QString(), u" license_id "_s, NoDate(), true), u"license_id"_s),
             (QStringList{u"V1"_s, u"V2"_s, u"V3"_s}));
    QCOMPARE(db.scalar(u"SELECT COUNT(*) FROM arrangements"_s).toInt(), 1);
}

void TstVehicleRecord::arrangedOnADayCountsByDate_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<int>("asked"); // days from the fixture day
    QTest::addColumn<QStringList>("arranged");
    for (const QString &b : {u"sqlite"_s, u"postgres"_s}) {
        const auto row = [&](const char *name) -> QTestData & {
            return QTest::addRow("%s/%s", qPrintable(b), name) << b;
        };
        // V1 from day 0 08:00 to day 2; V2 on day 3 only.
        row("the day before") << -1 << QStringList{};
        row("first day, started in the morning") << 0 << QStringList{u"V1"_s};
        row("last day") << 2 << QStringList{u"V1"_s};
        row("a one-day arrangement") << 3 << QStringList{u"V2"_s};
        row("the day after") << 4 << QStringList{};
    }
}

void TstVehicleRecord::arrangedOnADayCountsByDate()
{
    CG_FRESH_DB(db);
    QFETCH(int, asked);
    QFETCH(QStringList, arranged);
    db.migrate();
    VehicleService s(db, test::fixtureClock());
    seedDriver(db, u"D01"_s, u"张三"_s);
    for (const QString &code : {u"V1"_s, u"V2"_s, u"V3"_s})
        s.AddVehicle(kCtx, vehicleRow(code, u"粤A0000"_s + code.right(1)));
    arrange(db, u"V1"_s, u"D01"_s, day(0, QTime(8, 0)), day(2));
    arrange(db, u"V2"_s, u"D01"_s, day(3), day(3));
    const QDateTime asking = day(asked, QTime(15, 0)); // the time of day does not matter
    QCOMPARE(codes(s.QueryVehicles(kCtx, QString(), u" license_id "_s, asking, true), u"license_id"_s), arranged);
    QStringList others{u"V1"_s, u"V2"_s, u"V3"_s};
    for (const QString &a : arranged)
        others.removeAll(a);
    QCOMPARE(codes(s.QueryVehicles(kCtx, QString(), u" license_id "_s, asking, false), u"license_id"_s), others);
}

void TstVehicleRecord::modelSeatFigures()
{
    CG_FRESH_DB(db);
    db.migrate();
    db.exec(u"INSERT INTO vehicle_models (model_code, model_name, first_seat_figure, second_seat_figure) VALUES "
            u"('M45', '宇通45座', 45, 1), ('MX', '超大', 70000, -3)"_s);
    ModelService models(db);
    QVERIFY(models.SelectModel(kCtx, u" M45 "_s));
    QCOMPARE(models.GetFirstSeatFigure(), qint16(45));
    QCOMPARE(models.GetSecondSeatFigure(), qint16(1));
    // Out of the 16-bit range: clamped, never wrapped into a wrong count.
    QVERIFY(models.SelectModel(kCtx, u"MX"_s));
    QCOMPARE(models.GetFirstSeatFigure(), qint16(32767));
    QCOMPARE(models.GetSecondSeatFigure(), qint16(0));
    // No such model: nothing selected, no figures left from the last one.
    QVERIFY(!models.SelectModel(kCtx, u"M99"_s));
    QCOMPARE(models.GetFirstSeatFigure(), qint16(0));
    QCOMPARE(models.GetSecondSeatFigure(), qint16(0));
}

void TstVehicleRecord::arrangementsByFragmentAndByKey()
{
    CG_FRESH_DB(db);
    db.migrate();
    VehicleService s(db, test::fixtureClock());
    s.AddVehicle(kCtx, vehicleRow(u"V1"_s, u"粤A11111"_s));
    s.AddVehicle(kCtx, vehicleRow(u"V2"_s, u"粤A22222"_s));
    seedDriver(db, u"D02"_s, u"O'Neil"_s);
    seedDriver(db, u"D01"_s, u"张三"_s);
    arrange(db, u"V1"_s, u"D02"_s, day(0), day(30));
    arrange(db, u"V1"_s, u"D01"_s, day(-40), day(-31));
    arrange(db, u"V1"_s, u"D01"_s, day(0, QTime(7, 0)), day(30));
    arrange(db, u"V2"_s, u"D01"_s, day(0), day(30));
    ArrangementService a(db);

    // The vehicle record's list: one vehicle, by driver.
    RecordSet rs = a.QueryArrangements(kCtx, u" vd.license_id = 'V1'"_s, QString(), QString(), NoDate(),
                                       u" vd.driver_id "_s);
    QCOMPARE(codes(rs, u"driver_id"_s), (QStringList{u"D01"_s, u"D01"_s, u"D02"_s}));
    rs.MoveFirst();
    QCOMPARE(rs.value(u"license"_s).toString(), u"粤A11111"_s);
    QCOMPARE(rs.value(u"driver_name"_s).toString(), u"张三"_s); // today's name, not the copy
    QCOMPARE(rs.value(u"Owner"_s).toString(), u"O01[陈生]"_s);
    QCOMPARE(rs.value(u"model_id"_s).toString(), u"M45[宇通45座]"_s);

    // An apostrophe travels in the concatenated literal form.
    rs = a.QueryArrangements(kCtx, u" vd.driver_name = 'O'+\"'\"+'Neil'"_s, QString(), QString(), NoDate(),
                             QString());
    QCOMPARE(codes(rs, u"license_id"_s), QStringList{u"V1"_s});

    // By key: exactly the arrangement starting that day, whatever its time.
    rs = a.QueryArrangements(kCtx, QString(), u"D01"_s, u"V1"_s, day(0, QTime(18, 0)), QString());
    QCOMPARE(rs.RecordCount(), 1);
    rs.MoveFirst();
    QCOMPARE(rs.value(u"start_date"_s).toDateTime(), day(0, QTime(7, 0)));
    QCOMPARE(a.QueryArrangements(kCtx, QString(), u"D01"_s, u"V1"_s, day(1), QString()).RecordCount(), 0);
    QCOMPARE(a.QueryArrangements(kCtx, QString(), u"D01"_s, QString(), NoDate(), QString()).RecordCount(), 3);

    // Unknown columns are refused, never pasted.
    QVERIFY(!refusalOf([&] {
                 a.QueryArrangements(kCtx, u" vd.password = 'x'"_s, QString(), QString(), NoDate(), QString());
             }).isEmpty());
}

QTEST_GUILESS_MAIN(TstVehicleRecord)
#include "tst_vehiclerecord.moc"
