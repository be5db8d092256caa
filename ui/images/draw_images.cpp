// Draws the program's pictures into this folder. Not part of the build; run
// once after changing the artwork:
//   g++ -std=c++17 -fPIC -I.. draw_images.cpp ../artwork.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/draw &&
//   /tmp/draw .
// The program's bubble picture itself is in ../artwork.cpp.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include "artwork.h"

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

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    bool ok = face().save(dir + "/face37.png");
    ok = art::bubblesImage(63).save(dir + "/pelmora63.png") && ok;
    ok = art::bubblesImage(32).save(dir + "/pelmora32.png") && ok;
    return ok ? 0 : 1;
}
