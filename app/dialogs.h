#pragma once
// The six dialogs: created once, after the main window, and kept until the
// program ends; the main window fills them, shows them modally and reads
// them back. Their controls keep their contents between showings.

class QWidget;
class TDialog;
class TForm3;
class TForm4;
class TSirSock;
class TfmConnect;
class TfmStatus;
class Tver;

extern Tver* ver;
extern TForm3* Form3;
extern TForm4* Form4;
extern TfmConnect* fmConnect;
extern TfmStatus* fmStatus;
extern TDialog* Dialog;

// Creates them in the program's order: about box, name dialog, error box,
// connect dialog, status dialog, question dialog. They belong to owner.
void CreateDialogs(QWidget* owner, const TSirSock* sirSock);
