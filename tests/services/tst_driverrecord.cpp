// The driver record operations behind the driver register and record screen:
// adding, rewriting and deleting drivers, their templates and pictures, and
// the pick-lists' entries. Each data row runs on a fresh SQLite file or
// PostgreSQL database.

#include "support/fixturetime.h"
#include "dbtestenv.h"

#include "services/database/database.h"
#include "services/database/serviceerror.h"
#include "services/masterdata/driverservice.h"
#include "services/masterdata/lookupservices.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

const QString kCtx = u"[wg][440100001][440101][0]"_s;

RecordSet driverRow(const QString &id, const QString &name)
{
    RecordSet row = CloneRecordsetShape(DriverService::GetDriverTemplate());
    row.appendRow();
    row.setValue(u"driver_id"_s, id);
    row.setValue(u"driver_name"_s, name);
    row.setValue(u"sex"_s, u"男"_s);
    row.setValue(u"birth_date"_s, QDateTime(QDate(1980, 5, 17), QTime(0, 0)));
    row.setValue(u"company_name"_s, u"C01[天河运输]"_s);
    row.setValue(u"is_driver"_s, 1);
    row.setValue(u"photo_id"_s, 0);
    row.setValue(u"finger_id"_s, 0);
    row.setValue(u"finger_id1"_s, 0);
    return row;
}

RecordSet byNumber(DriverService &s, const QString &id)
{
    return s.QueryDrivers(kCtx, u" driver_id = '"_s + id + u"'"_s, QString());
}

int refusalOf(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const ServiceError &e) {
        return e.number();
    }
    return 0;
}

} // namespace

class TstDriverRecord : public QObject {
    Q_OBJECT
private slots:
    void addedDriverIsFoundUnderBothNames_data() { test::TestDatabase::addBackendRows(); }
    void addedDriverIsFoundUnderBothNames();
    void addRefusesBadRows_data() { test::TestDatabase::addBackendRows(); }
    void addRefusesBadRows();
    void updateKeepsTemplatesAndNumber_data() { test::TestDatabase::addBackendRows(); }
    void updateKeepsTemplatesAndNumber();
    void templatesAreStoredApart_data() { test::TestDatabase::addBackendRows(); }
    void templatesAreStoredApart();
    void deletionRefusalsSayWhy_data() { test::TestDatabase::addBackendRows(); }
    void deletionRefusalsSayWhy();
    void deletionTakesThePictures_data() { test::TestDatabase::addBackendRows(); }
    void deletionTakesThePictures();
    void pictures_data() { test::TestDatabase::addBackendRows(); }
    void pictures();
    void listFilterWithApostrophe_data() { test::TestDatabase::addBackendRows(); }
    void listFilterWithApostrophe();
    void pickListEntries_data() { test::TestDatabase::addBackendRows(); }
    void pickListEntries();
};

void TstDriverRecord::addedDriverIsFoundUnderBothNames()
{
    CG_FRESH_DB(db);
    db.migrate();
    DriverService s(db, test::fixtureClock());
    QCOMPARE(s.AddDriver(kCtx, driverRow(u" D10 "_s, u"赵六"_s)), u"D10"_s);
    for (const QString &field : {u"driver_no"_s, u"driver_id"_s}) {
        RecordSet rs = s.QueryDrivers(kCtx, u" "_s + field + u" = 'D10'"_s, QString());
        QCOMPARE(rs.RecordCount(), 1);
        rs.MoveFirst();
        QCOMPARE(rs.value(u"driver_name"_s).toString(), u"赵六"_s);
        QCOMPARE(rs.value(u"birth_date"_s).toDateTime(), QDateTime(QDate(1980, 5, 17), QTime(0, 0)));
        QCOMPARE(rs.value(u"company_name"_s).toString(), u"C01[天河运输]"_s);
        QCOMPARE(rs.value(u"is_driver"_s).toInt(), 1);
        QCOMPARE(rs.value(u"fng_value"_s).toString(), QString());
    }
    RecordSet list = s.QueryDriverList(kCtx, u"1=1"_s, u" driver_id "_s);
    QCOMPARE(list.RecordCount(), 1);
}

void TstDriverRecord::addRefusesBadRows()
{
    CG_FRESH_DB(db);
    db.migrate();
    DriverService s(db, test::fixtureClock());
    s.AddDriver(kCtx, driverRow(u"D10"_s, u"赵六"_s));
    QCOMPARE(refusalOf([&] { s.AddDriver(kCtx, driverRow(u"   "_s, u"某人"_s)); }), svcerr::BadArgument);
    QCOMPARE(refusalOf([&] { s.AddDriver(kCtx, driverRow(u"D11"_s, u"  "_s)); }), svcerr::BadArgument);
    QCOMPARE(refusalOf([&] { s.AddDriver(kCtx, driverRow(u"D10"_s, u"另一个"_s)); }), svcerr::BadArgument);
    QCOMPARE(refusalOf([&] { s.AddDriver(kCtx, driverRow(u"D12345678901"_s, u"太长"_s)); }), svcerr::BadArgument);
    RecordSet withPicture = driverRow(u"D13"_s, u"钱七"_s);
    withPicture.setValue(u"photo_id"_s, 4711);
    QCOMPARE(refusalOf([&] { s.AddDriver(kCtx, withPicture); }), svcerr::BadArgument);
    QCOMPARE(refusalOf([&] { s.AddDriver(kCtx, DriverService::GetDriverTemplate()); }), svcerr::BadArgument);
    // The first D10 is untouched and nothing else was added.
    RecordSet rs = byNumber(s, u"D10"_s);
    rs.MoveFirst();
    QCOMPARE(rs.value(u"driver_name"_s).toString(), u"赵六"_s);
    QCOMPARE(db.scalar(u"SELECT COUNT(*) FROM drivers"_s).toInt(), 1);
}

void TstDriverRecord::updateKeepsTemplatesAndNumber()
{
    CG_FRESH_DB(db);
    db.migrate();
    DriverService s(db, test::fixtureClock());
    s.AddDriver(kCtx, driverRow(u"D10"_s, u"赵六"_s));
    s.SetDriverFingerTemplate(kCtx, u"D10"_s, u"CGF1:formal"_s);
    RecordSet row = driverRow(u"D10"_s, u"赵六六"_s);
    row.setValue(u"fng_value"_s, u"overwritten?"_s);
    s.UpdateDriver(kCtx, u"D10"_s, row);
    RecordSet rs = byNumber(s, u"D10"_s);
    rs.MoveFirst();
    QCOMPARE(rs.value(u"driver_name"_s).toString(), u"赵六六"_s);
    QCOMPARE(rs.value(u"fng_value"_s).toString(), u"CGF1:formal"_s);

    // Another number in the row, or a driver that is not there: refused.
    QCOMPARE(refusalOf([&] { s.UpdateDriver(kCtx, u"D10"_s, driverRow(u"D99"_s, u"赵六"_s)); }),
             svcerr::BadArgument);
    QCOMPARE(refusalOf([&] { s.UpdateDriver(kCtx, u"D77"_s, driverRow(u"D77"_s, u"无"_s)); }), svcerr::NotFound);
    QVERIFY(byNumber(s, u"D99"_s).isEmpty());
}

void TstDriverRecord::templatesAreStoredApart()
{
    CG_FRESH_DB(db);
    db.migrate();
    DriverService s(db, test::fixtureClock());
    s.AddDriver(kCtx, driverRow(u"D10"_s, u"赵六"_s));
    s.SetDriverFingerTemplate(kCtx, u"D10"_s, u"F"_s);
    s.SetDriverBackupFingerTemplate(kCtx, u"D10"_s, u"B"_s);
    s.SetDriverBackupFingerTemplate(kCtx, u"D10"_s, u"B2"_s);
    RecordSet rs = byNumber(s, u"D10"_s);
    rs.MoveFirst();
    QCOMPARE(rs.value(u"fng_value"_s).toString(), u"F"_s);
    QCOMPARE(rs.value(u"finger_value"_s).toString(), u"F"_s); // what the check-in station loads
    QCOMPARE(rs.value(u"fng_value1"_s).toString(), u"B2"_s);
    // Never under an empty or unknown number.
    QCOMPARE(refusalOf([&] { s.SetDriverFingerTemplate(kCtx, QString(), u"X"_s); }), svcerr::BadArgument);
    QCOMPARE(refusalOf([&] { s.SetDriverBackupFingerTemplate(kCtx, u"D77"_s, u"X"_s); }), svcerr::NotFound);
}

void TstDriverRecord::deletionRefusalsSayWhy()
{
    CG_FRESH_DB(db);
    db.migrate();
    DriverService s(db, test::fixtureClock());
    s.AddDriver(kCtx, driverRow(u"D10"_s, u"赵六"_s));
    s.AddDriver(kCtx, driverRow(u"D11"_s, u"钱七"_s));
    db.exec(u"INSERT INTO vehicles (license_id, license) VALUES ('V1', '粤A10001')"_s);
    db.exec(u"INSERT INTO arrangements (license_id, driver_id, driver_name, start_date, end_date) "
            u"VALUES ('V1', 'D10', '赵六', ?, ?)"_s,
            {test::fixtureNow(), test::fixtureNow().addDays(3)});
    QString reason;
    QVERIFY(!s.DeleteDriver(kCtx, u"D10"_s, &reason));
    QVERIFY2(reason.contains(u"排班"_s), qPrintable(reason));
    QCOMPARE(db.scalar(u"SELECT COUNT(*) FROM arrangements"_s).toInt(), 1);
    QVERIFY(!s.DeleteDriver(kCtx, u"D77"_s, &reason));
    QVERIFY2(reason.contains(u"不存在"_s), qPrintable(reason));
    QVERIFY(s.DeleteDriver(kCtx, u"D11"_s, &reason));
    QVERIFY(reason.isEmpty());
    QVERIFY(byNumber(s, u"D11"_s).isEmpty());
    QCOMPARE(byNumber(s, u"D10"_s).RecordCount(), 1);
}

void TstDriverRecord::deletionTakesThePictures()
{
    CG_FRESH_DB(db);
    db.migrate();
    DriverService s(db, test::fixtureClock());
    const qint64 photo = s.AddPicture(kCtx, u"p.jpg"_s, "photo");
    const qint64 finger = s.AddPicture(kCtx, u"Fingerprint.bmp"_s, "finger");
    RecordSet row = driverRow(u"D10"_s, u"赵六"_s);
    row.setValue(u"photo_id"_s, photo);
    row.setValue(u"finger_id"_s, finger);
    s.AddDriver(kCtx, row);
    // Another driver shares the photo (it stays for him).
    RecordSet other = driverRow(u"D11"_s, u"钱七"_s);
    other.setValue(u"photo_id"_s, photo);
    s.AddDriver(kCtx, other);
    QVERIFY(s.DeleteDriver(kCtx, u"D10"_s));
    QVERIFY(!s.GetPicture(kCtx, finger).isValid());
    QCOMPARE(s.GetPicture(kCtx, photo).toByteArray(), QByteArray("photo"));
}

void TstDriverRecord::pictures()
{
    CG_FRESH_DB(db);
    db.migrate();
    DriverService s(db, test::fixtureClock());
    const qint64 id = s.AddPicture(kCtx, u"a.bmp"_s, QByteArray("\x00\x01BM", 4));
    QVERIFY(id > 0);
    QCOMPARE(s.GetPicture(kCtx, id).toByteArray(), QByteArray("\x00\x01BM", 4));
    // Stored at the service clock's time, not the machine's.
    QCOMPARE(db.select(u"SELECT stored_at FROM pictures WHERE id = ?"_s, {id},
                       {{u"stored_at"_s, FieldType::DateTime, 0}}).valueAt(0, u"stored_at"_s).toDateTime(),
             test::fixtureNow());
    s.ReplacePicture(kCtx, id, QString(), "new");
    QCOMPARE(s.GetPicture(kCtx, id).toByteArray(), QByteArray("new"));
    QCOMPARE(s.GetPictureFileName(kCtx, id), QString());
    QCOMPARE(refusalOf([&] { s.ReplacePicture(kCtx, id + 100, u"x"_s, "x"); }), svcerr::NotFound);
    QCOMPARE(refusalOf([&] { s.AddPicture(kCtx, u"empty.bmp"_s, {}); }), svcerr::BadArgument);
    QCOMPARE(refusalOf([&] { s.ReplacePicture(kCtx, id, u"big"_s, QByteArray(DriverService::MaxPictureBytes + 1, 'x')); }),
             svcerr::BadArgument);
    QCOMPARE(s.GetPicture(kCtx, id).toByteArray(), QByteArray("new"));
}

void TstDriverRecord::listFilterWithApostrophe()
{
    CG_FRESH_DB(db);
    db.migrate();
    DriverService s(db, test::fixtureClock());
    s.AddDriver(kCtx, driverRow(u"D10"_s, u"O'Neil"_s));
    s.AddDriver(kCtx, driverRow(u"D12"_s, u"张三"_s));
    s.AddDriver(kCtx, driverRow(u"X1"_s, u"李四"_s));
    const QString name = u"1=1 AND (driver_name LIKE '%O'+\"'\"+'Nei%' OR driver_name LIKE '%O'+\"'\"+'Nei' OR "
                         u"driver_name LIKE 'O'+\"'\"+'Nei%' OR driver_name = 'O'+\"'\"+'Nei')"_s;
    RecordSet rs = s.QueryDriverList(kCtx, name, u" driver_id "_s);
    QCOMPARE(rs.RecordCount(), 1);
    rs.MoveFirst();
    QCOMPARE(rs.value(u"driver_no"_s).toString(), u"D10"_s);
    const QString number = u"1=1 AND (driver_no LIKE '%D1%' OR driver_no LIKE '%D1' OR driver_no LIKE 'D1%' OR "
                           u"driver_no = 'D1')"_s;
    QCOMPARE(s.QueryDriverList(kCtx, number, u" driver_id "_s).RecordCount(), 2);
}

void TstDriverRecord::pickListEntries()
{
    CG_FRESH_DB(db);
    db.migrate();
    db.exec(u"INSERT INTO companies (company_code, company_name) VALUES ('C02', '白云运输'), ('C01', '天河运输')"_s);
    db.exec(u"INSERT INTO owners (owner_code, owner_name, company_code) VALUES ('O1', '陈一', 'C01'), "
            u"('O2', '林二', 'C02'), ('O3', '黄三', NULL)"_s);
    db.exec(u"INSERT INTO vehicles (license_id, license, company_name, owner, model_id, seat_weight_num, status) "
            u"VALUES ('V1', '粤A10001', 'C01[天河运输]', 'O1[陈一]', 'M1[宇通]', 45, 0), "
            u"('V2', '粤A10002', 'C01[天河运输]', '', '', 30, 1)"_s);
    LookupService s(db);
    RecordSet companies = s.CompanyList(kCtx);
    QCOMPARE(companies.RecordCount(), 2);
    QCOMPARE(companies.valueAt(0, u"code"_s).toString(), u"C01"_s);
    QCOMPARE(companies.valueAt(0, u"name"_s).toString(), u"天河运输"_s);
    QCOMPARE(s.OwnerList(kCtx, u"C01"_s).RecordCount(), 1);
    QCOMPARE(s.OwnerList(kCtx, u" "_s).RecordCount(), 3);
    RecordSet vehicles = s.VehicleList(kCtx);
    QCOMPARE(vehicles.RecordCount(), 1); // stopped vehicles are not offered
    QCOMPARE(vehicles.row(0), (QVariantList{u"V1"_s, u"粤A10001"_s, u"C01[天河运输]"_s, u"O1[陈一]"_s,
                                            u"M1[宇通]"_s, 45}));
}

QTEST_GUILESS_MAIN(TstDriverRecord)
#include "tst_driverrecord.moc"
