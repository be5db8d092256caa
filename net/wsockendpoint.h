#pragma once
// The notification endpoint of one socket component: what a hidden window
// receiving WSAAsyncSelect messages is on Windows. It watches the current
// handle with QSocketNotifiers, turns readiness into the Windows
// notification bits with the Windows re-arming rules, and hands them to the
// component one at a time, in order, between the other events of the thread
// (nested modal loops included). Notifications raised by calls (a connect
// result, "writable" after a send) are posted to itself as events. A
// read-side readiness (data, a close, a caller to accept) is handed over
// at once from the notifier when none of this endpoint's posted
// notifications is still waiting, which saves a wake-up and a turn of the
// event loop per line; when one is waiting, it is posted behind it, so the
// order stays the order of occurrence. Every notification carries the handle
// and its generation; the component drops those of a handle it no longer
// holds, since POSIX reuses numbers at once.
//
// Host lookups run getaddrinfo on a helper thread and post their completion
// here, tagged with the request number; a cancelled request posts nothing.

#include "wsocket.h"

#include <QObject>

#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;
class QTimer;
struct TLookupRequest;

class TWSocketEndpoint : public QObject {
public:
    // How readiness of the watched handle is read.
    enum TKind { kNone, kConnecting, kListening, kStream, kDatagram };

    explicit TWSocketEndpoint(TCustomWSocket* owner);
    ~TWSocketEndpoint() override;

    // The component is going away: drop everything still to come and delete
    // the endpoint, at once or, inside a dispatch, when that returns.
    void Release();
    // Inside the dispatch of a notification (the owner must not delete us).
    bool Dispatching() const { return FDepth > 0; }

    // Watch `socket` for the events of `mask` (0 stops watching).
    void Select(TSocket socket, uint32_t generation, uint16_t mask, TKind kind);
    void Unwatch();
    // Post a notification to this endpoint (what PostMessage does on Windows).
    void PostSelect(TSocket socket, uint32_t generation, uint16_t events, uint16_t error);
    // A read or accept notification has been handled: watch for more.
    void ArmRead();
    // As ArmRead, after a pause (an accept that failed for lack of
    // descriptors would otherwise be reported again at once, for ever).
    void ArmReadLater(int ms);
    // A send would have blocked: post a write notification once writable.
    void ArmWrite();
    // While held, ArmRead only remembers that reading is wanted; releasing
    // re-arms then.
    void HoldRead(bool held);
    // Call the owner's StallTick every periodMs until stopped.
    void WatchStall(int periodMs);
    void StopStallWatch();

    // The error that ended the watched connection (a reset), 0 if none. The
    // readiness probe consumed it from the socket; Receive reports it.
    int PeerError() const { return FPeerError; }

    // Start resolving `host`; returns the request number (never 0).
    uint32_t StartLookup(const std::string& host);
    // Forget a pending request: its completion will not be posted.
    void CancelLookup();

protected:
    bool event(QEvent* e) override;

private:
    void Readable();
    // Hand a read-side notification over: at once, or posted behind those
    // still waiting.
    void Raise(uint16_t events, uint16_t error);
    // Run the component's handler for one notification.
    void Deliver(TSocket socket, uint32_t generation, uint16_t events, uint16_t error);
    template <class F>
    void Guarded(F&& handler);
    void Writable();
    void SetReadEnabled(bool on);
    void SetWriteEnabled(bool on);

    TCustomWSocket* FOwner;
    std::unique_ptr<QSocketNotifier> FRead;
    std::unique_ptr<QSocketNotifier> FWrite;
    TSocket FSocket = INVALID_SOCKET;
    uint32_t FGeneration = 0;
    uint16_t FMask = 0;
    TKind FKind = kNone;
    bool FCloseSeen = false;
    bool FReadHeld = false;
    bool FReadWanted = false; // ArmRead came while held
    std::unique_ptr<QTimer> FStallTimer;
    int FPeerError = 0;
    int FDepth = 0;
    // Select notifications posted and not yet handled.
    int FPosted = 0;
    // Notifiers let go of while a handler ran, possibly from inside their
    // own activation: deleted once no handler is running.
    std::vector<std::unique_ptr<QSocketNotifier>> FRetired;
    bool FDeleteWhenDone = false;
    uint32_t FNextLookup = 0;
    std::shared_ptr<TLookupRequest> FLookup;
};
