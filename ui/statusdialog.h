#pragma once
// TfmStatus: the connection status. The caller writes the three values and
// shows it; the result is not looked at:
//   fmStatus->SetConnectedTo(...);   // Label4
//   fmStatus->SetNextCandidate(...); // Label6
//   fmStatus->SetOwnAddress(SirSock1.SelfIPAddress()); // Label1
//   fmStatus->SetLinkState(...);     // Label7
//   fmStatus->ShowModal();
// Ok, Enter, Space or Escape (nothing here to cancel) give mrOk, the close
// box mrCancel.

#include "modaldialog.h"

class TCuteButton;

class TfmStatus : public TModalDialog {
    Q_OBJECT
public:
    explicit TfmStatus(QWidget* parent = nullptr);

    // CP932 texts of the value labels.
    void SetOwnAddress(const std::string& cp932) { SetCaption(Label1, cp932); }
    void SetConnectedTo(const std::string& cp932) { SetCaption(Label4, cp932); }
    void SetNextCandidate(const std::string& cp932) { SetCaption(Label6, cp932); }
    // Whether one's own talk travels encrypted, in words; empty without a group.
    void SetLinkState(const std::string& cp932) { SetCaption(Label7, cp932); }

    QFrame* Panel1;
    QLabel* Label2;           // heading "接続先"
    QLabel* Label4;           // value: connected to
    QLabel* Label5;           // heading "次の接続候補"
    QLabel* Label6;           // value: next candidate
    QLabel* Label3;           // heading "自分のIPアドレス"
    QLabel* Label1;           // value: own address
    QLabel* Label7;           // value: encrypted or not
    TCuteButton* CuteButton1; // "Ok"

private:
    void CuteButton1Click();
};
