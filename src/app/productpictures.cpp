#include "productpictures.h"

#include <QPainter>
#include <QPainterPath>

namespace cg {

namespace {

void drawSheet(QPainter &p, const QRectF &r)
{
    // A page with a folded corner.
    const qreal fold = r.width() * 0.3;
    QPainterPath page;
    page.moveTo(r.left(), r.top());
    page.lineTo(r.right() - fold, r.top());
    page.lineTo(r.right(), r.top() + fold);
    page.lineTo(r.right(), r.bottom());
    page.lineTo(r.left(), r.bottom());
    page.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.drawLine(QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold));
    p.drawLine(QPointF(r.right() - fold, r.top() + fold), QPointF(r.right(), r.top() + fold));
    for (int i = 1; i <= 3; ++i) {
        const qreal y = r.top() + fold + i * (r.height() - fold) / 4.5;
        p.drawLine(QPointF(r.left() + 3, y), QPointF(r.right() - 3, y));
    }
}

void drawArrow(QPainter &p, QPointF from, QPointF to, const QColor &colour)
{
    QPen pen(colour, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.drawLine(from, to);
    QLineF line(to, from);
    const qreal head = 5.0;
    QLineF a = line;
    a.setLength(head);
    a.setAngle(line.angle() + 35);
    QLineF b = line;
    b.setLength(head);
    b.setAngle(line.angle() - 35);
    p.drawLine(a);
    p.drawLine(b);
}

void drawIcon(QPainter &p, const QString &tag, const QRectF &r)
{
    const QColor ink(0x2b, 0x4a, 0x78);
    const QColor accent(0x1e, 0x8c, 0x3a);
    const QColor red(0xc0, 0x30, 0x30);
    p.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const qreal x = r.left(), y = r.top(), w = r.width(), h = r.height();

    if (tag == u"home_") {
        QPolygonF roof({QPointF(x + w * 0.5, y + 1), QPointF(x + w - 1, y + h * 0.48), QPointF(x + 1, y + h * 0.48)});
        p.setBrush(QColor(0xd9, 0x5b, 0x43));
        p.drawPolygon(roof);
        p.setBrush(QColor(0xf3, 0xe6, 0xc8));
        p.drawRect(QRectF(x + w * 0.18, y + h * 0.48, w * 0.64, h * 0.5));
        p.setBrush(ink);
        p.drawRect(QRectF(x + w * 0.42, y + h * 0.66, w * 0.16, h * 0.32));
    } else if (tag == u"go_back_") {
        p.setBrush(QColor(0xdd, 0xe8, 0xf6));
        p.drawRoundedRect(QRectF(x + w * 0.3, y + 2, w * 0.68, h * 0.62), 2, 2);
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(x + 1, y + h * 0.36, w * 0.68, h * 0.62), 2, 2);
        drawArrow(p, QPointF(x + w * 0.56, y + h * 0.67), QPointF(x + w * 0.14, y + h * 0.67), accent);
    } else if (tag == u"close_") {
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(x + 1, y + 2, w - 2, h - 4), 2, 2);
        p.setBrush(ink);
        p.drawRect(QRectF(x + 1, y + 2, w - 2, h * 0.18));
        p.setPen(QPen(red, 2.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(x + w * 0.3, y + h * 0.42), QPointF(x + w * 0.7, y + h * 0.82));
        p.drawLine(QPointF(x + w * 0.7, y + h * 0.42), QPointF(x + w * 0.3, y + h * 0.82));
    } else if (tag == u"export_") {
        drawSheet(p, QRectF(x + 1, y + 1, w * 0.62, h - 2));
        drawArrow(p, QPointF(x + w * 0.42, y + h * 0.62), QPointF(x + w - 1, y + h * 0.62), accent);
    } else if (tag == u"exportopen_") {
        QPainterPath folder;
        folder.moveTo(x + 1, y + h * 0.22);
        folder.lineTo(x + w * 0.38, y + h * 0.22);
        folder.lineTo(x + w * 0.46, y + h * 0.32);
        folder.lineTo(x + w - 1, y + h * 0.32);
        folder.lineTo(x + w - 1, y + h - 2);
        folder.lineTo(x + 1, y + h - 2);
        folder.closeSubpath();
        p.setBrush(QColor(0xf2, 0xc9, 0x4c));
        p.drawPath(folder);
        drawArrow(p, QPointF(x + w * 0.3, y + h * 0.78), QPointF(x + w * 0.72, y + h * 0.48), accent);
    } else if (tag == u"preview_") {
        drawSheet(p, QRectF(x + 1, y + 1, w * 0.66, h - 4));
        p.setPen(QPen(ink, 2.2));
        p.setBrush(QColor(0xdd, 0xee, 0xff, 200));
        p.drawEllipse(QRectF(x + w * 0.44, y + h * 0.42, w * 0.38, h * 0.38));
        p.setPen(QPen(ink, 3.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(x + w * 0.78, y + h * 0.77), QPointF(x + w - 1, y + h - 1));
    } else if (tag == u"print_") {
        p.setBrush(Qt::white);
        p.drawRect(QRectF(x + w * 0.25, y + 1, w * 0.5, h * 0.34));
        p.setBrush(QColor(0x9a, 0xa8, 0xbc));
        p.drawRoundedRect(QRectF(x + 1, y + h * 0.32, w - 2, h * 0.42), 3, 3);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(x + w * 0.25, y + h * 0.6, w * 0.5, h * 0.38));
        p.setBrush(accent);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(x + w * 0.78, y + h * 0.4, 3, 3));
    }
}

} // namespace

QPixmap DrawProductPicture(const QString &tag, const QString &state, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    // A hovered or pressed button: a rounded frame shaded from top to bottom.
    const auto drawFrame = [&](const QColor &top, const QColor &bottom, const QColor &border) {
        const QRectF frame(0.5, 0.5, size - 1, size - 1);
        QLinearGradient g(frame.topLeft(), frame.bottomLeft());
        g.setColorAt(0, top);
        g.setColorAt(1, bottom);
        p.setBrush(g);
        p.setPen(border);
        p.drawRoundedRect(frame, 4, 4);
    };
    if (state == u"Hover")
        drawFrame(QColor(0xff, 0xf6, 0xd5), QColor(0xff, 0xdc, 0x8a), QColor(0xe0, 0xa8, 0x30));
    else if (state == u"Down")
        drawFrame(QColor(0xf0, 0xb8, 0x50), QColor(0xf8, 0xd8, 0x90), QColor(0xb0, 0x78, 0x20));
    const qreal margin = size * 0.16;
    QRectF iconRect(margin, margin, size - 2 * margin, size - 2 * margin);
    if (state == u"Down")
        iconRect.translate(1, 1);
    drawIcon(p, tag, iconRect);
    return pixmap;
}

} // namespace cg

namespace cg {

QPixmap DrawAppIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2b, 0x5c, 0x9e));
    p.drawRoundedRect(QRectF(0.5, 0.5, s - 1, s - 1), s * 0.18, s * 0.18);
    // A barrier arm over a green lamp.
    p.setBrush(Qt::white);
    p.drawRect(QRectF(s * 0.16, s * 0.3, s * 0.1, s * 0.55));
    p.drawRoundedRect(QRectF(s * 0.16, s * 0.3, s * 0.7, s * 0.1), s * 0.04, s * 0.04);
    p.setBrush(QColor(0x3c, 0xd0, 0x5a));
    p.drawEllipse(QRectF(s * 0.5, s * 0.52, s * 0.28, s * 0.28));
    return pixmap;
}

} // namespace cg
