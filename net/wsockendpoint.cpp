#include "wsockendpoint.h"
#include "ipv4.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <QDeadlineTimer>
#include <QTimer>

#include <cerrno>
#include <mutex>
#include <netdb.h>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace {

const QEvent::Type kSelectEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kLookupEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

struct TSelectEvent : QEvent {
    TSelectEvent(TSocket s, uint32_t g, uint16_t ev, uint16_t err)
        : QEvent(kSelectEvent), socket(s), generation(g), events(ev), error(err)
    {
    }
    TSocket socket;
    uint32_t generation;
    uint16_t events;
    uint16_t error;
};

struct TLookupEvent : QEvent {
    TLookupEvent(uint32_t r, uint16_t err, std::vector<std::string> a)
        : QEvent(kLookupEvent), request(r), error(err), addresses(std::move(a))
    {
    }
    uint32_t request;
    uint16_t error;
    std::vector<std::string> addresses;
};

} // namespace

// Shared between the endpoint and the lookup thread; the thread posts only
// while target is still set, under the lock, so a released endpoint is never
// posted to.
struct TLookupRequest {
    std::mutex lock;
    TWSocketEndpoint* target = nullptr;
};

TWSocketEndpoint::TWSocketEndpoint(TCustomWSocket* owner) : FOwner(owner) { }

TWSocketEndpoint::~TWSocketEndpoint()
{
    CancelLookup();
}

void TWSocketEndpoint::Release()
{
    FOwner = nullptr;
    Unwatch();
    CancelLookup();
    if (FDepth > 0)
        FDeleteWhenDone = true;
    else
        delete this;
}

void TWSocketEndpoint::Select(TSocket socket, uint32_t generation, uint16_t mask, TKind kind)
{
    Unwatch();
    FSocket = socket;
    FGeneration = generation;
    FMask = mask;
    FKind = kind;
    FCloseSeen = false;
    FPeerError = 0;
    FReadHeld = false;
    FReadWanted = false;
    if (socket == INVALID_SOCKET || mask == 0 || kind == kNone)
        return;
    FRead = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
    FWrite = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Write);
    QObject::connect(FRead.get(), &QSocketNotifier::activated, this, [this] { Readable(); });
    QObject::connect(FWrite.get(), &QSocketNotifier::activated, this, [this] { Writable(); });
    FRead->setEnabled(kind != kConnecting);
    FWrite->setEnabled(kind == kConnecting);
    // A connected socket is writable at once: the socket library reports it.
    if ((kind == kStream || kind == kDatagram) && (mask & FD_WRITE))
        PostSelect(socket, generation, FD_WRITE, 0);
}

void TWSocketEndpoint::Unwatch()
{
    if (FDepth > 0) {
        // A handler runs, perhaps from inside one of these notifiers'
        // activation: silence them now, delete them later.
        for (std::unique_ptr<QSocketNotifier>* n : {&FRead, &FWrite}) {
            if (*n) {
                (*n)->setEnabled(false);
                FRetired.push_back(std::move(*n));
            }
        }
    } else {
        FRead.reset();
        FWrite.reset();
        FRetired.clear();
    }
    FSocket = INVALID_SOCKET;
    FMask = 0;
    FKind = kNone;
    FPeerError = 0;
    StopStallWatch();
}

void TWSocketEndpoint::PostSelect(TSocket socket, uint32_t generation, uint16_t events, uint16_t error)
{
    ++FPosted;
    QCoreApplication::postEvent(this, new TSelectEvent(socket, generation, events, error));
}

void TWSocketEndpoint::Raise(uint16_t events, uint16_t error)
{
    if (FPosted > 0)
        PostSelect(FSocket, FGeneration, events, error);
    else
        Deliver(FSocket, FGeneration, events, error);
}

void TWSocketEndpoint::SetReadEnabled(bool on)
{
    if (on && FReadHeld) {
        FReadWanted = true;
        return;
    }
    if (FRead && FRead->isEnabled() != on)
        FRead->setEnabled(on);
}

void TWSocketEndpoint::SetWriteEnabled(bool on)
{
    if (FWrite && FWrite->isEnabled() != on)
        FWrite->setEnabled(on);
}

void TWSocketEndpoint::ArmRead()
{
    if (!FCloseSeen && FKind != kConnecting && FKind != kNone)
        SetReadEnabled(true);
}

void TWSocketEndpoint::ArmReadLater(int ms)
{
    uint32_t generation = FGeneration;
    QTimer::singleShot(ms, this, [this, generation] {
        if (generation == FGeneration)
            ArmRead();
    });
}

void TWSocketEndpoint::HoldRead(bool held)
{
    if (held == FReadHeld)
        return;
    if (held) {
        FReadWanted = FRead && FRead->isEnabled();
        SetReadEnabled(false);
        FReadHeld = true;
        return;
    }
    FReadHeld = false;
    if (FReadWanted) {
        FReadWanted = false;
        SetReadEnabled(true);
    }
}

void TWSocketEndpoint::WatchStall(int periodMs)
{
    if (!FStallTimer) {
        FStallTimer = std::make_unique<QTimer>();
        QObject::connect(FStallTimer.get(), &QTimer::timeout, this, [this] {
            if (FOwner)
                Guarded([this] { FOwner->StallTick(); });
        });
    }
    if (!FStallTimer->isActive() || FStallTimer->interval() != periodMs)
        FStallTimer->start(periodMs);
}

void TWSocketEndpoint::StopStallWatch()
{
    if (FStallTimer)
        FStallTimer->stop();
}

void TWSocketEndpoint::ArmWrite()
{
    if (FKind == kStream || FKind == kDatagram)
        SetWriteEnabled(true);
}

void TWSocketEndpoint::Readable()
{
    // Every read-side notification waits until the one raised has been
    // handled (ArmRead), as Windows re-enables FD_READ only then.
    SetReadEnabled(false);
    switch (FKind) {
    case kListening:
        if (FMask & FD_ACCEPT)
            Raise(FD_ACCEPT, 0);
        return;
    case kDatagram:
        if (FMask & FD_READ)
            Raise(FD_READ, 0);
        return;
    case kStream: {
        char probe;
        ssize_t n = ::recv(FSocket, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n > 0) {
            if (FMask & FD_READ)
                Raise(FD_READ, 0);
            return;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            SetReadEnabled(true); // spurious wake-up
            return;
        }
        // End of stream (0) or a failed connection: one close per connection.
        FCloseSeen = true;
        FPeerError = n == 0 ? 0 : WSocketErrnoToWsa(errno);
        if (FMask & FD_CLOSE)
            Raise(FD_CLOSE, static_cast<uint16_t>(FPeerError));
        return;
    }
    default: return;
    }
}

void TWSocketEndpoint::Writable()
{
    SetWriteEnabled(false);
    if (FKind == kConnecting) {
        int err = 0;
        socklen_t len = sizeof err;
        if (::getsockopt(FSocket, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
            err = errno;
        uint16_t code = static_cast<uint16_t>(WSocketErrnoToWsa(err));
        if (FMask & FD_CONNECT)
            PostSelect(FSocket, FGeneration, FD_CONNECT, code);
        if (code != 0) {
            FKind = kNone;
            SetReadEnabled(false);
            return;
        }
        FKind = kStream;
        SetReadEnabled(true);
        if (FMask & FD_WRITE)
            PostSelect(FSocket, FGeneration, FD_WRITE, 0);
        return;
    }
    if (FMask & FD_WRITE)
        PostSelect(FSocket, FGeneration, FD_WRITE, 0);
}

// Runs one of the component's handlers: the endpoint stays alive while it
// runs (a handler may release it), and what it throws goes to the
// application's handler instead of through the event loop.
template <class F>
void TWSocketEndpoint::Guarded(F&& handler)
{
    if (!FOwner)
        return;
    if (FDepth == 0)
        FRetired.clear();
    ++FDepth;
    try {
        handler();
    } catch (const std::exception& ex) {
        if (WSocketExceptionHandler)
            WSocketExceptionHandler(ex);
    } catch (...) {
        if (WSocketExceptionHandler)
            WSocketExceptionHandler(std::runtime_error("unknown exception"));
    }
    --FDepth;
    if (FDeleteWhenDone && FDepth == 0)
        deleteLater();
}

void TWSocketEndpoint::Deliver(TSocket socket, uint32_t generation, uint16_t events, uint16_t error)
{
    Guarded([&] { FOwner->WMASyncSelect(socket, generation, events, error); });
}

bool TWSocketEndpoint::event(QEvent* e)
{
    if (e->type() == kSelectEvent) {
        --FPosted;
        auto* s = static_cast<TSelectEvent*>(e);
        Deliver(s->socket, s->generation, s->events, s->error);
    } else if (e->type() == kLookupEvent) {
        auto* l = static_cast<TLookupEvent*>(e);
        Guarded([&] { FOwner->WMAsyncGetHostByName(l->request, l->error, l->addresses); });
    } else {
        return QObject::event(e);
    }
    return true;
}

uint32_t TWSocketEndpoint::StartLookup(const std::string& host)
{
    CancelLookup();
    if (++FNextLookup == 0)
        ++FNextLookup;
    uint32_t request = FNextLookup;
    auto shared = std::make_shared<TLookupRequest>();
    shared->target = this;
    FLookup = shared;
    std::thread([shared, host, request] {
        std::vector<uint32_t> found;
        int rc = ipv4::lookup(host, found);
        std::vector<std::string> addresses;
        for (uint32_t a : found)
            addresses.push_back(ipv4::dotted(a));
        if (rc == 0 && addresses.empty())
            rc = EAI_NODATA;
        uint16_t code = static_cast<uint16_t>(rc == 0 ? 0 : WSocketGaiToWsa(rc));
        std::lock_guard<std::mutex> guard(shared->lock);
        if (shared->target)
            QCoreApplication::postEvent(shared->target, new TLookupEvent(request, code, std::move(addresses)));
    }).detach();
    return request;
}

void TWSocketEndpoint::CancelLookup()
{
    std::shared_ptr<TLookupRequest> pending = std::move(FLookup);
    if (!pending)
        return;
    std::lock_guard<std::mutex> guard(pending->lock);
    pending->target = nullptr;
}
