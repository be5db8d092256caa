#pragma once
// TForm3: the name dialog. The caller fills NameEdit with the current nick,
// shows the dialog and, on mrOk, takes the text back as the new nick:
//   Form3->SetName(nick);
//   if (Form3->ShowModal() == mrOk) nick = Form3->Name();
// Enter anywhere confirms (mrOk); Cancel, Escape and the close box give
// mrCancel. The text is not checked: empty or spaced names are taken as is.

#include "modaldialog.h"

class QLineEdit;
class TCuteButton;

class TForm3 : public TModalDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);

    // NameEdit's text as CP932 bytes.
    void SetName(const std::string& cp932);
    std::string Name() const;

    QFrame* Panel1;
    QLabel* Label1;
    QLineEdit* NameEdit;
    TCuteButton* CuteButton1;  // "Ok"
    TCuteButton* CuteButton2;  // "Cancel"
    QPushButton* Button1;      // hidden default button (Enter)
    QPushButton* Button2;      // hidden cancel button (Escape)

private:
    void CuteButton1Click();
    void CuteButton2Click();

    // The bytes last put in and how they showed: an untouched name comes
    // back byte for byte, even where it did not decode.
    std::string FNameBytes;
    QString FNameShown;
};
