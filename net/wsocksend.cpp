// TCustomWSocket: the send queue, its pump and Flush.
#include "wsocket.h"
#include "wsockendpoint.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

int TCustomWSocket::Send(const void* data, int len)
{
    if (FState != wsConnected)
        raiseError(WSAENOTCONN, "Send");
    if (len <= 0 || data == nullptr)
        return 0;
    if (FTls)
        return tlsSend(static_cast<const char*>(data), len);
    return sendRaw(static_cast<const char*>(data), len);
}

int TCustomWSocket::sendRaw(const char* p, int len)
{
    int remaining = len;

    auto alive = Alive();
    TSocket socket = FHSocket;
    uint32_t generation = FGeneration;
    auto closedUnder = [&] { return alive.expired() || FHSocket != socket || FGeneration != generation; };

    bool pumped = false;
    // Nothing queued on a stream: hand the caller's bytes to the kernel
    // straight away and queue only what it does not take. Datagrams and
    // urgent data keep going block by block, as their boundaries matter.
    if (FQueued == 0 && FType != kDatagramSocket && FSendFlags == 0 && FHSocket != INVALID_SOCKET) {
        bAllSent = false;
        const int n = sendOnce(p, remaining);
        if (closedUnder())
            return len; // the send met a reset and closed the connection
        if (n > 0) {
            FBytesOut += static_cast<uint64_t>(n);
            p += n;
            remaining -= n;
        }
        if (remaining == 0) {
            bAllSent = true;
            postDataSent();
            return len;
        }
        if (n >= 0)
            FWindowHandle->ArmWrite(); // the kernel is full: continue when writable
        pumped = true;
    }

    bAllSent = false;
    FQueued += static_cast<size_t>(remaining);
    if (FBufList.empty())
        FBufList.push_back(std::make_unique<TBuffer>());
    int n = FBufList.back()->Write(p, remaining);
    while (n < remaining) {
        p += n;
        remaining -= n;
        FBufList.push_back(std::make_unique<TBuffer>());
        n = FBufList.back()->Write(p, remaining);
    }

    if (!pumped)
        TryToSend();
    if (closedUnder())
        return len; // the pump met a reset and closed the connection
    if (FQueued > FMaxSendQueue) {
        // The peer does not read: end the connection rather than let the
        // queue grow without bound. Abortive, so the kernel frees it at once.
        linger lg{1, 0};
        ::setsockopt(FHSocket, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
        FLastError = WSAENOBUFS;
        Abort();
        return len;
    }
    queueLevelChanged();
    if (closedUnder())
        return len;
    if (bAllSent)
        postDataSent();
    return len;
}

void TCustomWSocket::postDataSent()
{
    // OnDataSent follows Send as a notification of its own, never inside it.
    // One covers every Send of this turn, and none is posted while nobody
    // listens: relaying a burst of lines must not post an event per line.
    if (!OnDataSent || FWritePosted)
        return;
    FWritePosted = true;
    FWindowHandle->PostSelect(FHSocket, FGeneration, FD_WRITE, 0);
}

int TCustomWSocket::SendStr(const std::string& str)
{
    if (str.size() > 0x7FFFFFFF)
        throw ESocketException("Send: text too long");
    return Send(str.data(), static_cast<int>(str.size()));
}

void TCustomWSocket::TryToSend()
{
    if (FHSocket == INVALID_SOCKET || FBufList.empty())
        return;
    for (;;) {
        TBuffer* block = FBufList.front().get();
        int len = 0;
        const char* p = block->Peek(len);
        if (len <= 0) {
            if (FBufList.size() == 1) {
                bAllSent = true; // the emptied block stays for reuse
                return;
            }
            FBufList.pop_front();
            continue;
        }
        const int n = sendOnce(p, len);
        if (n <= 0)
            return;
        block->Remove(n);
        FQueued -= static_cast<size_t>(n);
        FBytesOut += static_cast<uint64_t>(n);
        if (n < len) {
            FWindowHandle->ArmWrite(); // the socket is full
            return;
        }
    }
}

int TCustomWSocket::sendOnce(const char* p, int len)
{
    const int flags = FSendFlags | MSG_NOSIGNAL;
    ssize_t n;
    do {
        if (FType == kDatagramSocket)
            n = ::sendto(FHSocket, p, static_cast<size_t>(len), flags, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
        else
            n = ::send(FHSocket, p, static_cast<size_t>(len), flags);
    } while (n < 0 && errno == EINTR);
    if (n >= 0)
        return static_cast<int>(n);
    int err = WSocketSaveErrno();
    if (err == WSAECONNRESET || err == WSAENOTSOCK || err == WSAENOTCONN || err == WSAEINVAL) {
        FLastError = err;
        Close();
    } else if (err == WSAEWOULDBLOCK) {
        FWindowHandle->ArmWrite();
    } else {
        raiseError(err, "TryToSend failed");
    }
    return -1;
}

void TCustomWSocket::DiscardSendQueue()
{
    while (FBufList.size() > 1)
        FBufList.pop_back();
    if (!FBufList.empty())
        FBufList.front()->Clear();
    FQueued = 0;
    bAllSent = true;
}

size_t TCustomWSocket::SendQueueSize() const
{
    return FQueued;
}

void TCustomWSocket::Flush()
{
    auto alive = Alive();
    // Both ways are bounded by FlushTimeout: a peer that never reads must not
    // hold the program here for ever.
    QDeadlineTimer deadline(static_cast<int64_t>(FFlushTimeout) * 1000, Qt::PreciseTimer);
    auto pending = [&] {
        return !alive.expired() && FHSocket != INVALID_SOCKET && !bAllSent && !deadline.hasExpired();
    };
    if (FMultiThreaded) {
        while (pending()) {
            TryToSend();
            if (!pending())
                break;
            WaitForEvents(deadline);
        }
        return;
    }
    TWaitControl* wait = WaitCtrl();
    if (!wait)
        throw ESocketException("No wait object assigned");
    std::weak_ptr<const void> waitAlive = FWaitAlive;
    wait->SetCaption(std::to_string(FFlushTimeout));
    wait->Show();
    wait->Start();
    struct Finish {
        TWaitControl* w;
        const std::weak_ptr<const void>& alive;
        ~Finish()
        {
            if (alive.expired())
                return;
            w->Stop();
            w->Hide();
        }
    } finish{wait, waitAlive};
    while (pending() && !waitAlive.expired() && wait->Running()) {
        TryToSend();
        if (!pending())
            break;
        WaitForEvents(deadline);
    }
}

bool WSocketsSendWouldFail(TCustomWSocket* const* sockets, int n, size_t len)
{
    pollfd fds[16];
    int count = 0;
    for (int i = 0; i < n; ++i) {
        TCustomWSocket* s = sockets[i];
        if (s->State() != wsConnected || s->HSocket() == INVALID_SOCKET)
            continue;
        // Something is queued: Send only appends, and ends the connection
        // when the queue passes its limit.
        if (s->SendQueueSize() > 0 && s->SendQueueSize() + len > s->MaxSendQueue())
            return true;
        if (count == static_cast<int>(sizeof fds / sizeof fds[0]))
            return true; // more than a relay has: ask nobody, assume the worst
        fds[count++] = pollfd{s->HSocket(), 0, 0};
    }
    if (count == 0)
        return false;
    int rc;
    do
        rc = ::poll(fds, static_cast<nfds_t>(count), 0);
    while (rc < 0 && errno == EINTR);
    if (rc <= 0)
        return false;
    // POLLERR: an error waits (a reset); POLLHUP: both directions are shut
    // (a reset, or our shutdown met the peer's), so send fails with EPIPE.
    // A peer that only closed its own side (POLLRDHUP) still takes bytes.
    for (int i = 0; i < count; ++i)
        if (fds[i].revents & (POLLERR | POLLHUP | POLLNVAL))
            return true;
    return false;
}
