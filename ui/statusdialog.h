#pragma once
// TfmStatus: the connection status. The caller writes the three values and
// shows it; the result is not looked at:
//   fmStatus->SetConnectedTo(...);   // Label4
//   fmStatus->SetNextCandidate(...); // Label6
//   fmStatus->SetOwnAddress(SirSock1.SelfIPAddress()); // Label1
//   fmStatus->SetLinkState(...);     // Label7
//   fmStatus->SetKeys(hubFingerprint, ownFingerprint);  // empty: not shown
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
    // The key of the hub on an encrypted link and this instance's own key;
    // each shown below the addresses when not empty, the window grown.
    void SetKeys(const std::string& hub, const std::string& own);

    QFrame* Panel1;
    QLabel* Label2;           // heading "接続先"
    QLabel* Label4;           // value: connected to
    QLabel* Label5;           // heading "次の接続候補"
    QLabel* Label6;           // value: next candidate
    QLabel* Label3;           // heading "自分のIPアドレス"
    QLabel* Label1;           // value: own address
    QLabel* Label7;           // value: encrypted or not
    TCuteButton* CuteButton1; // "Ok"
    QLabel* HubKeyHeading;    // "サーバの鍵"
    QLabel* HubKey;
    QLabel* OwnKeyHeading; // "自分の鍵"
    QLabel* OwnKey;

private:
    void CuteButton1Click();
};
