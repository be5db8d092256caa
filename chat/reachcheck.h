#pragma once
// One bounded check that an address answers on the chat port, for the chat
// core's regrouping: the hub checks that a seated peer can be called back
// (it must answer with a redirect line), and a member checks that the hub
// it took for lost still holds its group (its admission lines name more
// than itself: a hub that came back empty after a router's restart does
// not, and following it would split the group).
//
// A check looks the address up (a dotted one completes at once), connects,
// reads as the answer asks, and closes; it shows nothing and sends nothing
// (to a hub it is a caller that never names itself, which leaves no
// trace). It ends after timeoutMs at the latest. One check at a time: a
// second Start while one runs is refused, so the owner keeps at most one
// connection per checker. The result is handed to `done` from the event
// loop, never inside Start or inside a socket event, so `done` may start
// the next check, ask a question or close anything.
//
//   TReachCheck check;
//   check.Start("192.0.2.7", "2200", "", 3000, TReachCheck::kRedirects,
//               [](bool answered) { ... });

#include "wsocket.h"

#include <QTimer>
#include <functional>
#include <memory>
#include <string>

class TReachCheck {
public:
    using TDone = std::function<void(bool answered)>;
    // What counts as an answer: the connection completes; the first line is
    // a redirect (a listening instance that is a peer answers every caller
    // so); the admission lines are two name lines or more (a hub with a
    // group: its own name, then its members').
    enum TAnswer { kConnects, kRedirects, kHoldsGroup };

    TReachCheck();
    ~TReachCheck();
    TReachCheck(const TReachCheck&) = delete;
    TReachCheck& operator=(const TReachCheck&) = delete;

    // Start checking address:port, connecting from localAddr ("" = the
    // system's choice). False (and done is not called) when a check is
    // already running.
    bool Start(const std::string& address, const std::string& port, const std::string& localAddr, int timeoutMs,
               TAnswer answer, TDone done);
    bool Busy() const { return FBusy; }
    // End a running check; its done is not called.
    void Cancel();
    // The checking connection's handle (INVALID_SOCKET when there is none):
    // a listener of this process that accepts it knows it for its own.
    TSocket Handle() const { return FSocket->HSocket(); }

private:
    void connectTo();
    void finish(bool answered);
    void read();

    std::unique_ptr<TWSocket> FSocket;
    QTimer FTimer;
    TDone FDone;
    std::string FPort;
    std::string FLocalAddr;
    std::string FLine;
    TAnswer FAnswer = kConnects;
    bool FBusy = false;
};
