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
// SetHistory() gives the addresses joined last as completions of what is
// typed; a completion only offers, the text and its validation stay as typed.

#include "entrydialog.h"

class TForm4;
class TSirSock;
class QStringListModel;

class TfmConnect : public TEntryDialog {
    Q_OBJECT
public:
    TfmConnect(TForm4* errorBox, const TSirSock* sirSock, QWidget* parent = nullptr);

    // edIP's text as CP932 bytes.
    std::string Text() const;
    void SetText(const std::string& cp932);
    void SetHistory(const QStringList& addresses);
    QStringList History() const;

    void SetSelfIPAddress(const std::string& value) { FSelfIPAddress = value; }
    std::string SelfIPAddress() const;

    // Panel1, Label1, CuteButton1 ("接続"), CuteButton2, Button1 and
    // Button2 come from TEntryDialog.
    QLineEdit* edIP;

private:
    void CuteButton1Click();
    void Button1Click();
    void fitExample();

    TForm4* FErrorBox;
    const TSirSock* FSirSock;
    std::string FSelfIPAddress;
    QStringListModel* FHistory;
};
