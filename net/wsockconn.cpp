// TCustomWSocket: connecting, listening, taking over, closing and waiting.
#include "wsocket.h"
#include "wsockendpoint.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Failures that Windows reports through the connect notification rather
// than from connect() itself; Linux may return them at once on loopback.
bool IsDeferredConnectError(int err)
{
    return err == ECONNREFUSED || err == ETIMEDOUT || err == ENETUNREACH ||
           err == EHOSTUNREACH || err == ECONNRESET;
}

int SetIntOption(int socket, int option, int value)
{
    return ::setsockopt(socket, SOL_SOCKET, option, &value, sizeof value);
}

} // namespace

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

    int type = (FType == 2 ? SOCK_DGRAM : SOCK_STREAM) | SOCK_NONBLOCK | SOCK_CLOEXEC;
    int s = ::socket(FAddrFormat, type, FProto);
    if (s < 0) {
        WSocketSaveErrno();
        SocketError("Connect (socket)");
    }
    NewHandle(s);
    ChangeState(wsOpened);

    if (FType == 2) {
        BindSocket();
        if (sin.sin_addr.s_addr == INADDR_BROADCAST && SetIntOption(s, SO_BROADCAST, 1) != 0) {
            WSocketSaveErrno();
            SocketError("setsockopt(SO_BROADCAST)");
        }
        AsyncSelect(0x3B);
        ChangeState(wsConnected);
        if (OnSessionConnected)
            OnSessionConnected(this, 0);
        return;
    }

    // Abortive close: a later close drops what is unsent and resets the peer.
    linger lg{1, 0};
    if (::setsockopt(s, SOL_SOCKET, SO_LINGER, &lg, sizeof lg) != 0) {
        WSocketSaveErrno();
        SocketError("setsockopt(SO_LINGER)");
    }
    if (SetIntOption(s, SO_KEEPALIVE, 1) != 0) {
        WSocketSaveErrno();
        SocketError("setsockopt(SO_KEEPALIVE)");
    }
    if (SetIntOption(s, SO_REUSEADDR, 1) != 0) {
        WSocketSaveErrno();
        SocketError("setsockopt(SO_REUSEADDR)");
    }
    if (FLocalAddr != 0) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = FLocalAddr;
        if (::bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            WSocketSaveErrno();
            SocketError("Bind");
        }
    }

    int rc;
    do {
        rc = ::connect(s, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0 || errno == EINPROGRESS) {
        // wsConnected is entered only by the connect notification.
        ChangeState(wsConnecting);
        AsyncSelect(0x3B, TWSocketEndpoint::kConnecting);
        return;
    }
    if (IsDeferredConnectError(errno)) {
        uint16_t code = static_cast<uint16_t>(WSocketErrnoToWsa(errno));
        AsyncSelect(0x3B, TWSocketEndpoint::kNone);
        FWindowHandle->PostSelect(FHSocket, FGeneration, FD_CONNECT, code);
        ChangeState(wsConnecting);
        return;
    }
    FLastError = WSocketSaveErrno();
    SocketError("Connect");
}

int TCustomWSocket::Listen()
{
    if (!FPortAssigned) {
        WSASetLastError(WSAEINVAL);
        SocketError("listen: port not assigned");
    }
    if (!FProtoAssigned) {
        WSASetLastError(WSAEINVAL);
        SocketError("listen: protocol not assigned");
    }
    if (!FAddrAssigned) {
        WSASetLastError(WSAEINVAL);
        SocketError("listen: address not assigned");
    }
    // A second Listen would leak the socket held and its notifications.
    if (FHSocket != INVALID_SOCKET && FState != wsClosed) {
        WSASetLastError(WSAEINVAL);
        SocketError("Listen");
    }
    int type = (FType == 2 ? SOCK_DGRAM : SOCK_STREAM) | SOCK_NONBLOCK | SOCK_CLOEXEC;
    int s = ::socket(FAddrFormat, type, FProto);
    if (s < 0) {
        WSocketSaveErrno();
        SocketError("socket");
    }
    // A failed listen releases its socket before reporting, so that a closed
    // object never holds a handle.
    auto fail = [this](const char* function) {
        WSocketSaveErrno();
        int code = WSAGetLastError();
        ::close(FHSocket);
        DropHandle();
        if (FState != wsClosed)
            ChangeState(wsClosed);
        WSASetLastError(code);
        SocketError(function);
    };
    NewHandle(s);
    // Lets a restarted hub listen again at once while old connections of the
    // port linger in TIME_WAIT; it does not let two listeners share the port.
    if (FType == 1 && SetIntOption(s, SO_REUSEADDR, 1) != 0)
        fail("setsockopt(SO_REUSEADDR)");
    if (::bind(s, reinterpret_cast<sockaddr*>(&sin), sizeof sin) != 0)
        fail("Bind");
    ChangeState(wsBound);
    if (FType == 2) {
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
        if (::listen(s, 5) != 0)
            fail("Listen");
        ChangeState(wsListening);
    }
    AsyncSelect(0x2B);
    return 0;
}

TSocket TCustomWSocket::Accept()
{
    if (FState != wsListening) {
        WSASetLastError(WSAEINVAL);
        SocketError("not a listening socket");
    }
    socklen_t len = sizeof sin;
    int a;
    do {
        a = ::accept4(FHSocket, reinterpret_cast<sockaddr*>(&sin), &len,
                      SOCK_NONBLOCK | SOCK_CLOEXEC);
    } while (a < 0 && errno == EINTR);
    if (a < 0) {
        int err = errno;
        WSocketSaveErrno();
        if (FRearmPending && (err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM)) {
            FRearmPending = false;
            FWindowHandle->ArmReadLater(1000);
        } else {
            RearmIfWaiting();
        }
        SocketError("Accept");
    }
    RearmIfWaiting();
    FASocket = a;
    return a;
}

void TCustomWSocket::Dup(TSocket newHSocket)
{
    // Descriptor 0 is a valid socket on POSIX; only negative ones are not.
    if (newHSocket < 0) {
        WSASetLastError(WSAEINVAL);
        SocketError("Dup");
    }
    if (FState != wsClosed) {
        int rc = FHSocket != INVALID_SOCKET ? ::close(FHSocket) : 0;
        int err = errno;
        DropHandle();
        if (rc != 0 && err != EINTR) {
            ::close(newHSocket); // not taken over: do not leak it
            WSASetLastError(WSocketErrnoToWsa(err));
            SocketError("Dup (closesocket)");
        }
        ChangeState(wsClosed);
    }
    NewHandle(newHSocket);
    int type = SOCK_STREAM;
    socklen_t len = sizeof type;
    ::getsockopt(newHSocket, SOL_SOCKET, SO_TYPE, &type, &len);
    FType = type == SOCK_DGRAM ? 2 : 1;
    ChangeState(wsConnected);
    AsyncSelect(0x33);
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
        WSASetLastError(FLastError);
        SocketError("Disconnect (closesocket)");
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
    AsyncSelect(0);
}

void TCustomWSocket::Resume()
{
    FPaused = false;
    AsyncSelect(0x33);
}

void TCustomWSocket::WaitForClose()
{
    // The notifications deliver the remaining data and the close itself;
    // this only keeps the event loop turning (sleeping between events).
    auto alive = Alive();
    while (FHSocket != INVALID_SOCKET && FState != wsClosed) {
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
    if (!FMultiThreaded && !FWait) {
        WSASetLastError(WSANO_DATA);
        SocketError("TWSocket.Wait");
    }
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
        WaitLoop(
            [&] {
                return FState == waitedState ||
                       (waitedState == wsConnected && FState == wsClosed);
            },
            static_cast<int64_t>(timeout) * 1000);
    } else {
        WaitWithControl(timeout);
    }
    return FState == waitedState;
}
