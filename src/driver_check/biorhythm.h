#pragma once

#include <QDate>
#include <QList>
#include <QString>

namespace cg {

// The three biorhythm cycles, in the order their cells come for each day.
enum class BioCycle { Intellectual, Emotional, Physical };

// One cell of the forecast: a day, a cycle, and whether the day lies in the
// cycle's low period.
struct BiorhythmCell {
    QDate day;
    BioCycle cycle = BioCycle::Intellectual;
    bool low = false;
    QString dayText() const;   // day of month, two digits, then 日 ("05日")
};

struct BiorhythmForecast {
    // False when nothing could be computed: an invalid birth date or start
    // day, or a day count outside the signed 16-bit range the forecast is
    // defined for (error then says which).
    bool valid = false;
    QString error;
    // 3 cells per day: intellectual, emotional, physical of day 1, then day 2 ...
    QList<BiorhythmCell> cells;

    bool anyLow() const;
};

// Cycle lengths: intellectual 33 days, emotional 28, physical 23. With t the
// signed number of days from the birth date to the day, the day is low when
// t mod 33 >= 17, t mod 28 >= 15, t mod 23 >= 12 (remainder with the sign of
// t, so days before the birth date are never low). days < 1 gives a valid,
// empty forecast.
BiorhythmForecast ComputeBiorhythm(const QDate &birthDate, const QDate &startDay, int days);

// The cycle's caption: 智力, 情绪, 体力.
QString BioCycleCaption(BioCycle cycle);

} // namespace cg
