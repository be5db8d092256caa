#pragma once
// A single-line edit box never holds a line break, as on Windows: text that
// brings one in (a paste, a drop, an input method) is cut at its first CR or
// LF, and what stood after the insertion point stays. Typed Enter never
// reaches the text; this guards everything else.
//   makeSingleLine(edit);

class QLineEdit;

void makeSingleLine(QLineEdit* edit);
