#pragma once
// TForm3: the name dialog. The caller fills NameEdit with the current nick,
// shows the dialog and, on mrOk, takes the text back as the new nick:
//   Form3->SetName(nick);
//   if (Form3->ShowModal() == mrOk) nick = Form3->Name();
// Enter anywhere confirms (mrOk); Cancel, Escape and the close box give
// mrCancel. The text is not checked: empty or spaced names are taken as is.

#include "entrydialog.h"

class TForm3 : public TEntryDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);

    // NameEdit's text as CP932 bytes.
    void SetName(const std::string& cp932);
    std::string Name() const;

    // Panel1, Label1, CuteButton1 ("Ok"), CuteButton2, Button1 and Button2
    // come from TEntryDialog.
    QLineEdit* NameEdit;

private:
    // The bytes last put in and how they showed: an untouched name comes
    // back byte for byte, even where it did not decode.
    std::string FNameBytes;
    QString FNameShown;
};
