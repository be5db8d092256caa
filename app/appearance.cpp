#include "appearance.h"

#include <QApplication>
#include <QPainter>
#include <QToolTip>
#include <QPainterPath>
#include <QWidget>

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

// The amber of a link in the clear and the green of an encrypted one; each
// holds against black outlines and against light and dark backgrounds.
const QColor kPlainFill{235, 160, 0};
const QColor kShutFill{46, 139, 87};

class TPlainMark : public QWidget {
public:
    explicit TPlainMark(QWidget* parent) : QWidget(parent) { setFixedSize(13, 13); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        PaintPadlock(p, QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), false, palette().color(foregroundRole()),
                     kPlainFill);
    }
};

} // namespace

void PaintPadlock(QPainter& p, const QRectF& r, bool shut, const QColor& line, const QColor& fill)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = r.width(), h = r.height();
    const qreal pen = qMax<qreal>(1.0, w / 9);
    // Open, the body sits on the right and the shackle has swung out to
    // the left, one leg still in the body: told apart by shape, not colour.
    const qreal bw = shut ? w : w * 0.75;
    const QRectF body(r.right() - bw, r.y() + h * 0.45, bw, h * 0.55);
    const qreal sw = bw * 0.6, top = r.y() + pen / 2;
    const qreal left = shut ? body.x() + (bw - sw) / 2 : body.center().x() - sw;
    QPainterPath shackle;
    shackle.moveTo(left, body.top() - (shut ? 0 : h * 0.12));
    shackle.lineTo(left, top + sw / 2);
    shackle.arcTo(QRectF(left, top, sw, sw), 180, -180);
    shackle.lineTo(left + sw, body.top());
    p.setPen(QPen(line, pen, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shackle);
    p.setPen(QPen(line, pen));
    p.setBrush(fill);
    p.drawRoundedRect(body, pen, pen);
    p.restore();
}

QPixmap statusPicture(TOwnLink own)
{
    QPixmap pm(37, 37);
    pm.fill(kPanel);
    QPainter p(&pm);
    paintBubbles(p, QRectF(1, 1, 35, 35));
    if (own != TOwnLink::None) {
        const bool shut = own == TOwnLink::Encrypted;
        PaintPadlock(p, shut ? QRectF(23, 19, 13, 17) : QRectF(19, 19, 17, 17), shut, kText,
                     shut ? kShutFill : kPlainFill);
    }
    return pm;
}

QWidget* NewPlainMark(QWidget* parent)
{
    return new TPlainMark(parent);
}

void UseOwnLook()
{
    const QPalette own = ProgramPalette();
    QApplication::setPalette(own);
    QToolTip::setPalette(own);
}

} // namespace look
