// TCustomWSocket: connecting, listening, taking over, closing and waiting.
#include "wsocket.h"
#include "wsockendpoint.h"
#include "wsockkeepalive.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Failures that Windows reports through the connect notification rather
// than from connect() itself; Linux may return them at once on loopback.
bool isDeferredConnectError(int err)
{
    return err == ECONNREFUSED || err == ETIMEDOUT || err == ENETUNREACH || err == EHOSTUNREACH || err == ECONNRESET;
}

int setIntOption(int socket, int option, int value)
{
    return ::setsockopt(socket, SOL_SOCKET, option, &value, sizeof value);
}

} // namespace

TSocket TCustomWSocket::openSocket() const
{
    int type = FType == kDatagramSocket ? SOCK_DGRAM : SOCK_STREAM;
    return ::socket(FAddrFormat, type | SOCK_NONBLOCK | SOCK_CLOEXEC, FProto);
}

int TCustomWSocket::bindLocal(TSocket socket) const
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = FLocalAddr;
    return ::bind(socket, reinterpret_cast<sockaddr*>(&local), sizeof local);
}

void TCustomWSocket::Connect()
{
    if (FHSocket != INVALID_SOCKET && FState != wsClosed)
        throw ESocketException("Connect: Socket already in use");
    if (!FPortAssigned)
        throw ESocketException("Connect: No Port Specified");
    if (!FAddrAssigned)
        throw ESocketException("Connect: No IP Address Specified");
    if (!FProtoAssigned)
        throw ESocketException("Connect: No Protocol Specified");

    int s = openSocket();
    if (s < 0)
        raiseErrno("Connect (socket)");
    NewHandle(s);
    ChangeState(wsOpened);

    if (FType == kDatagramSocket)
        connectDatagram(s);
    else
        connectStream(s);
}

// A datagram socket is "connected" at once: it only remembers where to send.
void TCustomWSocket::connectDatagram(TSocket s)
{
    BindSocket();
    if (sin.sin_addr.s_addr == INADDR_BROADCAST && setIntOption(s, SO_BROADCAST, 1) != 0)
        raiseErrno("setsockopt(SO_BROADCAST)");
    AsyncSelect(kConnectEvents);
    ChangeState(wsConnected);
    if (OnSessionConnected)
        OnSessionConnected(this, 0);
}

// Starts a non-blocking connect; its completion arrives as FD_CONNECT.
void TCustomWSocket::connectStream(TSocket s)
{
    // Abortive close: a later close drops what is unsent and resets the peer.
    linger lg{1, 0};
    if (::setsockopt(s, SOL_SOCKET, SO_LINGER, &lg, sizeof lg) != 0)
        raiseErrno("setsockopt(SO_LINGER)");
    if (setIntOption(s, SO_KEEPALIVE, 1) != 0)
        raiseErrno("setsockopt(SO_KEEPALIVE)");
    WSocketWatchDeadLink(s);
    if (setIntOption(s, SO_REUSEADDR, 1) != 0)
        raiseErrno("setsockopt(SO_REUSEADDR)");
    if (FLocalAddr != 0 && bindLocal(s) != 0)
        raiseErrno("Bind");

    int rc;
    do {
        rc = ::connect(s, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0 || errno == EINPROGRESS) {
        // wsConnected is entered only by the connect notification.
        ChangeState(wsConnecting);
        AsyncSelect(kConnectEvents, TWSocketEndpoint::kConnecting);
        return;
    }
    if (isDeferredConnectError(errno)) {
        uint16_t code = static_cast<uint16_t>(WSocketErrnoToWsa(errno));
        AsyncSelect(kConnectEvents, TWSocketEndpoint::kNone);
        FWindowHandle->PostSelect(FHSocket, FGeneration, FD_CONNECT, code);
        ChangeState(wsConnecting);
        return;
    }
    FLastError = WSocketErrnoToWsa(errno);
    raiseError(FLastError, "Connect");
}

int TCustomWSocket::Listen()
{
    if (!FPortAssigned)
        raiseError(WSAEINVAL, "listen: port not assigned");
    if (!FProtoAssigned)
        raiseError(WSAEINVAL, "listen: protocol not assigned");
    if (!FAddrAssigned)
        raiseError(WSAEINVAL, "listen: address not assigned");
    // A second Listen would leak the socket held and its notifications.
    if (FHSocket != INVALID_SOCKET && FState != wsClosed)
        raiseError(WSAEINVAL, "Listen");
    int s = openSocket();
    if (s < 0)
        raiseErrno("socket");
    // A failed listen releases its socket before reporting, so that a closed
    // object never holds a handle.
    auto fail = [this](const char* function) {
        int code = WSocketSaveErrno();
        ::close(FHSocket);
        DropHandle();
        if (FState != wsClosed)
            ChangeState(wsClosed);
        raiseError(code, function);
    };
    NewHandle(s);
    // Lets a restarted hub listen again at once while old connections of the
    // port linger in TIME_WAIT; it does not let two listeners share the port.
    if (FType == kStreamSocket && setIntOption(s, SO_REUSEADDR, 1) != 0)
        fail("setsockopt(SO_REUSEADDR)");
    if (::bind(s, reinterpret_cast<sockaddr*>(&sin), sizeof sin) != 0)
        fail("Bind");
    ChangeState(wsBound);
    if (FType == kDatagramSocket) {
        ChangeState(wsListening);
        ChangeState(wsConnected);
        auto alive = Alive();
        uint32_t generation = FGeneration;
        if (OnSessionConnected) {
            OnSessionConnected(this, 0);
            if (alive.expired() || generation != FGeneration)
                return 0;
        }
    } else {
        // The system's largest accept queue: with a short one, callers that
        // come and go in a burst overflow it and every later caller waits
        // for its SYN to be sent again, a second or more.
        if (::listen(s, SOMAXCONN) != 0)
            fail("Listen");
        ChangeState(wsListening);
    }
    AsyncSelect(kListenEvents);
    return 0;
}

TSocket TCustomWSocket::Accept()
{
    if (FState != wsListening)
        raiseError(WSAEINVAL, "not a listening socket");
    socklen_t len = sizeof sin;
    int a;
    do {
        a = ::accept4(FHSocket, reinterpret_cast<sockaddr*>(&sin), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    } while (a < 0 && errno == EINTR);
    if (a < 0) {
        int err = errno;
        int code = WSocketSaveErrno();
        if (FRearmPending && (err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM)) {
            FRearmPending = false;
            FWindowHandle->ArmReadLater(1000);
        } else {
            RearmIfWaiting();
        }
        raiseError(code, "Accept");
    }
    RearmIfWaiting();
    // A seat needs the same watch as the link that called it.
    WSocketWatchDeadLink(a);
    FASocket = a;
    return a;
}

void TCustomWSocket::SetNoDelay(bool on)
{
    if (FHSocket == INVALID_SOCKET || FType != kStreamSocket)
        return;
    int value = on ? 1 : 0;
    ::setsockopt(FHSocket, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value);
}

bool TCustomWSocket::NoDelay() const
{
    int value = 0;
    socklen_t len = sizeof value;
    return FHSocket != INVALID_SOCKET && ::getsockopt(FHSocket, IPPROTO_TCP, TCP_NODELAY, &value, &len) == 0 &&
        value != 0;
}

void TCustomWSocket::Dup(TSocket newHSocket)
{
    // Descriptor 0 is a valid socket on POSIX; only negative ones are not.
    if (newHSocket < 0)
        raiseError(WSAEINVAL, "Dup");
    if (FState != wsClosed) {
        int rc = FHSocket != INVALID_SOCKET ? ::close(FHSocket) : 0;
        int err = errno;
        DropHandle();
        if (rc != 0 && err != EINTR) {
            ::close(newHSocket); // not taken over: do not leak it
            raiseError(WSocketErrnoToWsa(err), "Dup (closesocket)");
        }
        ChangeState(wsClosed);
    }
    NewHandle(newHSocket);
    int type = SOCK_STREAM;
    socklen_t len = sizeof type;
    ::getsockopt(newHSocket, SOL_SOCKET, SO_TYPE, &type, &len);
    FType = type == SOCK_DGRAM ? kDatagramSocket : kStreamSocket;
    ChangeState(wsConnected);
    AsyncSelect(kConnectedEvents);
}

void TCustomWSocket::Close()
{
    InternalClose(true);
}

void TCustomWSocket::Abort()
{
    InternalClose(false);
}

void TCustomWSocket::InternalClose(bool shutdownFirst)
{
    if (FHSocket == INVALID_SOCKET) {
        if (FState == wsClosed)
            return;
        ChangeState(wsClosed);
        AssignDefaultValue();
        return;
    }
    if (FState == wsClosed)
        return;
    if (shutdownFirst)
        ::shutdown(FHSocket, SHUT_RDWR);
    // POSIX close releases the descriptor even when it reports EINTR, and
    // retrying could close a number already reused: close exactly once.
    int rc = ::close(FHSocket);
    int err = errno;
    DropHandle();
    if (rc != 0 && err != EINTR) {
        FLastError = WSocketErrnoToWsa(err);
        raiseError(FLastError, "Disconnect (closesocket)");
    }
    auto alive = Alive();
    uint32_t generation = FGeneration;
    ChangeState(wsClosed);
    if (alive.expired())
        return;
    if (!FDestroying && !FCloseInvoked && OnSessionClosed) {
        FCloseInvoked = true;
        OnSessionClosed(this, 0);
        if (alive.expired())
            return;
    }
    // A handler that already made a new connection keeps it.
    if (generation == FGeneration)
        AssignDefaultValue();
}

void TCustomWSocket::Shutdown(int how)
{
    if (FHSocket != INVALID_SOCKET)
        ::shutdown(FHSocket, how);
}

void TCustomWSocket::Pause()
{
    FPaused = true;
    AsyncSelect(kNoEvents);
}

void TCustomWSocket::Resume()
{
    FPaused = false;
    AsyncSelect(kConnectedEvents);
}

void TCustomWSocket::WaitForClose()
{
    // The notifications deliver the remaining data and the close itself;
    // this keeps the event loop turning (sleeping between events). Bytes
    // that nobody takes (no line read, no data handler, or one that reads
    // nothing) would hide the peer's close for ever: then it returns.
    auto alive = Alive();
    while (FHSocket != INVALID_SOCKET && FState != wsClosed) {
        int count = 0;
        if (::ioctl(FHSocket, FIONREAD, &count) != 0) {
            FLastError = WSocketSaveErrno();
            return;
        }
        if (count > 0) {
            const uint64_t consumed = FConsumed;
            if (ReadLineFlag)
                ReadLineReceive();
            else if (OnDataAvailable)
                OnDataAvailable(this, 0);
            if (alive.expired())
                return;
            if (FConsumed == consumed)
                return;
            continue;
        }
        RearmIfWaiting();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (alive.expired())
            return;
    }
}

bool TCustomWSocket::Wait(int timeout, TSocketState waitedState)
{
    if (FState == waitedState)
        return false;
    if (!FMultiThreaded && !WaitCtrl())
        raiseError(WSANO_DATA, "TWSocket.Wait");
    FStateWaited = waitedState;
    struct Reset {
        TCustomWSocket* s;
        std::weak_ptr<bool> alive;
        ~Reset()
        {
            if (!alive.expired())
                s->FStateWaited = wsInvalidState;
        }
    } reset{this, Alive()};
    if (FMultiThreaded) {
        // A failed connection ends a wait for wsConnected at once, as the
        // wait control is stopped in that case too.
        WaitLoop([&] { return FState == waitedState || (waitedState == wsConnected && FState == wsClosed); },
                 static_cast<int64_t>(timeout) * 1000);
    } else {
        WaitWithControl(timeout);
    }
    if (reset.alive.expired())
        return false; // a handler deleted this object
    return FState == waitedState;
}
