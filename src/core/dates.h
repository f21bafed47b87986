#pragma once

#include <QDateTime>
#include <QString>

namespace cg {

// The zero date (1899-12-30) and the no-date value (1900-01-01 00:00:00)
// that stands for a missing date in arguments and results.
QDateTime ZeroDate();
QDateTime NoDate();
bool IsNoDate(const QDateTime &d); // same calendar day as 1900-01-01

// True when the date's day is the zero date 1899-12-30 (or the value is
// null/invalid, which is how an unset date arrives).
bool IsEmptyDate(const QDateTime &d);
// "1900-01-01" for an empty date, else "yyyy-MM-dd".
QString FormatDateOrDefault(const QDateTime &d);
// "yyyy-MM-dd HH:mm:ss", 24-hour clock; "" for an invalid value.
QString FormatDateTime(const QDateTime &d);
// The day of d as days are stored and compared: its date at 00:00:00; an
// invalid value stays invalid.
QDateTime DayOf(const QDateTime &d);
// The first and last day of the date's month at 00:00:00; an invalid value
// stays invalid.
QDateTime FirstDayOfMonth(const QDateTime &d);
QDateTime LastDayOfMonth(const QDateTime &d);

// Reads a date-time text in the forms the screens write ("yyyy-MM-dd
// HH:mm:ss", "yyyy-MM-dd HH:mm", "yyyy-MM-dd", "yyyy年MM月dd日 HH:mm",
// "yyyy年MM月dd日", ISO "T" form). Invalid QDateTime when unreadable.
QDateTime ParseDateTime(const QString &text);

// Makes local-time conversions cheap for the whole process. With TZ unset
// the C library looks at the zone file again on every conversion (a file
// system call per date read from the database); naming the system zone in
// TZ lets it read the file once. Leaves a TZ that is set, and a zone it
// cannot name, alone. Call first thing in main(), before any thread starts.
void PinLocalTimeZone();

} // namespace cg
