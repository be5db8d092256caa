#pragma once
// TForm4: the program's only error box. A fixed headline "それはダメ！", the
// picture and one message line that the caller sets before showing it:
//   Form4->SetMessage(txt::kNotConnected);
//   Form4->ShowModal();                 // result not looked at
// The OK button has the focus; Enter or Space presses it, Escape does
// nothing, the close box gives mrCancel. The message stays until replaced.

#include "modaldialog.h"

class TCuteButton;

class TForm4 : public TModalDialog {
    Q_OBJECT
public:
    explicit TForm4(QWidget* parent = nullptr);

    // The message line as CP932 bytes: as set, even where it does not
    // decode for display.
    std::string Message() const;
    void SetMessage(const std::string& cp932);

    TCuteButton* CuteButton1; // "OK"
    QFrame* Panel1;
    QLabel* Image1;
    QLabel* Label1; // the message, right-aligned
    QLabel* Label2; // the headline

private:
    void CuteButton1Click();

    std::string FMessage;
};
