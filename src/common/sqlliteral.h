#pragma once

#include <QString>
#include <QVariant>

namespace cg {

// A value as text for a WHERE fragment: numbers bare, booleans 1/0, dates
// '<FormatDateTime>', texts quoted with each embedded apostrophe passed as
// +"'"+ (O'K -> 'O'+"'"+'K'), the empty text '', Null and anything else "".
QString SqlLiteral(const QVariant &value);

} // namespace cg
