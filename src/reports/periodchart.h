#pragma once

#include <QDate>
#include <QList>
#include <QWidget>

namespace cg {

class RecordSet;

// The figures of one day of the period.
struct DayFigures {
    QDate day;
    int passed = 0;
    int failed = 0;
    int forced = 0;
    int departures = 0;
};

// The period at a glance: per day, the condition checks passed, failed and
// passed by force as stacked bars, and the trips that left as a line.
// Drawn with QPainter; empty until figures are given.
class PeriodChart : public QWidget {
    Q_OBJECT
public:
    explicit PeriodChart(QWidget *parent = nullptr);

    // From the records of ReportService::QueryDailyStatistics.
    static QList<DayFigures> FiguresOf(const RecordSet &daily);
    void setFigures(const QList<DayFigures> &figures);
    const QList<DayFigures> &figures() const { return m_figures; }
    void clear() { setFigures({}); }

    // The bar colours and the line colour (the legend's too).
    static QColor passColor();
    static QColor failColor();
    static QColor forcedColor();
    static QColor departureColor();

    QSize sizeHint() const override { return {640, 200}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QList<DayFigures> m_figures;
};

} // namespace cg
