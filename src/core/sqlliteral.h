#pragma once

#include <QString>
#include <QVariant>

namespace cg {

// A value as text for a WHERE fragment: numbers bare, booleans 1/0, dates
// '<FormatDateTime>', texts quoted with each embedded apostrophe passed as
// +"'"+ (O'K -> 'O'+"'"+'K'), the empty text '', Null and anything else "".
// Floating values are plain decimal text (1e20 -> 100000000000000000000);
// NaN and infinity throw AppError (errnum::TypeMismatch). A QDate is taken
// at 00:00:00; an invalid date gives "".
QString SqlLiteral(const QVariant &value);

} // namespace cg
