#include "reachcheck.h"

#include "wire.h"

#include <exception>

TReachCheck::TReachCheck() : FSocket(std::make_unique<TWSocket>())
{
    FSocket->SetFlushTimeout(30);
    FTimer.setSingleShot(true);
    QObject::connect(&FTimer, &QTimer::timeout, &FTimer, [this] { finish(false); });

    FSocket->OnDnsLookupDone = [this](TCustomWSocket*, uint16_t error) {
        if (!FBusy)
            return;
        if (error != 0)
            finish(false);
        else
            connectTo();
    };
    FSocket->OnSessionConnected = [this](TCustomWSocket*, uint16_t error) {
        if (!FBusy)
            return;
        if (error != 0 || !FReadLine)
            finish(error == 0);
    };
    FSocket->OnDataAvailable = [this](TCustomWSocket* s, uint16_t) {
        char buf[256];
        const int n = s->Receive(buf, sizeof buf);
        if (!FBusy || n <= 0)
            return;
        FLine.append(buf, static_cast<size_t>(n));
        // The first byte decides; the rest of the line is not needed.
        finish(FLine[0] == wire::kRedirect);
    };
    FSocket->OnSessionClosed = [this](TCustomWSocket*, uint16_t) {
        if (FBusy)
            finish(false); // hung up without a word
    };
}

TReachCheck::~TReachCheck()
{
    FTimer.stop();
    FBusy = false;
    FSocket->OnDnsLookupDone = nullptr;
    FSocket->OnSessionConnected = nullptr;
    FSocket->OnDataAvailable = nullptr;
    FSocket->OnSessionClosed = nullptr;
}

bool TReachCheck::Start(const std::string& address, const std::string& port, const std::string& localAddr,
                        int timeoutMs, bool readLine, TDone done)
{
    if (FBusy)
        return false;
    FBusy = true;
    FDone = std::move(done);
    FPort = port;
    FLocalAddr = localAddr;
    FReadLine = readLine;
    FLine.clear();
    FTimer.start(timeoutMs);
    try {
        FSocket->DnsLookup(address); // a dotted address goes on to connect inside
    } catch (const std::exception&) {
        finish(false);
    }
    return true;
}

void TReachCheck::connectTo()
{
    try {
        FSocket->SetLocalAddr(FLocalAddr);
        FSocket->SetAddr(FSocket->DnsResult());
        FSocket->SetPort(FPort);
        FSocket->SetProto("tcp");
        FSocket->Connect();
    } catch (const std::exception&) {
        finish(false); // no route, no address: nobody answers there
    }
}

void TReachCheck::Cancel()
{
    if (!FBusy)
        return;
    FBusy = false;
    FTimer.stop();
    FDone = nullptr;
    try {
        FSocket->CancelDnsLookup();
        FSocket->Close();
    } catch (const std::exception&) {
    }
}

void TReachCheck::finish(bool answered)
{
    if (!FBusy)
        return;
    FBusy = false;
    FTimer.stop();
    try {
        FSocket->CancelDnsLookup();
        FSocket->Close();
    } catch (const std::exception&) {
    }
    // Handed over from the event loop: the caller may be inside a socket
    // event of this checker, or inside Start.
    TDone done = std::move(FDone);
    FDone = nullptr;
    if (!done)
        return;
    QTimer::singleShot(0, &FTimer, [done = std::move(done), answered] {
        try {
            done(answered);
        } catch (const std::exception& e) {
            WSocketExceptionHandler(e);
        }
    });
}
