// TCustomWSocket: receiving, the data-available loop and line mode.
#include "wsocket.h"
#include "wsockendpoint.h"

#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace {
constexpr int kMaxLine = 254;
}

int TCustomWSocket::Receive(void* buffer, int len)
{
    RearmIfWaiting();
    if (len < 0 || (len > 0 && buffer == nullptr)) {
        FLastError = WSAEFAULT;
        return -1;
    }
    if (FTls)
        return tlsReceive(buffer, len);
    ssize_t n;
    do {
        n = ::recv(FHSocket, buffer, static_cast<size_t>(len), 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        FLastError = WSocketSaveErrno();
        return -1;
    }
    if (n == 0 && len > 0 && FWindowHandle->PeerError() != 0) {
        FLastError = FWindowHandle->PeerError(); // a reset, not an orderly close
        WSASetLastError(FLastError);
        return -1;
    }
    // Fewer bytes than asked for: the kernel had no more at that moment.
    FDrained = n < len;
    AddReadCount(static_cast<int>(n));
    return static_cast<int>(n);
}

int TCustomWSocket::ReceiveFrom(void* buffer, int len, sockaddr_in& from, int& fromLen)
{
    RearmIfWaiting();
    if (len < 0 || (len > 0 && buffer == nullptr)) {
        FLastError = WSAEFAULT;
        return -1;
    }
    socklen_t addrLen = fromLen < 0 ? 0 : static_cast<socklen_t>(fromLen);
    if (addrLen > sizeof from)
        addrLen = sizeof from;
    ssize_t n;
    do {
        n = ::recvfrom(FHSocket, buffer, static_cast<size_t>(len), 0, reinterpret_cast<sockaddr*>(&from), &addrLen);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        FLastError = WSocketSaveErrno();
        return -1;
    }
    fromLen = static_cast<int>(addrLen);
    AddReadCount(static_cast<int>(n));
    return static_cast<int>(n);
}

int TCustomWSocket::RcvdCount()
{
    int count = 0;
    if (::ioctl(FHSocket, FIONREAD, &count) != 0)
        raiseErrno("ioctlSocket");
    return count;
}

int TCustomWSocket::waitingBytes() const
{
    int count = 0;
    if (::ioctl(FHSocket, FIONREAD, &count) != 0)
        return -1;
    if (tlsPending())
        ++count; // a record's plaintext, or its bytes, wait inside TLS
    return count;
}

bool TCustomWSocket::PeerEnded() const
{
    if (FHSocket == INVALID_SOCKET || FState != wsConnected)
        return false;
    pollfd p{FHSocket, POLLRDHUP, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

// Returns whether read notifications may be re-armed at once.
bool TCustomWSocket::ASyncReceive(uint16_t error)
{
    // The owner hears nothing of a link that is not (or no longer) open.
    if (tlsHandshaking())
        return tlsReadHandshake();
    auto alive = Alive();
    TSocket socket = FHSocket;
    uint32_t generation = FGeneration;
    uint64_t start = FBytesIn;
    uint64_t consumedAtStart = FConsumed;
    for (;;) {
        FLastError = 0;
        FDrained = false;
        uint64_t before = FConsumed;
        try {
            if (ReadLineFlag)
                ReadLineReceive();
            else if (OnDataAvailable)
                OnDataAvailable(this, error);
            else
                break;
        } catch (...) {
            // An exception from the handler ends the loop and goes no further.
            if (alive.expired())
                return false;
            break;
        }
        if (alive.expired())
            return false;
        if (FHSocket != socket || FGeneration != generation || FLastError != 0 || FReadHeld || tlsHandshaking())
            break;
        // A turn that read nothing would repeat for ever; and a peer that
        // sends faster than we read must not keep the loop to itself: the
        // rest waits for the next turn of the event loop.
        if (FConsumed == before || FBytesIn - start >= static_cast<uint64_t>(FReceiveBurst))
            break;
        // A read that the kernel could not fill left nothing waiting: no
        // need to ask. Bytes that arrive after it wake the re-armed notifier.
        if (FDrained)
            break;
        const int count = waitingBytes();
        if (count < 0) {
            FLastError = WSocketSaveErrno();
            break;
        }
        if (count == 0)
            break;
    }
    if (alive.expired() || FHSocket != socket || FGeneration != generation)
        return false;
    // What reading made TLS say (an alert, a key update) goes out now,
    // outside the owner's handler.
    if (FTls && !tlsFlushOut())
        return false;
    if (FConsumed != consumedAtStart)
        return true;
    // Nothing taken: watch again only if nothing is waiting (then only new
    // bytes or the peer's close can wake us). Bytes left unread by a handler
    // that takes none would report themselves for ever; they wait for the
    // next Receive instead, as on Windows.
    return waitingBytes() <= 0;
}

void TCustomWSocket::CheckFWait()
{
    if (!WaitCtrl())
        throw ESocketException("No wait object assigned");
}

void TCustomWSocket::ReadLineStart()
{
    if (!ReadLineFlag) {
        ReadLineBuffer.clear();
        ReadLineCount = 0;
        ReadLineFlag = true;
    }
}

void TCustomWSocket::ReadLineReceive()
{
    auto lineDone = [this] {
        ReadLineFlag = false;
        if (!FInReadLine)
            ReadLineReady = true;
        stopWait();
    };
    RearmIfWaiting();
    auto alive = Alive();
    for (;;) {
        if (FHSocket == INVALID_SOCKET) {
            lineDone();
            return;
        }
        if (FState != wsConnected)
            return;
        int count = 0;
        if (::ioctl(FHSocket, FIONREAD, &count) != 0) {
            ReadLineFlag = false;
            raiseErrno("ioctlSocket");
        }
        if (count <= 0)
            return;
        char c;
        ssize_t n = ::recv(FHSocket, &c, 1, 0);
        if (n == 1) {
            AddReadCount(1);
            if (c != '\n' && c != '\r') {
                ++ReadLineCount;
                ReadLineBuffer.push_back(c);
            }
            if (ReadLineCount >= kMaxLine) {
                c = '\n';
                if (OnLineTooLong) {
                    OnLineTooLong(this);
                    if (alive.expired())
                        return;
                }
            }
            if (c == '\n') {
                lineDone();
                return;
            }
            continue;
        }
        int err = n == 0 ? 0 : WSocketSaveErrno();
        if (n == 0 || err == WSAECONNRESET) {
            lineDone();
            Close();
            return;
        }
        if (err == WSAEWOULDBLOCK || err == WSAEINTR)
            return; // nothing after all; the next notification continues
        raiseError(err, "ReadLine");
    }
}

void TCustomWSocket::ReadLine(int timeout, std::string& buffer)
{
    if (!FMultiThreaded)
        CheckFWait();
    if (ReadLineReady) {
        // The line that timed out was finished since: hand it over now.
        ReadLineReady = false;
        buffer = ReadLineBuffer;
        return;
    }
    const bool outer = FInReadLine;
    FInReadLine = true;
    auto alive = Alive();
    struct Restore {
        bool& flag;
        bool value;
        const std::weak_ptr<bool>& alive;
        ~Restore()
        {
            if (!alive.expired())
                flag = value;
        }
    } restore{FInReadLine, outer, alive};
    ReadLineStart();
    ReadLineReceive();
    if (alive.expired())
        return; // a handler deleted this object
    if (ReadLineFlag) {
        if (FMultiThreaded)
            WaitLoop([this] { return !ReadLineFlag; }, static_cast<int64_t>(timeout) * 1000);
        else
            WaitWithControl(timeout);
        if (alive.expired())
            return;
    }
    buffer = ReadLineBuffer;
}
