#include "appearance.h"

#include <QApplication>
#include <QPainter>
#include <QToolTip>
#include <QPainterPath>

namespace look {

namespace {

// Two overlapping speech bubbles: a chat between friends.
void paintBubbles(QPainter& p, const QRectF& r)
{
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = r.width(), h = r.height();
    auto bubble = [&](QRectF box, QPointF tail, QColor fill) {
        QPainterPath path;
        path.addRoundedRect(box, box.height() * 0.35, box.height() * 0.35);
        QPainterPath t;
        t.moveTo(box.center().x() - box.width() * 0.15, box.bottom() - 1);
        t.lineTo(tail);
        t.lineTo(box.center().x() + box.width() * 0.05, box.bottom() - 1);
        t.closeSubpath();
        path = path.united(t);
        p.setPen(QPen(QColor(40, 90, 120), qMax<qreal>(1.0, w / 24)));
        p.setBrush(fill);
        p.drawPath(path);
    };
    bubble(QRectF(r.x() + w * 0.05, r.y() + h * 0.08, w * 0.62, h * 0.45), QPointF(r.x() + w * 0.18, r.y() + h * 0.66),
           QColor(255, 236, 150));
    bubble(QRectF(r.x() + w * 0.33, r.y() + h * 0.38, w * 0.62, h * 0.42), QPointF(r.x() + w * 0.82, r.y() + h * 0.95),
           QColor(255, 190, 210));
}

} // namespace

QPixmap statusPicture()
{
    QPixmap pm(37, 37);
    pm.fill(kPanel);
    QPainter p(&pm);
    paintBubbles(p, QRectF(1, 1, 35, 35));
    return pm;
}

void UseOwnLook()
{
    const QPalette own = ProgramPalette();
    QApplication::setPalette(own);
    QToolTip::setPalette(own);
}

} // namespace look
