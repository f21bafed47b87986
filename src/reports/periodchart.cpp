#include "periodchart.h"

#include "core/recordset.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

// A round step for the value axis: 1, 2, 5 times a power of ten, so that
// about four grid lines cover the highest value.
int axisStep(int highest)
{
    const double raw = qMax(1.0, highest / 4.0);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= raw)
            return qMax(1, int(m * power));
    return qMax(1, int(10 * power));
}

} // namespace

PeriodChart::PeriodChart(QWidget *parent) : QWidget(parent)
{
    setObjectName(u"chtPeriod"_s);
    setMinimumHeight(160);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
}

QColor PeriodChart::passColor() { return QColor(0x3C, 0xB3, 0x71); }
QColor PeriodChart::failColor() { return QColor(0xD9, 0x3F, 0x3F); }
QColor PeriodChart::forcedColor() { return QColor(0xF0, 0xA0, 0x30); }
QColor PeriodChart::departureColor() { return QColor(0x2F, 0x5F, 0xB0); }

QList<DayFigures> PeriodChart::FiguresOf(const RecordSet &daily)
{
    QList<DayFigures> out;
    for (int r = 0; r < daily.RecordCount(); ++r)
        out.append({daily.valueAt(r, u"stat_date"_s).toDateTime().date(), daily.valueAt(r, u"pass_count"_s).toInt(),
                    daily.valueAt(r, u"fail_count"_s).toInt(), daily.valueAt(r, u"forced_count"_s).toInt(),
                    daily.valueAt(r, u"departure_count"_s).toInt()});
    return out;
}

void PeriodChart::setFigures(const QList<DayFigures> &figures)
{
    m_figures = figures;
    update();
}

void PeriodChart::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics fm(font());
    const int lineH = fm.height();

    // Legend along the top.
    const struct { QString text; QColor color; bool line; } legend[] = {
        {u"合格"_s, passColor(), false},
        {u"不合格"_s, failColor(), false},
        {u"强制放行"_s, forcedColor(), false},
        {u"出站车次"_s, departureColor(), true},
    };
    int x = 48;
    const int legendY = 6;
    for (const auto &item : legend) {
        if (item.line) {
            p.setPen(QPen(item.color, 2));
            p.drawLine(x, legendY + lineH / 2, x + 16, legendY + lineH / 2);
            p.setBrush(item.color);
            p.drawEllipse(QPointF(x + 8, legendY + lineH / 2.0), 3, 3);
        } else {
            p.setPen(Qt::NoPen);
            p.setBrush(item.color);
            p.drawRect(x, legendY + 2, 16, lineH - 4);
        }
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(x + 20, legendY + fm.ascent(), item.text);
        x += 28 + fm.horizontalAdvance(item.text);
    }

    const QRect plot(48, legendY + lineH + 10, width() - 48 - 16, height() - (legendY + lineH + 10) - lineH - 10);
    if (plot.width() < 20 || plot.height() < 20)
        return;
    if (m_figures.isEmpty()) {
        p.setPen(Qt::gray);
        p.drawText(plot, Qt::AlignCenter, u"查询后显示本期每日的车况例检和出站车次"_s);
        return;
    }

    int highest = 1;
    for (const DayFigures &d : m_figures)
        highest = qMax(highest, qMax(d.passed + d.failed + d.forced, d.departures));
    const int step = axisStep(highest);
    const int top = ((highest + step - 1) / step) * step;
    const auto yOf = [&](double v) { return plot.bottom() - v * plot.height() / top; };

    // Value axis with its grid lines.
    p.setPen(QColor(0xE0, 0xE0, 0xE0));
    for (int v = 0; v <= top; v += step) {
        const int y = int(yOf(v));
        p.setPen(QColor(0xE0, 0xE0, 0xE0));
        p.drawLine(plot.left(), y, plot.right(), y);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(QRect(0, y - lineH / 2, plot.left() - 6, lineH), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(v));
    }

    const int n = int(m_figures.size());
    const double slot = double(plot.width()) / n;
    const double barW = qMax(1.0, slot * 0.6);
    // Day labels: as many as fit without overlapping.
    const int labelW = fm.horizontalAdvance(u"00-00"_s) + 6;
    const int every = qMax(1, int(std::ceil(labelW / slot)));
    QPainterPath departures;
    for (int i = 0; i < n; ++i) {
        const DayFigures &d = m_figures.at(i);
        const double cx = plot.left() + slot * (i + 0.5);
        double base = 0;
        for (const auto &[value, color] : {std::pair{d.passed, passColor()}, std::pair{d.failed, failColor()},
                                           std::pair{d.forced, forcedColor()}}) {
            if (value <= 0)
                continue;
            const QRectF bar(cx - barW / 2, yOf(base + value), barW, yOf(base) - yOf(base + value));
            p.fillRect(bar, color);
            base += value;
        }
        const QPointF point(cx, yOf(d.departures));
        if (i == 0)
            departures.moveTo(point);
        else
            departures.lineTo(point);
        if (i % every == 0) {
            p.setPen(palette().color(QPalette::WindowText));
            p.drawText(QRectF(cx - labelW / 2.0, plot.bottom() + 4, labelW, lineH), Qt::AlignCenter,
                       d.day.toString(u"MM-dd"_s));
        }
    }
    p.setPen(QPen(departureColor(), 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(departures);
    p.setBrush(departureColor());
    if (slot >= 6)
        for (int i = 0; i < n; ++i)
            p.drawEllipse(QPointF(plot.left() + slot * (i + 0.5), yOf(m_figures.at(i).departures)), 2.5, 2.5);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawLine(plot.bottomLeft(), plot.bottomRight());
}

} // namespace cg
