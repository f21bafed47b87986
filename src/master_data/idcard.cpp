#include "idcard.h"

namespace cg {

namespace {
bool allDigits(QStringView s)
{
    for (QChar c : s)
        if (c < u'0' || c > u'9')
            return false;
    return !s.isEmpty();
}
} // namespace

QDate BirthDateFromIdNumber(const QString &idNumber)
{
    QStringView year, month, day;
    int century = 0;
    if (idNumber.size() == 15) {
        // First-generation cards: two-digit years, all of the 1900s.
        year = QStringView(idNumber).mid(6, 2);
        month = QStringView(idNumber).mid(8, 2);
        day = QStringView(idNumber).mid(10, 2);
        century = 1900;
    } else if (idNumber.size() == 18) {
        year = QStringView(idNumber).mid(6, 4);
        month = QStringView(idNumber).mid(10, 2);
        day = QStringView(idNumber).mid(12, 2);
    } else {
        return {};
    }
    if (!allDigits(year) || !allDigits(month) || !allDigits(day))
        return {};
    // QDate says whether the day exists (month 13, 02-30 and the like do not).
    return QDate(century + year.toInt(), month.toInt(), day.toInt());
}

} // namespace cg
