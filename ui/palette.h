#pragma once
// The program's colours: one set for the main window and the dialogs.
//
// The program keeps its own light look under any desktop theme: its
// backgrounds are fixed light colours, so every colour it shows comes from
// here, each background paired with its text colour. ProgramPalette() fills
// every role of every colour group; the application uses it (app/appearance)
// so menus, tool tips, pop-ups and message boxes follow it too.

#include <QColor>
#include <QPalette>

class QPainter;
class QRect;

namespace look {

inline const QColor kWindow{193, 255, 255};          // main window background
inline const QColor kPanel{181, 255, 255};           // the panels that hold the controls
inline const QColor kDialog{255, 255, 255};          // dialog background around the panel
inline const QColor kButtonFace{240, 240, 240};      // flat buttons
inline const QColor kAboutButtonFace{222, 222, 222}; // the about box's OK button
inline const QColor kText{0, 0, 0};
inline const QColor kHeadline{0, 0, 128}; // the error box's headline
inline const QColor kBase{255, 255, 255}; // edit boxes, the pane, lists
inline const QColor kToolTip{255, 255, 225};
inline const QColor kHighlight{0, 84, 166}; // selection, with white text
inline const QColor kLink{0, 0, 204};
inline const QColor kPlaceholder{102, 102, 102};
inline const QColor kDisabledText{109, 109, 109};
inline const QColor kFocusRing = kHighlight; // the keyboard's place

// Every role, every group: the program's light look.
QPalette ProgramPalette();

// The ring that shows which control has the keyboard: a dotted line in the
// selection colour just inside r, drawn over what the control painted.
void DrawFocusRing(QPainter& painter, const QRect& r);

} // namespace look
