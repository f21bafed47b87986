#pragma once

#include "core/apperror.h"

#include <QString>

namespace cg {

// A failure reported by the station data service. The description is for
// the operator, in Chinese, and says what went wrong and where.
class ServiceError : public AppError {
public:
    using AppError::AppError;
};

// Operations that answer with a text (a trip code, "True", a refusal) mark
// a refusal with a leading "#", so that no caller mistakes it for a trip
// code or a success; the operator reads the text after the mark. Operations
// that answer "" on success return the refusal's text without the mark.
inline constexpr QChar RefusalMark = u'#';
inline QString Refusal(const QString &why) { return QString(RefusalMark) + why; }
inline bool IsRefusal(const QString &answer) { return answer.startsWith(RefusalMark); }
inline QString RefusalText(const QString &answer) { return IsRefusal(answer) ? answer.mid(1) : answer; }

namespace svcerr {
constexpr int Unreachable = 10001;      // database cannot be reached / connection lost
constexpr int Constraint = 10002;       // a constraint of the database was broken
constexpr int NotFound = 10003;         // the record asked for does not exist
constexpr int BadFragment = 10004;      // a filter fragment or ORDER BY text was refused
constexpr int BadArgument = 10005;      // an argument the operation cannot use
constexpr int SchemaTooNew = 10006;     // the database was written by a newer program
constexpr int SchemaMissing = 10007;    // the database has not been initialised
constexpr int Sql = 10008;              // any other database failure
constexpr int Config = 10009;           // database configuration unusable
}

// The error of an operation that refuses what it was asked (BadArgument),
// with the reason for the operator.
inline ServiceError ArgumentRefused(const QString &why) { return ServiceError(svcerr::BadArgument, why); }

} // namespace cg
