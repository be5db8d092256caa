#pragma once
// An edit box whose whole text is selected when it takes the focus, as a
// Windows edit box does on entry: the first key typed replaces the greeting
// or the example text instead of being added to it.
//   selectWholeOnFocus(edit);
//
// A mouse click places the cursor where it lands. The focus coming back
// after the window was left, or after a menu or a popup closed, leaves the
// text as the user left it, so a half-typed line is never replaced by a
// stray key; a dialog shown again starts selected.

class QLineEdit;

void selectWholeOnFocus(QLineEdit* edit);
