#pragma once
// Colours, fonts and the small pictures of the main window.

#include <QColor>
#include <QPixmap>

namespace look {

inline const QColor kWindow{193, 255, 255};
inline const QColor kPanel{181, 255, 255};
inline const QColor kButtonFace{240, 240, 240};

// The 37 x 37 picture beside the send button, drawn here rather than
// shipped as an image file.
QPixmap StatusPicture();

} // namespace look
