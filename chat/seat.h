#pragma once
// One of the nine places of a group as this instance sees it. On the hub it
// is a seat: the connection of one peer, its line buffer, its name once its
// name line came, and whether the others can call it back. On a peer only
// the name is used: the roster its hub told it.

#include "linebuffer.h"
#include "reachcheck.h"
#include "wsocket.h"

#include <memory>
#include <string>

// Whether a seat answers on the chat port where the hub sees it, for the
// next-candidate choice. A seat is checked once, after its first name line
// (by then a joining instance is a peer, which answers every caller with a
// redirect line): the hub calls the seat's address back and reads one line.
enum class TReach : unsigned char {
    Unknown, // no name line yet
    Due,     // named; its check waits for the seat's checker
    Checking,
    Silent,   // refused, silent, or not a redirect line
    Answered, // answered from a private address
    Public,   // answered from a public address
};

struct TSeat {
    std::unique_ptr<TWSocket> Socket = std::make_unique<TWSocket>();
    std::string Name; // the roster's caption of this place; empty = free
    TLineBuffer Buf;  // what the seat sent, cut into lines
    // Occupied: connected, and its departure not yet handled. Matters only
    // when handlers nest: a seat whose departure is running is no longer
    // sent to or chosen, even while its socket still counts as connected,
    // and a departure runs once per connection, also when the socket layer
    // drops a connection without an event.
    bool Seated = false;
    TReach Reach = TReach::Unknown;
    // Occupant serial, so that a check's result is kept only for the
    // occupant it checked. A seat whose occupants come and go faster than a
    // check ends gets no new check until the running one has ended.
    unsigned Serial = 0;
    TReachCheck Check;

    bool Connected() const { return Seated && Socket->State() == wsConnected; }
};
