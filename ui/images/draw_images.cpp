// Draws the program's pictures into this folder. Not part of the build; run
// once after changing the artwork:
//   g++ -std=c++17 -fPIC draw_images.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/draw && /tmp/draw .
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace {

// A round, worried face: the picture of the error box and the question.
QImage face()
{
    QImage img(37, 37, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(200, 120, 0), 1.5));
    p.setBrush(QColor(255, 214, 90));
    p.drawEllipse(QRectF(2.5, 3.5, 31, 31));
    // eyebrows raised in the middle, eyes, a wavy mouth
    p.setPen(QPen(QColor(90, 50, 10), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(9, 13), QPointF(15, 11));
    p.drawLine(QPointF(28, 13), QPointF(22, 11));
    p.setBrush(QColor(90, 50, 10));
    p.drawEllipse(QRectF(11, 15.5, 3.5, 4.5));
    p.drawEllipse(QRectF(22.5, 15.5, 3.5, 4.5));
    p.setBrush(Qt::NoBrush);
    QPainterPath mouth(QPointF(11, 27));
    mouth.cubicTo(QPointF(14, 24), QPointF(16, 30), QPointF(18.5, 27));
    mouth.cubicTo(QPointF(21, 24), QPointF(23, 30), QPointF(26, 27));
    p.drawPath(mouth);
    // a drop of sweat
    p.setPen(QPen(QColor(30, 110, 200), 1));
    p.setBrush(QColor(120, 190, 255));
    QPainterPath drop(QPointF(31, 4));
    drop.cubicTo(QPointF(28, 9), QPointF(29, 12), QPointF(31, 12));
    drop.cubicTo(QPointF(33, 12), QPointF(34, 9), QPointF(31, 4));
    p.drawPath(drop);
    return img;
}

// Two overlapping speech bubbles: the program's picture and icon.
QImage bubbles(int size)
{
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    auto bubble = [&p](QRectF r, QPointF tail, QColor fill, QColor line) {
        QPainterPath path;
        path.addRoundedRect(r, 10, 10);
        QPainterPath t;
        const double mid = r.center().x();
        t.moveTo(mid - 6, r.bottom() - 2);
        t.lineTo(tail);
        t.lineTo(mid + 4, r.bottom() - 2);
        t.closeSubpath();
        path = path.united(t);
        p.setPen(QPen(line, 2));
        p.setBrush(fill);
        p.drawPath(path);
    };
    bubble(QRectF(3, 4, 40, 28), QPointF(12, 42), QColor(255, 190, 210), QColor(200, 60, 110));
    bubble(QRectF(21, 22, 40, 28), QPointF(52, 60), QColor(160, 235, 255), QColor(20, 120, 170));
    // dots of talk in the front bubble
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 120, 170));
    for (int i = 0; i < 3; ++i)
        p.drawEllipse(QPointF(31 + 10 * i, 36), 3, 3);
    return img;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    bool ok = face().save(dir + "/face37.png");
    ok = bubbles(63).save(dir + "/pelmora63.png") && ok;
    ok = bubbles(32).save(dir + "/pelmora32.png") && ok;
    return ok ? 0 : 1;
}
