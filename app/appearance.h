#pragma once
// The small pictures of the main window; its colours are the program's
// palette (palette.h).

#include "chatview.h"
#include "palette.h"

#include <QPixmap>

class QWidget;

namespace look {

// The 37 x 37 picture beside the send button, drawn here rather than
// shipped as an image file. With a group, a padlock in its lower right
// corner tells how one's own talk travels: shut (green) when encrypted,
// open (amber) when in the clear.
QPixmap statusPicture(TOwnLink own = TOwnLink::None);

// A padlock filling r: shut, or open with its shackle's left leg out of
// the body; outlined in line, the body filled with fill.
void PaintPadlock(QPainter& p, const QRectF& r, bool shut, const QColor& line, const QColor& fill);

// The roster's mark of a member linked in the clear: a small open padlock
// drawn in its palette's text colour, so it reads on light and dark
// backgrounds alike.
QWidget* NewPlainMark(QWidget* parent);

// The program's own light look for the whole application (palette.h):
// whatever the desktop's theme, light or dark, every text stays dark on the
// program's light backgrounds. Call once, before the first window is built.
void UseOwnLook();

} // namespace look
