#pragma once
// Dead-link detection on chat connections (internal to the socket component).
//
// A peer whose machine loses power, whose cable is pulled or whose Wi-Fi
// drops sends neither FIN nor RST; with the system's keep-alive defaults a
// connection to it would stay "connected" for two hours. Every chat
// connection, the ones this side opens and the ones it accepts, asks the
// kernel to probe an idle link and to give up on unacknowledged data, so a
// dead other end turns into the connection's close (error 10060) after
// about DeadLinkSeconds() of silence. The kernel probes; the process sleeps.

#include <string>

struct TDeadLinkTimes {
    int idle;          // TCP_KEEPIDLE, seconds of silence before the first probe
    int interval;      // TCP_KEEPINTVL, seconds between probes
    int count;         // TCP_KEEPCNT, unanswered probes that end the link
    int userTimeoutMs; // TCP_USER_TIMEOUT, unacknowledged data that ends it
};

// Seconds of silence after which the other end is taken for dead: 20, or
// PELMORA_DEADLINK_SECONDS (2 to 3600) for tests.
int DeadLinkSeconds();
// The socket options that notice a dead end after `seconds` of silence.
TDeadLinkTimes DeadLinkTimes(int seconds);
// Sets SO_KEEPALIVE and the options above on a connected or connecting TCP
// socket. A kernel that refuses one is not an error: the connection works as
// before, without the shorter detection, and the first refusal is logged
// once as a warning. Returns false when an option was refused.
bool WSocketWatchDeadLink(int socket);
