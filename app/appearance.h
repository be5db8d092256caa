#pragma once
// The small pictures of the main window; its colours are the program's
// palette (palette.h).

#include "palette.h"

#include <QPixmap>

namespace look {

// The 37 x 37 picture beside the send button, drawn here rather than
// shipped as an image file.
QPixmap statusPicture();

// The program's own light look for the whole application (palette.h):
// whatever the desktop's theme, light or dark, every text stays dark on the
// program's light backgrounds. Call once, before the first window is built.
void UseOwnLook();

} // namespace look
