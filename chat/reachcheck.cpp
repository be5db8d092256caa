#include "reachcheck.h"

#include "negotiation.h"
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
        if (error != 0 || FAnswer == kConnects)
            finish(error == 0);
    };
    FSocket->OnDataAvailable = [this](TCustomWSocket*, uint16_t) { read(); };
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
                        int timeoutMs, TAnswer answer, TDone done)
{
    if (FBusy)
        return false;
    FBusy = true;
    FDone = std::move(done);
    FPort = port;
    FLocalAddr = localAddr;
    FAnswer = answer;
    FLine.clear();
    FTimer.start(timeoutMs);
    try {
        FSocket->DnsLookup(address); // a dotted address goes on to connect inside
    } catch (const std::exception&) {
        finish(false);
    }
    return true;
}

void TReachCheck::read()
{
    char buf[512];
    const int n = FSocket->Receive(buf, sizeof buf);
    if (!FBusy || n <= 0)
        return;
    FLine.append(buf, static_cast<size_t>(n));
    if (FAnswer == kRedirects) {
        finish(FLine[0] == wire::kRedirect); // the first byte decides
        return;
    }
    // Admission lines: name lines while they last; the first line of
    // another kind (or the hub's candidate announcement) ends them.
    int names = 0;
    size_t at = 0;
    for (size_t lf; (lf = FLine.find('\n', at)) != std::string::npos; at = lf + 1) {
        // A hub that encrypts offers it first, and admits in the clear a
        // caller that does not answer.
        if (negotiation::Parse(std::string_view(FLine).substr(at, lf - at)).step == negotiation::TStep::Offer)
            continue;
        if (FLine[at] != wire::kName) {
            finish(false);
            return;
        }
        if (++names == 2) {
            finish(true);
            return;
        }
    }
    if (FLine.size() - at > 1022)
        finish(false); // no line at all
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
