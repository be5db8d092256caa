// The hub: admission to the nine seats, relay, departures and the choice of
// the next candidate.
// A seat (seat.h) is occupied while its socket is connected and its
// departure has not been handled yet.
#include "chatcore.h"

#include "ipv4.h"
#include "negotiation.h"
#include "texts.h"
#include "wire.h"
#include "wsocket.h"

#include <QDeadlineTimer>
#include <QTimer>

namespace {

int64_t nowMs()
{
    return QDeadlineTimer::current(Qt::PreciseTimer).deadline();
}

} // namespace

void TChatCore::SrvWSocketSessionAvailable(int /*error*/)
{
    TSocket h;
    try {
        h = SrvWSocket->Accept();
    } catch (const ESocketException&) {
        return; // the caller gave up before it was taken: nobody to answer
    }
    if (ownCaller(h))
        return;
    const std::string from = WSocketPeerAddress(h);
    if (!Guard.rules.Admits(from) || Guard.wordMisses.Banned(from, nowMs())) {
        hangUp(h); // denied, or shut out for wrong words: nothing is sent, nothing shown
        return;
    }
    if (!rbServer && FRegroup != TRegroup::None && LinkConnected() && FLink == TLink::Greeting &&
        FHeldCallers.size() < size_t(kSeats)) {
        // Regrouping, and the link to the candidate has said nothing yet:
        // it may be this instance's own link, coming round to its listener
        // just behind this caller. The caller waits until the link speaks
        // (it leads to another instance: redirect) or comes round (this
        // instance is the hub: seat).
        FHeldCallers.push_back(h);
        if (!FHeldTimer.isActive())
            FHeldTimer.start();
        return;
    }
    answerCaller(h);
}

void TChatCore::releaseHeldCallers()
{
    FHeldTimer.stop();
    std::vector<int> held;
    held.swap(FHeldCallers);
    // Every one is answered or hung up, whatever happens to the others.
    for (size_t i = 0; i < held.size(); ++i) {
        try {
            answerCaller(held[i]);
        } catch (...) {
            hangUp(held[i]);
            for (size_t j = i + 1; j < held.size(); ++j)
                FHeldCallers.push_back(held[j]);
            if (!FHeldCallers.empty())
                FHeldTimer.start(0); // the rest on the next turn
            throw;
        }
    }
}

void TChatCore::answerCaller(int h)
{
    if (!rbServer) {
        // A peer seats nobody: it tells the caller where its hub is.
        takeIntoTmp(h);
        try {
            TmpWSocket->SendStr(wire::RedirectLine(IPName));
        } catch (const ESocketException&) {
        }
        return;
    }

    int k = 1;
    while (k <= kSeats && Cli(k).State() == wsConnected)
        ++k;
    if (k > kSeats)
        k = freeEndedSeat();
    const std::string address = WSocketPeerAddress(h);
    if (Guard.seatsPerAddress > 0 && seatsOf(address) >= Guard.seatsPerAddress)
        k = kSeats + 1; // its address holds its share: as at a full hub
    if (k <= kSeats) {
        // Should the last occupant have gone without any event, its
        // departure is owed to the others before the seat is reused.
        seatLost(k);
        TSeat& seat = Seat(k);
        seat.Buf.Clear();
        seat.Socket->Dup(h);
        seat.Socket->SetNoDelay(true); // relayed blocks go out at once, not after an ACK
        seat.Seated = true;
        ++seat.Serial;
        seat.Reach = TReach::Unknown;
        seat.Named = false;
        seat.Address = address;
        seat.Rate.SetRate(Guard.lineRate);
        seat.Above = false;
        seat.NameWait.start();
        seat.ForgetLink();
        if (Encrypt.On()) {
            // The offer first; admission waits for the caller's answer.
            seatSend(k, negotiation::Build(negotiation::TStep::Offer));
            seat.Offered = SeatConnected(k);
            if (seat.Offered)
                seat.OfferWait.start();
        } else if (AskedWord()) {
            refusePlain(k);
        } else {
            admitSeat(k, false);
        }
        updateReadHolds();
    } else {
        takeIntoTmp(h);
        try {
            TmpWSocket->SendStr(wire::FullLine());
            drainTmp();
            TmpWSocket->Close();
        } catch (const ESocketException&) {
        }
    }
    ChooseIP(0);
}

void TChatCore::admitSeat(int k, bool late)
{
    // The admission lines, as to every caller: the hub's name and its
    // members' (a caller not yet named is nobody's business). The caller
    // is a member (chat lines, the candidate) once it names itself.
    seatSend(k, nameLine());
    for (int j = 1; j <= kSeats; ++j)
        if (j != k && Seat(j).Member())
            seatSend(k, wire::NameLine(Seat(j).Name));
    // An encrypted newcomer learns which of them talk in the clear.
    for (int j = 1; j <= kSeats && Seat(k).Encrypted; ++j)
        if (j != k && Seat(j).Member() && Seat(j).Plain)
            seatSend(k, negotiation::Build(negotiation::TStep::Plain, Seat(j).Name));
    if (!late)
        return;
    // What ChooseIP told the others while this seat was negotiating.
    seatSend(k, wire::NextAddressLine(NextIPd));
    if (!FNextKey.empty() && Cli(k).TlsEstablished())
        seatSend(k, negotiation::Build(negotiation::TStep::Key, FNextKey));
    if (!NextName.empty())
        seatSend(k, wire::NextNameLine(NextName));
}

bool TChatCore::seatNegotiation(int k, std::string_view line)
{
    TSeat& seat = Seat(k);
    if (seat.Proving) {
        seatProof(k, line);
        return true;
    }
    if (seat.Securing)
        return true; // nothing is read in the clear after the go
    seat.Offered = false;
    seat.OfferWait.stop();
    const negotiation::TLine n = negotiation::Parse(line);
    if (n.step != negotiation::TStep::Accept || n.version > negotiation::kVersion) {
        if (AskedWord()) {
            refusePlain(k);
            return true;
        }
        admitPlain(k); // this line is its first
        return false;
    }
    seatSend(k, negotiation::Build(negotiation::TStep::Go, n.version));
    if (!SeatConnected(k))
        return true;
    seat.Securing = true;
    try {
        seat.Socket->StartTls(Encrypt.ctx, true);
    } catch (const ESocketException&) {
        Cli(k).Close(); // it never named itself: no trace
    }
    return true;
}

void TChatCore::offerWaitOver(int k)
{
    TSeat& seat = Seat(k);
    if (!SeatConnected(k) || !seat.Offered)
        return;
    seat.Offered = false;
    if (AskedWord())
        refusePlain(k);
    else
        admitPlain(k); // silence
}

void TChatCore::admitPlain(int k)
{
    Seat(k).Plain = true;
    admitSeat(k, true);
}

void TChatCore::tellPlain(int k, const std::string& name)
{
    const std::string line = negotiation::Build(negotiation::TStep::Plain, name);
    for (int j = 1; j <= kSeats && !line.empty(); ++j)
        if (j != k && SeatConnected(j) && Seat(j).Encrypted) // named or not: it heard the name line
            seatSend(j, line);
    show(TChatEvent::Note(name + txt::kPlainWith));
}

void TChatCore::CliNWSocketTlsDone(int k, int error)
{
    TSeat& seat = Seat(k);
    if (error != 0 || !SeatConnected(k) || !seat.Securing)
        return;
    seat.Securing = false;
    seat.Encrypted = true;
    // Bytes that came in the clear behind the accept are no part of the
    // encrypted link: no line of it may begin with them.
    seat.Buf.Clear();
    if (AskedWord()) {
        // No admission line before the word is proved.
        seat.Proving = true;
        seatSend(k, negotiation::Build(negotiation::TStep::Word));
        return;
    }
    admitSeat(k, true);
}

void TChatCore::seatProof(int k, std::string_view line)
{
    TSeat& seat = Seat(k);
    seat.Proving = false;
    const negotiation::TLine n = negotiation::Parse(line);
    const groupword::TKeyRef key = AskedWord();
    const std::string expected = key
        ? groupword::Proof(*key, Cli(k).TlsExport(groupword::kExporterLabel, groupword::kExporterBytes))
        : std::string();
    const std::string address = seat.Address;
    if (n.step != negotiation::TStep::Proof || expected.empty()) {
        guardNote(txt::kWordMissingFrom, address);
        Cli(k).Close(); // it never named itself: no trace
        return;
    }
    if (groupword::Same(expected, n.text)) {
        admitSeat(k, true);
        return;
    }
    seatSend(k, negotiation::Build(negotiation::TStep::Wrong));
    guardNote(txt::kWordWrongFrom, address);
    if (Guard.wordMisses.Miss(address, nowMs()))
        guardNote(txt::kWordShutOut, address);
    if (SeatConnected(k))
        Cli(k).Close();
}

void TChatCore::refusePlain(int k)
{
    TSeat& seat = Seat(k);
    seat.Offered = false;
    seat.OfferWait.stop();
    const std::string address = seat.Address;
    seatSend(k, wire::WordNeededLine());
    guardNote(txt::kPlainRefusedFrom, address);
    if (!SeatConnected(k))
        return;
    // What it sent meanwhile is read first: closing on unread bytes would
    // reset the connection and could take the line with it.
    char sink[1024];
    try {
        for (int i = 0; i < 64 && Cli(k).Receive(sink, sizeof sink) > 0; ++i) { }
    } catch (const ESocketException&) {
    }
    if (SeatConnected(k))
        Cli(k).Close();
}

void TChatCore::guardNote(const std::string& text, const std::string& address)
{
    std::string note = text;
    const size_t at = note.find("%1");
    if (at != std::string::npos)
        note.replace(at, 2, address);
    FView->ShowJournal(note);
}

int TChatCore::freeEndedSeat()
{
    // A seat counts as occupied until its close event is handled; a caller
    // that arrives in the same turn as a departure is not told "full".
    for (int k = 1; k <= kSeats; ++k) {
        TWSocket& s = Cli(k);
        if (s.State() != wsConnected || !s.PeerEnded())
            continue;
        // Its last lines first, then its departure, as the events would.
        try {
            for (int i = 0; i < 64 && s.State() == wsConnected && s.RcvdCount() > 0; ++i)
                CliNWSocketDataAvailable(k, 0);
        } catch (const ESocketException&) {
        }
        if (s.State() == wsConnected)
            s.Close(); // its departure runs inside
        if (s.State() != wsConnected)
            return k;
    }
    return kSeats + 1;
}

void TChatCore::takeIntoTmp(int h)
{
    // An earlier caller still held here is hung up first, with whatever
    // was queued for it, so nothing meant for it can reach this caller.
    // TmpWSocket has no close handler: this raises nothing.
    if (TmpWSocket->State() != wsClosed)
        TmpWSocket->Close();
    TmpWSocket->Dup(h);
}

void TChatCore::drainTmp()
{
    char sink[1024];
    for (int i = 0; i < 64 && TmpWSocket->State() == wsConnected; ++i)
        if (TmpWSocket->Receive(sink, sizeof sink) <= 0)
            break;
}

void TChatCore::seatSend(int k, std::string_view bytes)
{
    relayPending(); // lines gathered before this go first, on every seat
    if (!SeatConnected(k))
        return;
    try {
        Cli(k).Send(bytes.data(), static_cast<int>(bytes.size()));
    } catch (const ESocketException&) {
        // The connection broke under the send and the socket dropped it
        // without an event: handle the departure here.
        seatLost(k);
    }
}

void TChatCore::seatLost(int k)
{
    if (Seat(k).Seated && Cli(k).State() != wsConnected)
        seatDeparture(k);
}

void TChatCore::Sendall(int notuser, std::string_view line)
{
    sendToSeats(notuser, line);
}

void TChatCore::show(const TChatEvent& event)
{
    relayPending(); // the seats are served before the pane, in every order
    FView->ShowEvent(event);
}

void TChatCore::sendToSeats(int notuser, std::string_view bytes)
{
    // Chat lines go to members only: a caller that has not named itself
    // hears nothing of what the group says.
    const bool chat = !bytes.empty() && bytes[0] == wire::kChat;
    for (int k = 1; k <= kSeats; ++k)
        if (k != notuser && (chat ? Seat(k).Member() : SeatConnected(k) && !Seat(k).Negotiating()))
            seatSend(k, bytes);
}

void TChatCore::CliNWSocketDataAvailable(int k, int /*error*/)
{
    TLineBuffer& b = Seat(k).Buf;
    if (b.Waiting())
        return; // its lines wait for their turn; TCP keeps the rest
    const int n = Cli(k).Receive(b.Tail(), b.Room());
    if (n <= 0)
        return;
    cutLines(k, n);
}

void TChatCore::cutLines(int k, int n)
{
    TLineBuffer& b = Seat(k).Buf;
    bool all;
    try {
        auto onLine = [this, k](std::string_view line) { return seatLine(k, line); };
        auto done = [this] { relayPending(); };
        all = n > 0 ? b.Commit(n, onLine, done) : b.Resume(onLine, done);
    } catch (...) {
        // What was gathered still goes out, before the buffer's bytes move.
        relayPending();
        throw;
    }
    if (all || !SeatConnected(k))
        return;
    // Over its rate: the seat is not read until its next line is due.
    updateReadHolds();
    Seat(k).RateWait.start(int(std::max<int64_t>(1, Seat(k).Rate.Wait(nowMs()))));
}

void TChatCore::serveWaiting(int k)
{
    if (!SeatConnected(k) || !Seat(k).Buf.Waiting() || feedsSlowMember(k))
        return; // a slow member's queue falling below the low mark serves it
    cutLines(k, 0);
    if (!Seat(k).Buf.Waiting())
        updateReadHolds();
}

bool TChatCore::feedsSlowMember(int k) const
{
    for (int j = 1; j <= kSeats; ++j)
        if (j != k && Seat(j).Above && SeatConnected(j))
            return true;
    return false;
}

void TChatCore::queueLevel(int k, bool above)
{
    Seat(k).Above = above;
    updateReadHolds();
}

// A seat is read unless its own lines wait for their turn or a member it
// feeds has more unsent than the high mark: then the kernel and TCP hold
// what it sends, as a pipe holds a writer, and nothing is lost.
void TChatCore::updateReadHolds()
{
    for (int k = 1; k <= kSeats; ++k) {
        TSeat& seat = Seat(k);
        if (!SeatConnected(k))
            continue;
        const bool fedSlow = feedsSlowMember(k);
        seat.Socket->SetReadHeld(seat.Buf.Waiting() || fedSlow);
        if (!fedSlow && seat.Buf.Waiting() && !seat.RateWait.isActive())
            seat.RateWait.start(0); // held back by a slow member only: go on
    }
}

// The chat lines of one read are relayed as one block per other seat, at the
// end of that read: one send per seat instead of one per line. They lie next
// to each other in the seat's line buffer, LFs included, so the block is
// sent from there without a copy. Whatever else the hub sends or shows first
// pushes out what is gathered, so every connection and the pane keep the
// order in which the lines arrived.
void TChatCore::gatherRelay(int k, std::string_view lineWithLf)
{
    if (FRelayLen == 0 || FRelayFrom != k || FRelayBegin + FRelayLen != lineWithLf.data()) {
        relayPending();
        FRelayFrom = k;
        FRelayBegin = lineWithLf.data();
    }
    FRelayLen += lineWithLf.size();
    // The pane is shown the fields the line buffer cut: no kind byte, no LF.
    FRelayFields.push_back(lineWithLf.substr(1, lineWithLf.size() - 2));
}

// A send that fails ends its seat at once, and that departure is announced
// from inside the send. Sent as a block, the departure would follow the
// whole block on the seats served before the failing one, and precede it
// in the pane. So a block of several lines goes out whole only when one
// poll of all seats finds no send that is going to fail; otherwise, and for
// a single line, each line is shown and then sent, so a departure comes
// after the line whose send failed and before the next, on the wire and in
// the pane, as with one send per line.
bool TChatCore::sendWouldFail(int notuser, size_t bytes)
{
    TCustomWSocket* targets[kSeats];
    int n = 0;
    for (int k = 1; k <= kSeats; ++k)
        if (k != notuser && Seat(k).Member()) // a block of chat lines: members only
            targets[n++] = &Cli(k);
    return WSocketsSendWouldFail(targets, n, bytes);
}

void TChatCore::relayPending()
{
    if (FRelayLen == 0)
        return;
    const std::string_view block(FRelayBegin, FRelayLen);
    FRelayLen = 0; // sending may lead here again (a departure)
    const int from = FRelayFrom;
    std::vector<std::string_view> fields;
    fields.swap(FRelayFields);
    if (fields.size() > 1 && !sendWouldFail(from, block.size())) {
        sendToSeats(from, block);
        // Relay first, show after: the others are served before the pane.
        for (std::string_view field : fields)
            FView->ShowEvent(TChatEvent::ChatLine(field));
    } else {
        for (std::string_view field : fields) {
            FView->ShowEvent(TChatEvent::ChatLine(field));
            // The line around its field: kind byte before, LF after.
            sendToSeats(from, std::string_view(field.data() - 1, field.size() + 2));
        }
    }
    fields.clear();
    if (FRelayFields.empty())
        FRelayFields.swap(fields); // keep the capacity for the next read
}

bool TChatCore::seatLine(int k, std::string_view line)
{
    if (line.empty())
        return true;
    TSeat& seat = Seat(k);
    if (seat.Rate.Limited() && !seat.Rate.Take(nowMs())) // no clock read when off
        return false;                                    // over its rate: this line and the rest wait
    if (seat.Negotiating() && seatNegotiation(k, line))
        return true;
    const std::string_view field = line.substr(1);
    switch (line[0]) {
    case wire::kName: {
        relayPending(); // earlier chat lines go out before the name changes
        const bool first = nuser == 0;
        seat.Name = std::string(field);
        seat.Named = true;
        seat.NameWait.stop();
        const std::string name = seat.Name; // line's bytes may move on
        TChatEvent arrival = TChatEvent::Arrival(name);
        arrival.From = seat.Address;
        show(arrival);
        NameList();
        if (first && nuser > 0)
            FView->ShowFirstSeatTaken();
        Sendall(k, wire::NameLine(name));
        if (seat.Plain)
            tellPlain(k, name);
        if (Nextnumber == k)
            Sendall(k, wire::NextNameLine(name));
        // A newly named member may be the better candidate (the first one
        // always is): announced to all when the choice changes.
        rechoose();
        if (seat.Reach == TReach::Unknown) {
            seat.Reach = TReach::Due;
            checkSeat(k);
        }
        break;
    }
    case wire::kChat:
        // The relayed line equals the received one; its LF still follows
        // it in the buffer. A caller not yet named is not heard.
        if (seat.Named)
            gatherRelay(k, std::string_view(line.data(), line.size() + 1));
        break;
    default: break; // a hub acts on nothing else
    }
    return true;
}

void TChatCore::nameWaitOver(int k)
{
    if (!SeatConnected(k) || Seat(k).Named)
        return;
    if (Seat(k).Securing && Cli(k).TlsFailure() == 0) {
        // Accepted, and the handshake never ended (or never began); one
        // that failed is closing already and journals itself.
        Seat(k).Securing = false;
        FView->ShowJournal(txt::kJournalTlsStalled + " (" + Seat(k).Address + ")");
    }
    Cli(k).Close(); // its departure leaves no trace in the group
}

void TChatCore::CliNWSocketSessionClosed(int k, int error)
{
    if (Seat(k).Seated && Cli(k).TlsStarted())
        journalTlsEnd(k, error);
    seatDeparture(k);
}

// An encrypted link that the peer broke is closed with a line in the
// journal; one that simply ended, or that this hub closed, without.
void TChatCore::journalTlsEnd(int k, int error)
{
    const TSeat& seat = Seat(k);
    const uint16_t failure = Cli(k).TlsFailure();
    const std::string* why = nullptr;
    if (failure == WSAETIMEDOUT)
        why = &txt::kJournalTlsStalled;
    else if (seat.Securing && (failure != 0 || error != 0))
        why = &txt::kJournalTlsBroken; // garbage, a cut or reset handshake
    else if (failure != 0)
        why = &txt::kJournalTlsBadData; // a broken, huge or unexpected record
    if (why)
        FView->ShowJournal(*why + " (" + seat.Address + ")");
}

void TChatCore::seatDeparture(int k)
{
    TSeat& seat = Seat(k);
    if (!seat.Seated)
        return;
    relayPending(); // what this seat said before it left goes out first
    seat.Seated = false;
    seat.Buf.Clear(); // no stale partial line for the next occupant
    seat.NameWait.stop();
    seat.RateWait.stop();
    seat.OfferWait.stop();
    seat.ForgetLink();
    const bool wasAbove = seat.Above;
    seat.Above = false;
    if (wasAbove)
        updateReadHolds();
    if (!seat.Named) {
        // A caller that never named itself was never in the group: its
        // going is neither shown nor sent, and it was never the candidate.
        seat.Name.clear();
        return;
    }
    seat.Named = false;
    const std::string name = seat.Name;
    show(TChatEvent::SeatLeft(name));
    Sendall(k, wire::LeaveLine(name));
    seat.Name.clear();
    NameList();
    ChooseIP(k);
}

int TChatCore::pickCandidate(int notuser, std::string& chosen, int* lost, int& nlost)
{
    int best = 0;
    int bestRank = -1;
    constexpr int kBestRank = 5;
    for (int k = 1; k <= kSeats && bestRank < kBestRank; ++k) {
        if (k == notuser || !SeatConnected(k) || !Seat(k).Named)
            continue;
        std::string addr;
        try {
            addr = Cli(k).GetPeerAddr();
        } catch (const ESocketException&) {
            // The caller vanished (connected and reset at once): it is
            // no candidate; its departure follows once the choice is out.
            lost[nlost++] = k;
            continue;
        }
        if (Cli(k).State() != wsConnected) {
            lost[nlost++] = k;
            continue;
        }
        if (addr == "error")
            continue; // just ended: no candidate; its close event follows
        // Others can call a seat back only where it answered the hub's
        // check; over the Internet, only at a public address.
        // Within each, an encrypted member first: it is an instance of this
        // program, which knows itself at its router's address when called.
        const TReach reach = Seat(k).Reach;
        const int rank = (reach == TReach::Public ? 4 : reach == TReach::Answered ? 2 : 0) + Seat(k).Encrypted;
        if (rank > bestRank) {
            best = k;
            bestRank = rank;
            chosen = addr;
        }
    }
    return best;
}

void TChatCore::ChooseIP(int notuser)
{
    int lost[kSeats];
    int nlost = 0;
    std::string addr;
    const int k = pickCandidate(notuser, addr, lost, nlost);
    if (k != 0) {
        NextIPd = addr;
        Nextnumber = k;
        NextName = Seat(k).Name;
        FNextKey = Cli(k).TlsEstablished() ? Cli(k).TlsPeerFingerprint() : std::string();
    }
    NextIP = NextIPd;
    SendNextAddress(notuser);
    if (!NextName.empty())
        Sendall(notuser, wire::NextNameLine(NextName));
    for (int i = 0; i < nlost; ++i)
        seatLost(lost[i]);
}

void TChatCore::SendNextAddress(int notuser)
{
    Sendall(notuser, wire::NextAddressLine(NextIPd));
    if (FNextKey.empty())
        return;
    // Only inside an encrypted link: a plain seat never sees the line.
    const std::string key = negotiation::Build(negotiation::TStep::Key, FNextKey);
    for (int k = 1; k <= kSeats; ++k)
        if (k != notuser && SeatConnected(k) && !Seat(k).Negotiating() && Cli(k).TlsEstablished())
            seatSend(k, key);
}

void TChatCore::rechoose()
{
    int lost[kSeats];
    int nlost = 0;
    std::string addr;
    const int k = pickCandidate(0, addr, lost, nlost);
    if (k != 0 && (k != Nextnumber || addr != NextIPd)) {
        ChooseIP(0);
        return;
    }
    for (int i = 0; i < nlost; ++i)
        seatLost(lost[i]);
}

// Seat k answers on the chat port where the hub sees it: a listening
// instance that is a peer answers every caller with a redirect line and
// shows nothing. Nothing is shown here either.
void TChatCore::checkSeat(int k)
{
    TSeat& seat = Seat(k);
    if (!seat.Connected() || seat.Reach != TReach::Due)
        return;
    TReachCheck& check = seat.Check;
    if (check.Busy())
        return; // the end of the running check starts this one
    std::string addr;
    try {
        addr = Cli(k).GetPeerAddr();
    } catch (const ESocketException&) {
        return;
    }
    if (addr == "error")
        return;
    const unsigned serial = seat.Serial;
    const bool isPublic = ipv4::isPublic(addr);
    seat.Reach = TReach::Checking;
    const std::string local = FListenAddr == "0.0.0.0" ? std::string() : FListenAddr;
    check.Start(addr, FPort, local, kSeatCheckMs, TReachCheck::kRedirects, [this, k, serial, isPublic](bool answered) {
        TSeat& seat = Seat(k);
        if (serial == seat.Serial && seat.Reach == TReach::Checking) {
            seat.Reach = !answered ? TReach::Silent : isPublic ? TReach::Public : TReach::Answered;
            if (SeatConnected(k))
                rechoose();
            return;
        }
        checkSeat(k); // it was for an occupant since gone: the one there now
    });
}

bool TChatCore::ownCaller(int h)
{
    // Regrouping, the peer link to the announced candidate came back to
    // this listener: this instance is the candidate, under an address that
    // is not its own (a router's, forwarding the chat port to it).
    if (FRegroup != TRegroup::None && CliWSocket->State() != wsClosed &&
        WSocketSameConnection(h, CliWSocket->HSocket())) {
        hangUp(h);
        dropSelfLink();
        return true;
    }
    // A seat's address that leads back here answers nothing.
    for (const TSeat& seat : FSeats)
        if (seat.Check.Busy() && WSocketSameConnection(h, seat.Check.Handle())) {
            hangUp(h);
            return true;
        }
    return false;
}

int TChatCore::seatsOf(const std::string& address) const
{
    int n = 0;
    for (const TSeat& seat : FSeats)
        n += seat.Connected() && seat.Address == address;
    return n;
}

std::string TChatCore::SeatAddress(int k) const
{
    return SeatConnected(k) ? Seat(k).Address : std::string();
}

std::string TChatCore::ShutOut(int k)
{
    const std::string address = SeatAddress(k);
    if (address.empty())
        return std::string();
    Guard.rules.Deny(address);
    // Every seat of that address goes, each as any departure.
    for (int j = 1; j <= kSeats; ++j)
        if (SeatConnected(j) && Seat(j).Address == address)
            Cli(j).Close();
    return address;
}

void TChatCore::hangUp(int h)
{
    TWSocket s;
    try {
        s.Dup(h);
        s.Close();
    } catch (const ESocketException&) {
    }
}
