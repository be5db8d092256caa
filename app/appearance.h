#pragma once
// The small pictures of the main window; its colours are the program's
// palette (palette.h).

#include "palette.h"

#include <QPixmap>

namespace look {

// The 37 x 37 picture beside the send button, drawn here rather than
// shipped as an image file.
QPixmap statusPicture();

} // namespace look
