#pragma once
// The six dialogs: created once, after the main window, and kept until the
// program ends; the main window fills them, shows them modally and reads
// them back. Their controls keep their contents between showings. Each
// pointer turns null when its dialog goes with its owner, so a later window
// never sees a stale one.

#include <QPointer>

class QWidget;
class TDialog;
class TForm3;
class TForm4;
class TSirSock;
class TfmConnect;
class TfmStatus;
class Tver;

extern QPointer<Tver> ver;
extern QPointer<TForm3> Form3;
extern QPointer<TForm4> Form4;
extern QPointer<TfmConnect> fmConnect;
extern QPointer<TfmStatus> fmStatus;
extern QPointer<TDialog> Dialog;

// Creates them in the program's order: about box, name dialog, error box,
// connect dialog, status dialog, question dialog. They belong to owner.
void CreateDialogs(QWidget* owner, const TSirSock* sirSock);
