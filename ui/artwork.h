#pragma once
// The program's picture, two overlapping speech bubbles, drawn from paths so
// that every size (window icon, tray, installed icons, the scalable icon) is
// the same artwork. The unread variant adds a red dot at the top right.

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QString>

#include <vector>

namespace art {

// One filled and outlined shape on a 64 x 64 canvas.
struct Shape {
    QPainterPath path;
    QColor fill;
    QColor line; // Qt::transparent: no outline
    double lineWidth;
};

std::vector<Shape> bubbles(bool unread = false);

// The shapes painted on a size x size transparent image.
QImage bubblesImage(int size, bool unread = false);

// The shapes as a scalable picture (SVG text).
QString bubblesSvg(bool unread = false);

} // namespace art
