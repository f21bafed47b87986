#include "biorhythm.h"

#include <limits>

using namespace Qt::StringLiterals;

namespace cg {

QString BiorhythmCell::dayText() const
{
    return u"%1日"_s.arg(day.day(), 2, 10, QChar(u'0'));
}

bool BiorhythmForecast::anyLow() const
{
    for (const BiorhythmCell &c : cells)
        if (c.low)
            return true;
    return false;
}

QString BioCycleCaption(BioCycle cycle)
{
    switch (cycle) {
    case BioCycle::Intellectual: return u"智力"_s;
    case BioCycle::Emotional: return u"情绪"_s;
    case BioCycle::Physical: return u"体力"_s;
    }
    return {};
}

BiorhythmForecast ComputeBiorhythm(const QDate &birthDate, const QDate &startDay, int days)
{
    BiorhythmForecast f;
    if (days < 1) {
        f.valid = true;
        return f;
    }
    if (!birthDate.isValid() || !startDay.isValid()) {
        f.error = u"出生日期无效，无法计算生物节律"_s;
        return f;
    }
    for (int i = 0; i < days; ++i) {
        const QDate day = startDay.addDays(i);
        const qint64 t = birthDate.daysTo(day);
        if (t < std::numeric_limits<qint16>::min() || t > std::numeric_limits<qint16>::max()) {
            f.cells.clear();
            f.error = u"出生日期到 %1 相隔 %2 天，超出生物节律的计算范围"_s
                          .arg(day.toString(u"yyyy-MM-dd"_s))
                          .arg(t);
            return f;
        }
        f.cells.append({day, BioCycle::Intellectual, t % 33 >= 17});
        f.cells.append({day, BioCycle::Emotional, t % 28 >= 15});
        f.cells.append({day, BioCycle::Physical, t % 23 >= 12});
    }
    f.valid = true;
    return f;
}

} // namespace cg
