#pragma once

// A station for the master-data and scheduling screens: the check-in
// station (operator, vehicles V1/V2, drivers D01-D03, trips of the fixture
// day) plus the code lists, companies and a few more drivers, vehicle
// natures, owners, models and two more vehicles, with the clock at noon and
// the simulated reader.

#include "../driver_check/checkin_station.h"

#include "stationui/picklist.h"

#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>

namespace cg::test {

struct MasterDataStation : CheckinStation {
    SimulatedFingerReader reader{11};

    MasterDataStation()
    {
        clock.set(QDateTime(fixtureDay(), QTime(12, 0)));
        db.exec(QStringLiteral("INSERT INTO code_items (kind, name) VALUES (3, 'A1'), (3, 'B1'), (4, '正常'), "
                               "(4, '机动')"));
        db.exec(QStringLiteral("INSERT INTO companies (company_code, company_name) VALUES ('C01', '天河运输'), "
                               "('C02', '白云运输')"));
        db.exec(QStringLiteral("INSERT INTO drivers (driver_id, driver_name, sex, route_id) VALUES "
                               "('D04', '赵六', '男', 'R01'), ('D05', '钱七', '女', 'R01')"));
        seedVehicles();
        env.dataDir = QStringLiteral("/data");
        env.photoDir = dir.filePath(QStringLiteral("photos"));
        env.scratchDir = dir.filePath(QStringLiteral("scratch"));
        attachReader(reader);
    }

    // Vehicle natures (list 5), owners, models, and four vehicles: V1 and V2
    // of the check-in fixture (V1 arranged to D01 today) described in full,
    // V3 a temporary vehicle, V4 off duty. V2 failed its last condition check.
    void seedVehicles()
    {
        db.exec(QStringLiteral("INSERT INTO code_items (kind, name) VALUES (5, '班车'), (5, '旅游'), (5, '临时')"));
        db.exec(QStringLiteral("INSERT INTO owners (owner_code, owner_name, company_code) VALUES "
                               "('O01', '陈生', 'C01'), ('O02', '林生', 'C01'), ('O09', '黄生', 'C02')"));
        db.exec(QStringLiteral("INSERT INTO vehicle_models (model_code, model_name, first_seat_figure, "
                               "second_seat_figure) VALUES ('M45', '宇通45座', 45, 1), ('M00', '未定', 0, 0)"));
        db.exec(QStringLiteral("UPDATE vehicles SET company_name = 'C01[天河运输]', owner = 'O01[陈生]', "
                               "model_id = 'M45[宇通45座]', seat_weight_num = 45, service_kind = '班车', "
                               "driver_num = 2, is_cond = 1"));
        db.exec(QStringLiteral("INSERT INTO vehicles (license_id, license, ic_card_id, company_name, owner, "
                               "model_id, service_kind, status) VALUES "
                               "('V3', '粤A10003', '', 'C02[白云运输]', 'O09', 'M45', '临时', 0), "
                               "('V4', '粤A10004', '0000000004', 'C01', 'O02[林生]', 'M45', '旅游', 1)"));
        const QDateTime eight(fixtureDay(), QTime(8, 0));
        db.exec(QStringLiteral("INSERT INTO condition_checks (station_code, license_id, license, check_date, cond_index, "
                               "cond_status, cond_time, started_at) VALUES ('440100001', 'V2', '粤A10002', ?, 1, 2, ?, ?)"),
                {QDateTime(fixtureDay(), QTime(0, 0)), eight, eight});
    }

    QVariant field(const QString &driver, const QString &column)
    {
        return db.scalar(QStringLiteral("SELECT %1 FROM drivers WHERE driver_id = ?").arg(column), {driver});
    }
};

// Answers the pick-lists in turn: each entry is the code to pick, "" to
// cancel. The entries offered by the last list are kept.
struct PickAnswers {
    explicit PickAnswers(QStringList codes) : queue(std::move(codes))
    {
        SetPickListRunner([this](PickListDialog &dialog) {
            offered.clear();
            for (int i = 0; i < dialog.lvList->topLevelItemCount(); ++i)
                offered << dialog.lvList->topLevelItem(i)->text(0);
            const QString code = queue.isEmpty() ? QString() : queue.takeFirst();
            if (code.isEmpty()) {
                QTest::keyClick(dialog.txtSearch, Qt::Key_Escape);
            } else {
                dialog.txtSearch->setText(code);
                QTest::keyClick(dialog.txtSearch, Qt::Key_Return);
            }
            return dialog.result();
        });
    }
    ~PickAnswers() { SetPickListRunner({}); }
    QStringList queue;
    QStringList offered;
};

} // namespace cg::test
