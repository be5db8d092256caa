#pragma once
// Colours, fonts and the small pictures of the main window.

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPixmap>

namespace look {

inline const QColor kWindow{193, 255, 255};
inline const QColor kPanel{181, 255, 255};
inline const QColor kButtonFace{240, 240, 240};

// The proportional Japanese Gothic of the screens: the Windows family when
// installed, else the first proportional Gothic that the machine has.
QFont JapaneseFont(int pixelSize);

// The window's 16 x 16 icon and the 37 x 37 picture beside the send button,
// drawn here rather than shipped as image files.
QIcon AppIcon();
QPixmap StatusPicture();

} // namespace look
