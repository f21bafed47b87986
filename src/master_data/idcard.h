#pragma once

#include <QDate>
#include <QString>

namespace cg {

// The birth date an ID-card number carries: characters 7-14 (yyyyMMdd) of
// an 18-character number, characters 7-12 (yyMMdd, a birth year of the
// 1900s) of a 15-character one. Any other length, non-digits in the date
// part or a date that does not exist give an invalid date. The text is
// used as given (the caller trims it).
QDate BirthDateFromIdNumber(const QString &idNumber);

} // namespace cg
