// TCustomWSocket: flow control for a relay. Reading can be held (the
// kernel and TCP's window keep the peer's bytes meanwhile), the send queue
// reports its high and low water marks, and a queue that stops moving ends
// its connection.
#include "wsocket.h"
#include "wsockendpoint.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <sys/socket.h>

namespace {

int64_t nowMs()
{
    return QDeadlineTimer::current(Qt::CoarseTimer).deadline();
}

} // namespace

void TCustomWSocket::SetReadHeld(bool held)
{
    if (held == FReadHeld)
        return;
    FReadHeld = held;
    if (held) {
        FWindowHandle->HoldRead(true);
        return;
    }
    releaseHeldEvents();
}

void TCustomWSocket::releaseHeldEvents()
{
    // Posted rather than run here: the caller may be in the middle of
    // another socket's handler.
    if (tlsPending())
        FHeldEvents |= FD_READ; // plaintext held inside TLS wakes no notifier
    if (FHeldEvents != 0 && FHSocket != INVALID_SOCKET)
        FWindowHandle->PostSelect(FHSocket, FGeneration, FHeldEvents, FHeldError);
    FHeldEvents = 0;
    FHeldError = 0;
    FWindowHandle->HoldRead(false);
}

void TCustomWSocket::SetSendWaterMarks(size_t high, size_t low)
{
    FHighWater = high;
    FLowWater = std::min(low, high);
}

void TCustomWSocket::SetSendStallTimeout(int ms)
{
    FStallMs = std::max(ms, 0);
    if (FStallMs == 0) {
        FStallWatching = false;
        FWindowHandle->StopStallWatch();
    }
}

void TCustomWSocket::queueLevelChanged()
{
    if (FStallMs > 0) {
        if (FQueued > 0 && !FStallWatching) {
            FStallWatching = true;
            FStallMark = FBytesOut;
            FStallSince = nowMs();
            FWindowHandle->WatchStall(std::clamp(FStallMs / 4, 10, 1000));
        } else if (FQueued == 0 && FStallWatching) {
            FStallWatching = false;
            FWindowHandle->StopStallWatch();
        }
    }
    if (FHighWater == 0)
        return;
    bool above;
    if (!FQueueAbove && FQueued > FHighWater)
        above = true;
    else if (FQueueAbove && FQueued <= FLowWater)
        above = false;
    else
        return;
    FQueueAbove = above;
    if (OnSendQueueLevel)
        OnSendQueueLevel(this, above);
}

void TCustomWSocket::StallTick()
{
    if (FHSocket == INVALID_SOCKET || FQueued == 0 || FStallMs == 0) {
        FStallWatching = false;
        FWindowHandle->StopStallWatch();
        return;
    }
    const int64_t now = nowMs();
    if (FBytesOut != FStallMark) {
        FStallMark = FBytesOut;
        FStallSince = now;
        return;
    }
    if (now - FStallSince < FStallMs)
        return;
    // The peer has not read for that long: end it as the queue cap does,
    // abortively, so the kernel frees what it holds at once.
    linger lg{1, 0};
    ::setsockopt(FHSocket, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
    FLastError = WSAENOBUFS;
    Abort();
}
