// Dead-link detection: keep-alive tuning and TCP_USER_TIMEOUT on chat links.
#include "wsockkeepalive.h"

#include <QByteArray>
#include <QtGlobal>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

// Twenty seconds: long enough that a live peer behind a poor link (lost
// packets, a few hundred milliseconds of delay) answers one of several
// probes, short enough that a group regroups before its users give up.
constexpr int kDeadLinkSeconds = 20;
constexpr int kMinDeadLinkSeconds = 2;
constexpr int kMaxDeadLinkSeconds = 3600;

std::atomic<bool> gWarned{false};

bool setTcpOption(int socket, int option, int value)
{
    return ::setsockopt(socket, IPPROTO_TCP, option, &value, sizeof value) == 0;
}

} // namespace

int DeadLinkSeconds()
{
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("PELMORA_DEADLINK_SECONDS", &ok);
    if (ok && seconds >= kMinDeadLinkSeconds && seconds <= kMaxDeadLinkSeconds)
        return seconds;
    return kDeadLinkSeconds;
}

TDeadLinkTimes DeadLinkTimes(int seconds)
{
    // The first probe goes out after two fifths of the silence, then one
    // every tenth: at 20 s that is six probes, all of which must go
    // unanswered, so a live peer behind a lossy link is not given up.
    TDeadLinkTimes t{};
    t.idle = qMax(1, seconds * 2 / 5);
    t.interval = qMax(1, seconds / 10);
    t.count = qMax(1, (seconds - t.idle) / t.interval);
    // With a user timeout set, Linux ends an idle link at the first probe
    // tick at which the silence has lasted that long; half an interval
    // short of the last tick makes that tick the one, whatever the timer
    // slack. Unacknowledged data is given up after the same time.
    t.userTimeoutMs = (t.idle + t.interval * t.count) * 1000 - t.interval * 500;
    return t;
}

bool WSocketWatchDeadLink(int socket)
{
    const TDeadLinkTimes t = DeadLinkTimes(DeadLinkSeconds());
    const int on = 1;
    const char* refused = nullptr;
    if (::setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0)
        refused = "SO_KEEPALIVE";
    else if (!setTcpOption(socket, TCP_KEEPIDLE, t.idle))
        refused = "TCP_KEEPIDLE";
    else if (!setTcpOption(socket, TCP_KEEPINTVL, t.interval))
        refused = "TCP_KEEPINTVL";
    else if (!setTcpOption(socket, TCP_KEEPCNT, t.count))
        refused = "TCP_KEEPCNT";
    else if (!setTcpOption(socket, TCP_USER_TIMEOUT, t.userTimeoutMs))
        refused = "TCP_USER_TIMEOUT";
    if (!refused)
        return true;
    const int err = errno;
    if (!gWarned.exchange(true))
        qWarning("dead-link detection not available (%s: %s); a silently lost "
                 "peer is noticed only by the system's own time-outs",
                 refused, std::strerror(err));
    return false;
}
