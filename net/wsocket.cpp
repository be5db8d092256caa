// TCustomWSocket: construction, states, errors and the notification dispatch.
#include "wsocket.h"
#include "wsockendpoint.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <QtGlobal>

#include <sys/ioctl.h>
#include <unistd.h>

std::function<void(const std::exception&)> WSocketExceptionHandler = [](const std::exception& e) {
    qWarning("socket event: %s", e.what());
};

TCustomWSocket::TCustomWSocket() : FAlive(std::make_shared<bool>(true))
{
    FWindowHandle = new TWSocketEndpoint(this);
    AssignDefaultValue();
}

TCustomWSocket::~TCustomWSocket()
{
    // While being destroyed no event is raised: the owner is going away too.
    FDestroying = true;
    // A wait of this object under way (a handler deleted it) ends with it.
    if (FStateWaited != wsInvalidState || FInReadLine)
        stopWait();
    try {
        CancelDnsLookup();
        if (FState != wsClosed || FHSocket != INVALID_SOCKET)
            Close();
    } catch (...) {
    }
    if (FHSocket != INVALID_SOCKET)
        ::close(FHSocket);
    FAlive.reset();
    FWindowHandle->Release();
}

void TCustomWSocket::AssignDefaultValue()
{
    FHSocket = INVALID_SOCKET;
    FPortAssigned = false;
    FAddrAssigned = false;
    FProtoAssigned = true;
    FProtoStr = "tcp";
    FProto = IPPROTO_TCP;
    FType = kStreamSocket;
    FAddrFormat = AF_INET;
    FState = wsClosed;
    FFlushTimeout = 60;
    FStateWaited = wsInvalidState;
    FPaused = false;
    bAllSent = true;
    ReadLineCount = 0;
    ReadLineFlag = false;
    FReadCount = 0;
    FCloseInvoked = false;
    sin.sin_family = AF_INET;
}

void TCustomWSocket::ChangeState(TSocketState newState)
{
    TSocketState oldState = FState;
    FState = newState;
    if (FDestroying)
        return;
    if (OnChangeState) {
        auto alive = Alive();
        OnChangeState(this, oldState, newState);
        if (alive.expired())
            return;
    }
    if (newState == FStateWaited || (FStateWaited == wsConnected && newState == wsClosed))
        stopWait();
}

void TCustomWSocket::SocketError(const std::string& function)
{
    int code = WSAGetLastError();
    std::string message =
        "Error " + std::to_string(code) + " in function " + function + "\r\n" + WSocketErrorDesc(code);
    if (code == WSAECONNRESET || code == WSAENOTCONN) {
        if (FHSocket != INVALID_SOCKET)
            ::close(FHSocket);
        DropHandle();
        ChangeState(wsClosed);
    }
    throw ESocketException(message);
}

void TCustomWSocket::raiseErrno(const std::string& function)
{
    WSocketSaveErrno();
    SocketError(function);
}

void TCustomWSocket::raiseError(int code, const std::string& function)
{
    WSASetLastError(code);
    SocketError(function);
}

void TCustomWSocket::NewHandle(TSocket socket)
{
    FHSocket = socket;
    ++FGeneration;
    FRearmPending = false;
    FWritePosted = false;
    // A new connection starts clean: nothing of the previous one may leak
    // into it (its unsent bytes, its "closed already reported" mark).
    DiscardSendQueue();
    FCloseInvoked = false;
    ReadLineFlag = false;
    ReadLineCount = 0;
    ReadLineReady = false;
    FReadHeld = false;
    FHeldEvents = 0;
    FQueueAbove = false;
    FStallWatching = false;
    FTls.reset();
}

void TCustomWSocket::DropHandle()
{
    FHSocket = INVALID_SOCKET;
    ++FGeneration; // whatever is still queued for the old handle is stale
    FRearmPending = false;
    FWindowHandle->Unwatch();
    DiscardSendQueue();
    FHeldEvents = 0;
    FQueueAbove = false;
    FStallWatching = false;
    ReadLineReady = false; // a line kept across a time-out ends with its connection
    FTls.reset();
}

void TCustomWSocket::AsyncSelect(uint16_t mask, int kind)
{
    using K = TWSocketEndpoint;
    if (kind < 0) {
        if (FState == wsConnecting)
            kind = K::kConnecting;
        else if (FType == kDatagramSocket)
            kind = K::kDatagram;
        else if (FState == wsListening)
            kind = K::kListening;
        else
            kind = K::kStream;
    }
    FRearmPending = false;
    FWindowHandle->Select(FHSocket, FGeneration, mask, static_cast<K::TKind>(kind));
    if (FReadHeld)
        FWindowHandle->HoldRead(true);
}

void TCustomWSocket::RearmIfWaiting()
{
    if (FRearmPending) {
        FRearmPending = false;
        FWindowHandle->ArmRead();
        // Plaintext TLS already holds wakes no notifier of the socket.
        if (tlsPending())
            FWindowHandle->PostSelect(FHSocket, FGeneration, FD_READ, 0);
    }
}

void TCustomWSocket::AddReadCount(int n)
{
    FReadCount = static_cast<int>(static_cast<unsigned>(FReadCount) + static_cast<unsigned>(n));
    FBytesIn += static_cast<uint64_t>(n);
    if (n > 0 || FType == kDatagramSocket)
        ++FConsumed;
}

void TCustomWSocket::WMASyncSelect(TSocket socket, uint32_t generation, uint16_t events, uint16_t error)
{
    if (socket != FHSocket || generation != FGeneration)
        return;
    if (events & FD_WRITE)
        FWritePosted = false;
    if (FPaused)
        return;
    if (FReadHeld && (events & (FD_READ | FD_CLOSE))) {
        // Kept for the release, in their order: the close comes last anyway.
        FHeldEvents |= events & (FD_READ | FD_CLOSE);
        if (events & FD_CLOSE)
            FHeldError = error;
        events &= ~(FD_READ | FD_CLOSE);
        if (events == 0)
            return;
    }
    // The bits are handled in this order; a handler that ends the connection
    // (or the object) ends the dispatch.
    const TSameConnection same{this, Alive(), socket, generation};
    if ((events & FD_CONNECT) && (!handleConnect(error, same) || !same()))
        return;
    if ((events & FD_READ) && (!handleRead(same) || !same()))
        return;
    if ((events & FD_WRITE) && (!handleWrite(error, same) || !same()))
        return;
    if ((events & FD_ACCEPT) && (!handleAccept(error, same) || !same()))
        return;
    if ((events & FD_CLOSE) && FState != wsConnecting)
        handleClose(error, same);
}

bool TCustomWSocket::handleConnect(uint16_t error, const TSameConnection& same)
{
    ChangeState(wsConnected);
    if (!same())
        return false;
    if (OnSessionConnected) {
        // A failed attempt is closed even when the handler throws, or the
        // object would stay "connected" to nothing.
        try {
            OnSessionConnected(this, error);
        } catch (...) {
            if (error != 0 && same() && FState != wsClosed)
                Close();
            throw;
        }
        if (!same())
            return false;
    }
    if (error != 0 && FState != wsClosed) {
        Close();
        return false;
    }
    return true;
}

bool TCustomWSocket::handleRead(const TSameConnection& same)
{
    bool rearm = ASyncReceive(0);
    if (!same())
        return false;
    if (rearm) {
        FWindowHandle->ArmRead();
        // The handler stopped at its burst with plaintext left inside TLS.
        if (tlsPending() && !FReadHeld)
            FWindowHandle->PostSelect(FHSocket, FGeneration, FD_READ, 0);
    } else {
        FRearmPending = true;
    }
    return true;
}

bool TCustomWSocket::handleWrite(uint16_t error, const TSameConnection& same)
{
    TryToSend();
    if (!same())
        return false;
    queueLevelChanged();
    if (!same())
        return false;
    if (bAllSent && OnDataSent)
        OnDataSent(this, error);
    return true;
}

bool TCustomWSocket::handleAccept(uint16_t error, const TSameConnection&)
{
    FRearmPending = true; // re-armed by Accept, as Windows does
    if (OnSessionAvailable)
        OnSessionAvailable(this, error);
    return true;
}

void TCustomWSocket::handleClose(uint16_t error, const TSameConnection& same)
{
    error = tlsCloseError(error);
    const uint64_t consumed = FConsumed;
    ASyncReceive(error);
    if (!same())
        return;
    error = tlsCloseError(error);
    if ((FReadHeld || FConsumed != consumed) && waitingBytes() > 0) {
        // Bytes still unread come before the close: on the next turn, or
        // once reading resumes when the handler held it.
        if (FReadHeld) {
            FHeldEvents |= FD_CLOSE;
            FHeldError = error;
        } else {
            FWindowHandle->PostSelect(FHSocket, FGeneration, FD_CLOSE, error);
        }
        return;
    }
    if (ReadLineFlag) {
        ReadLineFlag = false;
        stopWait();
    }
    if (OnSessionClosed && !FCloseInvoked) {
        FCloseInvoked = true;
        // The connection is over whatever the handler does: a throwing
        // handler must not leave a seat occupied by a dead connection.
        try {
            OnSessionClosed(this, error);
        } catch (...) {
            if (same() && FState != wsClosed)
                Close();
            throw;
        }
        if (!same())
            return;
    }
    if (FState != wsClosed)
        Close();
}

void TCustomWSocket::ProcessMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TCustomWSocket::WaitForEvents(const QDeadlineTimer& deadline)
{
    // Sleeps in the event loop rather than polling; a precise timer wakes it
    // at the deadline (a coarse one may fire early and leave us asleep).
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    qint64 ms = deadline.remainingTime() + 1;
    wake.start(static_cast<int>(ms < 0 ? 0 : ms > 0x7FFFFFFF ? 0x7FFFFFFF : ms));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void TCustomWSocket::WaitLoop(const std::function<bool()>& done, int64_t timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs < 0 ? 0 : timeoutMs, Qt::PreciseTimer);
    auto alive = Alive();
    while (!done() && !deadline.hasExpired()) {
        WaitForEvents(deadline);
        if (alive.expired())
            return;
    }
}

void TCustomWSocket::SetWaitCtrl(TWaitControl* wait)
{
    FWait = wait;
    FWaitAlive = wait ? wait->Alive() : std::weak_ptr<const void>();
}

void TCustomWSocket::stopWait()
{
    if (TWaitControl* wait = WaitCtrl(); wait && !FMultiThreaded)
        wait->Stop();
}

void TCustomWSocket::WaitWithControl(int timeout)
{
    // Either side may be destroyed by a handler during the modal wait:
    // nothing of this object is touched after it, the control only if alive.
    TWaitControl* wait = WaitCtrl();
    wait->SetCaption(std::to_string(timeout));
    wait->Show();
    struct Hider {
        TWaitControl* w;
        std::weak_ptr<const void> alive;
        ~Hider()
        {
            if (!alive.expired())
                w->Hide();
        }
    } hider{wait, FWaitAlive};
    wait->StartModal();
}

TSocketSendFlags TCustomWSocket::SendFlags() const
{
    if (FSendFlags == 0)
        return wsSendNormal;
    if (FSendFlags == 1)
        return wsSendUrgent;
    throw ESocketException("Invalid internal SendFlags");
}

void TCustomWSocket::SetSendFlags(TSocketSendFlags flags)
{
    if (flags == wsSendNormal)
        FSendFlags = 0;
    else if (flags == wsSendUrgent)
        FSendFlags = 1;
    else
        throw ESocketException("Invalid SendFlags");
}

bool TCustomWSocket::TimerIsSet(const TTimeVal& tvp) const
{
    return tvp.tv_sec != 0 || tvp.tv_usec != 0;
}

void TCustomWSocket::TimerClear(TTimeVal& tvp) const
{
    tvp.tv_sec = 0;
    tvp.tv_usec = 0;
}

bool TCustomWSocket::TimerCmp(const TTimeVal& tvp, const TTimeVal& uvp, bool isEqual) const
{
    bool equal = tvp.tv_sec == uvp.tv_sec && tvp.tv_usec == uvp.tv_usec;
    return isEqual ? equal : !equal;
}
