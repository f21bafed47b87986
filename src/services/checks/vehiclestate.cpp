#include "services/checks/vehiclestate.h"

#include "services/database/database.h"

using namespace Qt::StringLiterals;

namespace cg {

namespace {
constexpr int kDefaultCondHours = 24;
constexpr int kCondTimeParam = 15;
}

QDateTime conditionValidSince(Database &db, const QDateTime &now)
{
    double hours = kDefaultCondHours;
    const QVariant v = db.scalar(u"SELECT param_value FROM sys_params WHERE param_index = ?"_s, {kCondTimeParam});
    bool ok = false;
    const double stored = v.toString().trimmed().toDouble(&ok);
    if (ok && stored > 0 && stored < 24.0 * 3650)
        hours = stored;
    return now.addSecs(-qint64(hours * 3600.0));
}

QString dateTimeSqlLiteral(const QDateTime &t)
{
    // Digits, dashes, colons and a blank only: safe to write into SQL.
    return u"'"_s + t.toString(u"yyyy-MM-dd HH:mm:ss"_s) + u"'"_s;
}

QString conditionStateSql(const QString &plateExpr, const QString &isCondExpr, const QString &stationExpr,
                          const QDateTime &validSince)
{
    return uR"(CASE WHEN COALESCE(%1, 1) = 0 THEN 3 ELSE COALESCE((SELECT c.cond_status FROM condition_checks c
  WHERE c.station_code = %4 AND c.license = %2 AND c.cancelled = 0 AND c.cond_status IN (1, 2, 5)
  AND c.cond_time >= %3 ORDER BY c.cond_time DESC, c.id DESC LIMIT 1), 0) END)"_s
        .arg(isCondExpr, plateExpr, dateTimeSqlLiteral(validSince), stationExpr);
}

void transactWithIndexRetry(Database &db, const std::function<void()> &fn)
{
    if (db.inTransaction()) {
        db.transact(fn);
        return;
    }
    constexpr int kAttempts = 8;
    for (int attempt = 1;; ++attempt) {
        try {
            db.transact(fn, Database::TxRetry::OnConflict);
            return;
        } catch (const TxConflictError &) {
            if (attempt >= kAttempts)
                throw;
        } catch (const ServiceError &e) {
            if (e.number() != svcerr::Constraint || attempt >= kAttempts)
                throw;
        }
    }
}

bool undoNewestCheck(Database &db, const QString &table, const QString &numberColumn, const QString &pick,
                     const QVariantList &binds)
{
    const QString newest = u"SELECT id FROM %1 WHERE %2 AND cancelled = 0 ORDER BY %3 DESC LIMIT 1"_s;
    const QVariant id = db.scalar(newest.arg(table, pick, numberColumn), binds);
    if (!id.isValid() || id.isNull())
        return false;
    return !db.select(u"UPDATE %1 SET cancelled = 1 WHERE id = ? AND cancelled = 0 RETURNING id"_s.arg(table), {id})
                .isEmpty();
}

void requireForcedPass(const QString &check, int kind, int expected, const QString &operatorName)
{
    if (kind != expected)
        throw ServiceError(svcerr::BadArgument, u"%1的强行通过类型应为%2，收到%3"_s.arg(check).arg(expected).arg(kind));
    if (operatorName.trimmed().isEmpty())
        throw ServiceError(svcerr::BadArgument, u"强行通过需要操作员姓名"_s);
}

} // namespace cg
