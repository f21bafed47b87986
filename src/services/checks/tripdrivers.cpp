#include "services/checks/tripdrivers.h"

#include "core/dates.h"

using namespace Qt::StringLiterals;

namespace cg {

MayDriveSql mayDriveCondition(const QString &driver, const QString &vehicle, const QString &route,
                              const QString &day, const QVariantList &driverBinds, const QVariantList &vehicleBinds,
                              const QVariantList &routeBinds, const QVariantList &dayBinds)
{
    MayDriveSql out;
    // The aliases are the rule's own (md…), so that the caller's column
    // expressions (t.bus_date, d.driver_id) never resolve inside it.
    // Each placeholder's values are repeated where the expression is.
    QVariantList &b = out.binds;
    out.sql = uR"(((EXISTS (SELECT 1 FROM arrangements mda WHERE mda.license_id = %2 AND mda.driver_id = %1
      AND mda.start_date <= %4 AND mda.end_date >= %4
      AND NOT EXISTS (SELECT 1 FROM substitutions mds WHERE mds.license_id = mda.license_id
        AND mds.driver_id = mda.driver_id AND mds.arrangement_start = mda.start_date
        AND mds.start_date <= %4 AND mds.end_date >= %4)))
  OR EXISTS (SELECT 1 FROM substitutions mds JOIN arrangements mdsa ON mdsa.license_id = mds.license_id
      AND mdsa.driver_id = mds.driver_id AND mdsa.start_date = mds.arrangement_start
    WHERE mds.license_id = %2 AND mds.substitute_id = %1 AND mds.start_date <= %4 AND mds.end_date >= %4
      AND mdsa.start_date <= %4 AND mdsa.end_date >= %4)
  OR EXISTS (SELECT 1 FROM temporary_drivers mdt WHERE mdt.route_id = %3 AND mdt.driver_id = %1
      AND mdt.start_date <= %4 AND mdt.end_date >= %4)))"_s.arg(driver, vehicle, route, day);
    // Placeholder order as written: arrangement (vehicle, driver, day, day,
    // day, day), substitution (vehicle, driver, day, day, day, day), lending
    // (route, driver, day, day).
    const auto add = [&b](const QVariantList &v) { b += v; };
    add(vehicleBinds); add(driverBinds); add(dayBinds); add(dayBinds); add(dayBinds); add(dayBinds);
    add(vehicleBinds); add(driverBinds); add(dayBinds); add(dayBinds); add(dayBinds); add(dayBinds);
    add(routeBinds); add(driverBinds); add(dayBinds); add(dayBinds);
    return out;
}

QString driverOnTripRefusal(const QString &busId, const QString &driverNo, const QDateTime &busDate,
                            const QString &noDriver)
{
    if (busId.isEmpty())
        return u"没有选择车次，请重新选择！"_s;
    if (driverNo.isEmpty())
        return noDriver;
    if (!busDate.isValid() || IsNoDate(busDate))
        return u"车次日期无效，请重新选择车次！"_s;
    return QString();
}

} // namespace cg
