#pragma once
// One of the nine places of a group as this instance sees it. On the hub it
// is a seat: the connection of one peer, its line buffer, its name once its
// name line came, whether the others can call it back, and its share of the
// hub's flow (its line rate, whether its unsent bytes are above the high
// mark). On a peer only the name is used: the roster its hub told it.

#include "linebuffer.h"
#include "linerate.h"
#include "reachcheck.h"
#include "wsocket.h"

#include <QTimer>

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
    // A caller is a member once its first name line came: before that it
    // is sent no chat line, what else it says is dropped, it is never the
    // candidate, and it leaves without a trace. NameWait closes it if it
    // stays unnamed.
    bool Named = false;
    QTimer NameWait;
    // The encrypted link's negotiation (only when the hub offers it):
    // Offered while the caller's first line is awaited (OfferWait), Securing
    // from go to the end of the TLS handshake. Until then the seat is sent
    // nothing, not even the admission lines.
    bool Offered = false;
    bool Securing = false;
    // Encrypted, and asked for the group word: its proof is awaited; it is
    // sent nothing else until the proof is right.
    bool Proving = false;
    QTimer OfferWait;
    // Hub: Encrypted once its TLS handshake is done; Plain when it was
    // offered TLS and was admitted in the clear. Peer: Plain when its hub
    // said that this place's member is linked to it in the clear. Either
    // way Plain marks the place in the roster.
    bool Encrypted = false;
    bool Plain = false;
    std::string Address; // where it called from (the journal, the roster)
    // Its line rate; RateWait ends the pause of a seat whose lines wait in
    // Buf (reading it is held meanwhile).
    TLineRate Rate;
    QTimer RateWait;
    // Its unsent bytes passed the high mark and have not yet fallen to the
    // low one: the seats that feed it are not read.
    bool Above = false;

    bool Connected() const { return Seated && Socket->State() == wsConnected; }
    bool Member() const { return Named && Connected(); }
    bool Negotiating() const { return Offered || Securing || Proving; }
    // Nothing is known of how a new or departed occupant's link is carried.
    void ForgetLink() { Offered = Securing = Encrypted = Plain = Proving = false; }
};
