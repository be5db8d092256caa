#pragma once
// One bounded check that an address answers on the chat port, for the chat
// core's regrouping: the hub checks that a seated peer can be called back
// (it must answer with a redirect line), and a member checks that the hub
// it took for lost still answers (the connection is enough).
//
// A check looks the address up (a dotted one completes at once), connects,
// optionally reads the first line, and closes; it shows nothing and sends
// nothing. It ends after timeoutMs at the latest. One check at a time: a
// second Start while one runs is refused, so the owner keeps at most one
// connection per checker. The result is handed to `done` from the event
// loop, never inside Start or inside a socket event, so `done` may start
// the next check, ask a question or close anything.
//
//   TReachCheck check;
//   check.Start("192.0.2.7", "2200", "", 3000, true,
//               [](bool answered) { ... });

#include "wsocket.h"

#include <QTimer>
#include <functional>
#include <memory>
#include <string>

class TReachCheck {
public:
    using TDone = std::function<void(bool answered)>;

    TReachCheck();
    ~TReachCheck();
    TReachCheck(const TReachCheck&) = delete;
    TReachCheck& operator=(const TReachCheck&) = delete;

    // Start checking address:port, connecting from localAddr ("" = the
    // system's choice). readLine: the answer counts only when the first line
    // begins with "s" (a listening instance that is a peer answers every
    // caller so); otherwise the completed connection is the answer. False
    // (and done is not called) when a check is already running.
    bool Start(const std::string& address, const std::string& port, const std::string& localAddr, int timeoutMs,
               bool readLine, TDone done);
    bool Busy() const { return FBusy; }
    // End a running check; its done is not called.
    void Cancel();
    // The checking connection's handle (INVALID_SOCKET when there is none):
    // a listener of this process that accepts it knows it for its own.
    TSocket Handle() const { return FSocket->HSocket(); }

private:
    void connectTo();
    void finish(bool answered);

    std::unique_ptr<TWSocket> FSocket;
    QTimer FTimer;
    TDone FDone;
    std::string FPort;
    std::string FLocalAddr;
    std::string FLine;
    bool FReadLine = false;
    bool FBusy = false;
};
