#include "artwork.h"

#include <QPainter>

namespace art {

namespace {

QPainterPath bubble(const QRectF& r, const QPointF& tail)
{
    QPainterPath path;
    path.addRoundedRect(r, 10, 10);
    QPainterPath t;
    const double mid = r.center().x();
    t.moveTo(mid - 6, r.bottom() - 2);
    t.lineTo(tail);
    t.lineTo(mid + 4, r.bottom() - 2);
    t.closeSubpath();
    return path.united(t).simplified();
}

QPainterPath dot(const QPointF& centre, double radius)
{
    QPainterPath p;
    p.addEllipse(centre, radius, radius);
    return p;
}

QString svgPath(const QPainterPath& path)
{
    QString d;
    auto num = [](double v) { return QString::number(v, 'f', 2); };
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo()) {
            d += QStringLiteral("M%1 %2 ").arg(num(e.x), num(e.y));
        } else if (e.isLineTo()) {
            d += QStringLiteral("L%1 %2 ").arg(num(e.x), num(e.y));
        } else if (e.isCurveTo()) {
            const QPainterPath::Element c2 = path.elementAt(i + 1);
            const QPainterPath::Element to = path.elementAt(i + 2);
            d += QStringLiteral("C%1 %2 %3 %4 %5 %6 ")
                     .arg(num(e.x), num(e.y), num(c2.x), num(c2.y), num(to.x), num(to.y));
            i += 2;
        }
    }
    return d + QLatin1Char('Z');
}

} // namespace

std::vector<Shape> bubbles(bool unread)
{
    std::vector<Shape> shapes;
    shapes.push_back({bubble(QRectF(3, 4, 40, 28), QPointF(12, 42)), QColor(255, 190, 210), QColor(200, 60, 110), 2});
    shapes.push_back({bubble(QRectF(21, 22, 40, 28), QPointF(52, 60)), QColor(160, 235, 255), QColor(20, 120, 170), 2});
    // dots of talk in the front bubble
    for (int i = 0; i < 3; ++i)
        shapes.push_back({dot(QPointF(31 + 10 * i, 36), 3), QColor(20, 120, 170), Qt::transparent, 0});
    if (unread)
        shapes.push_back({dot(QPointF(52, 12), 11), QColor(230, 30, 40), Qt::white, 3});
    return shapes;
}

QImage bubblesImage(int size, bool unread)
{
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    for (const Shape& s : bubbles(unread)) {
        p.setPen(s.line.alpha() ? QPen(s.line, s.lineWidth) : QPen(Qt::NoPen));
        p.setBrush(s.fill);
        p.drawPath(s.path);
    }
    return img;
}

QString bubblesSvg(bool unread)
{
    QString svg = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" "
                                 "viewBox=\"0 0 64 64\">\n");
    for (const Shape& s : bubbles(unread)) {
        svg += QStringLiteral("  <path d=\"%1\" fill=\"%2\"").arg(svgPath(s.path), s.fill.name());
        if (s.line.alpha())
            svg += QStringLiteral(" stroke=\"%1\" stroke-width=\"%2\"").arg(s.line.name()).arg(s.lineWidth);
        svg += QStringLiteral("/>\n");
    }
    return svg + QStringLiteral("</svg>\n");
}

} // namespace art
