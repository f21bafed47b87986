#pragma once
// A small station whose figures are known: three days of condition checks,
// departures and forced releases around the fixture day D (2026-03-18).
//
// Condition checks (check day, plate, verdict):
//   D-2  粤A00001  passed 08:00, not passed 09:00, a not-passed one undone,
//                  one taken in without a verdict
//   D-2  粤A00002  passed
//   D-1  粤A00001  passed by force
//   D    粤A00002  not passed
// Trips (date, code, plate, state):
//   D-2 K101 粤A00001 let out (45 seats, 30 sold, 28 checked)
//   D-2 K102 粤A00002 waiting;  D-2 K103 粤A00002 forbidden
//   D-1 K104 粤A00002 let out (33 seats, 20 sold, 19 checked)
//   D-1 G900-001 (rolling, 粤A00001) let out (45 seats, 12 checked),
//       G900-002 waiting, G900-003 forbidden
//   D   K105 粤A00001 let out (45 seats, 40 sold, 40 checked)
// Forced releases (operate time, type): D-2 09:30 appearance (vehicle
// 00101), D-1 23:59:59 condition (00101), D 00:00:00 driver of K104 (no
// vehicle recorded: the trip's plate).

#include "support/fixturetime.h"
#include "support/stationseed.h"

namespace cg::test {

inline QDateTime reportDay(int offset, int h = 0, int m = 0, int s = 0)
{
    return QDateTime(fixtureDay().addDays(offset), QTime(h, m, s));
}

inline void seedReportStation(Database &db)
{
    seedStation(db, QStringLiteral("wg"), QStringLiteral("王刚"), QStringLiteral("440100"),
                QStringLiteral("广州市长途汽车客运站"));
    db.exec(QStringLiteral("INSERT INTO drivers (driver_id, driver_name) VALUES ('D01', '张三')"));
    db.exec(QStringLiteral("INSERT INTO vehicles (license_id, license, company_name, seat_weight_num, ic_card_id) "
                           "VALUES ('00101', '粤A00001', '001[广州汽运]', 45, '0012345678'), "
                           "('00102', '粤A00002', '002[广运]', 33, '0012345679')"));
    const auto check = [&](const QString &id, const QString &plate, int day, int index, int status,
                           const QDateTime &time, bool cancelled) {
        db.exec(QStringLiteral("INSERT INTO condition_checks (station_code, license_id, license, check_date, cond_index, cond_status, "
                               "cond_checker, cond_time, started_at, cancelled) VALUES ('440100001', ?, ?, ?, ?, ?, '李敏', ?, ?, ?)"),
                {id, plate, reportDay(day), index, status, status ? QVariant(time) : QVariant(), time,
                 cancelled ? 1 : 0});
    };
    check(QStringLiteral("00101"), QStringLiteral("粤A00001"), -2, 1, 1, reportDay(-2, 8), false);
    check(QStringLiteral("00101"), QStringLiteral("粤A00001"), -2, 2, 2, reportDay(-2, 9), false);
    check(QStringLiteral("00101"), QStringLiteral("粤A00001"), -2, 3, 2, reportDay(-2, 10), true);
    check(QStringLiteral("00101"), QStringLiteral("粤A00001"), -2, 4, 0, reportDay(-2, 11), false);
    check(QStringLiteral("00102"), QStringLiteral("粤A00002"), -2, 1, 1, reportDay(-2, 7, 30), false);
    check(QStringLiteral("00101"), QStringLiteral("粤A00001"), -1, 1, 5, reportDay(-1, 6), false);
    check(QStringLiteral("00102"), QStringLiteral("粤A00002"), 0, 1, 2, reportDay(0, 7), false);

    const auto trip = [&](int day, const QString &id, const QString &vehicle, const QString &plate, int hour,
                          int seats, int sold, int checked, int out) {
        db.exec(QStringLiteral("INSERT INTO trips (station_code, bus_date, bus_id, bus_start_time, end_station_name, license_id, "
                               "license_tag_no, total_seat, transport_company_short_name, sale_num, check_num, "
                               "out_status, exit_time, out_operator) VALUES ('440100001', ?, ?, ?, '深圳', ?, ?, ?, '广运', ?, ?, ?, ?, ?)"),
                {reportDay(day), id, reportDay(day, hour), vehicle, plate, seats, sold, checked, out,
                 out == 1 ? QVariant(reportDay(day, hour, 1)) : QVariant(),
                 out ? QVariant(QStringLiteral("王刚")) : QVariant()});
    };
    trip(-2, QStringLiteral("K101"), QStringLiteral("00101"), QStringLiteral("粤A00001"), 8, 45, 30, 28, 1);
    trip(-2, QStringLiteral("K102"), QStringLiteral("00102"), QStringLiteral("粤A00002"), 9, 33, 10, 0, 0);
    trip(-2, QStringLiteral("K103"), QStringLiteral("00102"), QStringLiteral("粤A00002"), 10, 33, 10, 0, 2);
    trip(-1, QStringLiteral("K104"), QStringLiteral("00102"), QStringLiteral("粤A00002"), 7, 33, 20, 19, 1);
    trip(0, QStringLiteral("K105"), QStringLiteral("00101"), QStringLiteral("粤A00001"), 9, 45, 40, 40, 1);
    db.exec(QStringLiteral("INSERT INTO rolling_trips (station_code, bus_date, bus_id, bus_serial_no, bus_start_time, license_id, "
                           "total_seat, check_num, out_status, exit_time, out_operator, end_station_name) "
                           "VALUES ('440100001', ?, 'G900', '001', ?, '00101', 45, 12, 1, ?, '王刚', '珠海'), "
                           "('440100001', ?, 'G900', '002', ?, '00101', 45, 0, 0, NULL, NULL, '珠海'), "
                           "('440100001', ?, 'G900', '003', ?, '00101', 45, 0, 2, NULL, '王刚', '珠海')"),
            {reportDay(-1), reportDay(-1, 15), reportDay(-1, 15, 2), reportDay(-1), reportDay(-1, 16), reportDay(-1),
             reportDay(-1, 17)});

    const auto release = [&](int day, const QString &bus, const QVariant &vehicle, const QVariant &driver, int type,
                             const QDateTime &at, const QString &cause) {
        db.exec(QStringLiteral("INSERT INTO forced_releases (station_code, bus_date, bus_id, license_id, driver_id, pass_type, "
                               "operator_name, operate_time, cause, unit_code) VALUES ('440100001', ?, ?, ?, ?, ?, '王刚', ?, ?, '440100')"),
                {reportDay(day), bus, vehicle, driver, type, at, cause});
    };
    release(-2, QStringLiteral("K101"), QStringLiteral("00101"), QVariant(), 1, reportDay(-2, 9, 30),
            QStringLiteral("车身污损已清理"));
    release(-1, QStringLiteral("K104"), QStringLiteral("00101"), QVariant(), 2, reportDay(-1, 23, 59, 59),
            QStringLiteral("复检合格"));
    release(-1, QStringLiteral("K104"), QVariant(), QStringLiteral("D01"), 3, reportDay(0),
            QStringLiteral("指纹仪故障"));
}

} // namespace cg::test

#include "support/stationfixture.h"

#include <QProcess>
#include <QRegularExpression>

namespace cg::test {

// The report station on SQLite with an open session and recording sinks;
// the clock stands at the fixture moment, the data folder holds the real
// sheet templates.
class ReportStation : public StationFixture {
public:
    ReportStation()
    {
        seedReportStation(db);
        openSession(QStringLiteral("wg"), stationContext(QStringLiteral("wg"), QStringLiteral("440100")),
                    QStringLiteral("CGS"));
        env.dataDir = qEnvironmentVariable("CG_SOURCE_DIR") + QStringLiteral("/resources");
    }
};

inline QByteArray unzipMember(const QString &zip, const QString &member)
{
    QProcess p;
    p.start(QStringLiteral("unzip"), {QStringLiteral("-p"), zip, member});
    if (!p.waitForFinished(10000) || p.exitCode() != 0)
        return {};
    return p.readAllStandardOutput();
}

// The cells of a workbook's first sheet: reference -> text, with the
// references of number cells in numbers (their value as text).
struct WorkbookCells {
    QMap<QString, QString> text;
    QMap<QString, QString> numbers;
    QString value(const QString &ref) const { return numbers.contains(ref) ? numbers.value(ref) : text.value(ref); }
};

inline WorkbookCells readWorkbook(const QString &path)
{
    WorkbookCells out;
    const QString shared = QString::fromUtf8(unzipMember(path, QStringLiteral("xl/sharedStrings.xml")));
    const QString sheet = QString::fromUtf8(unzipMember(path, QStringLiteral("xl/worksheets/sheet1.xml")));
    QStringList strings;
    static const QRegularExpression si(QStringLiteral("<si><t[^>]*>(.*?)</t></si>"),
                                       QRegularExpression::DotMatchesEverythingOption);
    for (auto it = si.globalMatch(shared); it.hasNext();)
        strings.append(it.next().captured(1).replace(QStringLiteral("&amp;"), QStringLiteral("&")));
    // A text cell refers to the shared strings or holds its text inline.
    static const QRegularExpression cell(
        QStringLiteral("<c r=\"([A-Z]+[0-9]+)\"([^>]*)>(?:<v>([^<]*)</v>|<is><t[^>]*>(.*?)</t></is>)?</c>"),
        QRegularExpression::DotMatchesEverythingOption);
    for (auto it = cell.globalMatch(sheet); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(2).contains(QStringLiteral("t=\"s\"")))
            out.text.insert(m.captured(1), strings.value(m.captured(3).toInt()));
        else if (m.captured(2).contains(QStringLiteral("t=\"inlineStr\"")))
            out.text.insert(m.captured(1), m.captured(4).replace(QStringLiteral("&amp;"), QStringLiteral("&")));
        else if (!m.captured(3).isEmpty())
            out.numbers.insert(m.captured(1), m.captured(3));
    }
    return out;
}

inline QString pdfText(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {};
    static const QRegularExpression space(QStringLiteral("[\\s\u3000]+"));
    QString text = QString::fromUtf8(p.readAllStandardOutput()).normalized(QString::NormalizationForm_KC).remove(space);
    // Text extraction gives some characters as radicals without a
    // compatibility form (⻋ for 车, ⻓ for 长).
    return text.replace(QChar(0x2ECB), QChar(0x8F66)).replace(QChar(0x2ED3), QChar(0x957F));
}

} // namespace cg::test
