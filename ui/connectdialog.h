#pragma once
// TfmConnect: the connect dialog. Asks for the address of the machine to
// join and refuses the untouched example text, an empty entry and the own
// address, each with the error box, staying open. On mrOk the caller takes
// the entered text:
//   TfmConnect fmConnect(Form4, &SirSock1, mainWindow);
//   if (fmConnect.ShowModal() == mrOk) target = fmConnect.Text();
// Enter anywhere validates (also with Cancel focused); Escape and the close
// box cancel (mrCancel). The text typed last is kept for the next showing.
// The own address is read from the TSirSock each time, or, without one,
// the text given to SetSelfIPAddress.

#include "modaldialog.h"

class QLineEdit;
class TCuteButton;
class TForm4;
class TSirSock;

class TfmConnect : public TModalDialog {
    Q_OBJECT
public:
    TfmConnect(TForm4* errorBox, const TSirSock* sirSock, QWidget* parent = nullptr);

    // edIP's text as CP932 bytes.
    std::string Text() const;
    void SetText(const std::string& cp932);

    void SetSelfIPAddress(const std::string& value) { FSelfIPAddress = value; }
    std::string SelfIPAddress() const;

    QFrame* Panel1;
    QLabel* Label1;
    QLineEdit* edIP;
    TCuteButton* CuteButton1;  // "接続"
    TCuteButton* CuteButton2;  // "Cancel"
    QPushButton* Button1;      // hidden default button (Enter)
    QPushButton* Button2;      // hidden cancel button (Escape)

private:
    void CuteButton1Click();
    void CuteButton2Click();
    void Button1Click();

    TForm4* FErrorBox;
    const TSirSock* FSirSock;
    std::string FSelfIPAddress;
};
