#pragma once
// The program's colours: one set for the main window and the dialogs.

#include <QColor>

namespace look {

inline const QColor kWindow{193, 255, 255};          // main window background
inline const QColor kPanel{181, 255, 255};           // the panels that hold the controls
inline const QColor kDialog{255, 255, 255};          // dialog background around the panel
inline const QColor kButtonFace{240, 240, 240};      // flat buttons
inline const QColor kAboutButtonFace{222, 222, 222}; // the about box's OK button
inline const QColor kText{0, 0, 0};
inline const QColor kHeadline{0, 0, 128};            // the error box's headline

} // namespace look
