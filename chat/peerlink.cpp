// The peer link: joining a hub, the lines it sends us, leaving it, and
// regrouping around the announced next candidate when it goes away.
#include "chatcore.h"

#include "knownhubs.h"
#include "negotiation.h"
#include "texts.h"
#include "wire.h"
#include "wsocket.h"

void TChatCore::K8Click()
{
    std::string target;
    if (FView->RunConnectDialog(target) != mrOk)
        return;
    IPName = target;
    joinStart();
}

void TChatCore::CommandLineJoin(const std::string& target)
{
    if (target.empty())
        return;
    IPName = target;
    joinStart();
}

void TChatCore::joinStart()
{
    // A join of the user's: another group, maybe with another word.
    FLinkWord.reset();
    FProvedWord.reset();
    FRegroup = TRegroup::None;
    FLostHub.clear();
    FView->ShowEvent(TChatEvent::Note(IPName + txt::kSearching));
    offerConnect(false);
    lookUp(IPName);
}

void TChatCore::lookUp(const std::string& target)
{
    try {
        // A dotted address completes inside this call, and the connection
        // request with it.
        CliWSocket->DnsLookup(target);
    } catch (...) {
        // No join is under way: offer the connect command again.
        offerConnect(true);
        throw;
    }
}

void TChatCore::EnableTimer1()
{
    FTimer1.start();
}

void TChatCore::Timer1Timer()
{
    ++DT;
    if (DT != 1)
        return;
    DT = 0;
    FTimer1.stop();
    ChangeIP = false;
    NextServer = false;
    offerConnect(false);
    lookUp(IPName);
}

void TChatCore::CliWSocketDnsLookupDone(int error)
{
    if (error != 0) {
        FView->ShowEvent(TChatEvent::Note(txt::kLookupFailed));
        offerConnect(true);
        return;
    }
    try {
        CliWSocket->SetAddr(CliWSocket->DnsResult());
        CliWSocket->SetPort(FPort);
        CliWSocket->SetProto("tcp");
        CliWSocket->Connect();
    } catch (...) {
        // A connection that failed to start leaves its socket half made:
        // release it, so the next join can connect again.
        if (CliWSocket->State() == wsOpened)
            CliWSocket->Close();
        offerConnect(true);
        throw; // reported by the caller's error handling
    }
}

void TChatCore::CliWSocketSessionConnected(int error)
{
    if (error == WSAECONNREFUSED) {
        FView->ShowEvent(TChatEvent::Note(txt::kRefused));
        offerConnect(true);
        return;
    }
    if (error != 0) {
        FRegroup = TRegroup::None;
        FLostHub.clear();
        FView->ShowEvent(TChatEvent::Note(txt::kConnectFailed + std::to_string(error)));
        offerConnect(true);
        return;
    }
    RcvBuf.Clear(); // a new link starts with no stale partial line
    FLink = TLink::Greeting;
    CliWSocket->SetNoDelay(true);
    if (Encrypt.On()) {
        // Nothing is said before the hub's first line: it may be an offer.
        FLinkTls = TLinkTls::Hearing;
        FFirstLineWait.start();
    } else {
        sendNameLine();
    }
    // Only a link that survived its first send makes this instance a peer;
    // a link that broke under it has already been handled as closed.
    if (LinkConnected())
        rbServer = false;
}

void TChatCore::sendNameLine()
{
    try {
        CliWSocket->SendStr(nameLine());
    } catch (const ESocketException&) {
    }
}

void TChatCore::firstLineWaitOver()
{
    if (FLinkTls != TLinkTls::Hearing || !LinkConnected())
        return;
    FLinkTls = TLinkTls::Plain; // a hub that does not negotiate
    sendNameLine();
}

bool TChatCore::linkNegotiation(std::string_view line)
{
    const negotiation::TLine n = negotiation::Parse(line);
    switch (FLinkTls) {
    case TLinkTls::Hearing: {
        FFirstLineWait.stop();
        const int version = n.step == negotiation::TStep::Offer ? negotiation::Answer(n.version) : 0;
        if (version < 1)
            break;
        FLinkTls = TLinkTls::Accepted;
        try {
            CliWSocket->SendStr(negotiation::Build(negotiation::TStep::Accept, version));
        } catch (const ESocketException&) {
        }
        return true;
    }
    case TLinkTls::Accepted:
        if (n.step != negotiation::TStep::Go)
            break; // the hub went plain before the accept came
        FLinkTls = TLinkTls::Securing;
        try {
            CliWSocket->StartTls(Encrypt.ctx, false);
        } catch (const ESocketException&) {
            closeLink(TLink::Down);
        }
        return true;
    case TLinkTls::Securing: return true; // nothing counts in the clear now
    case TLinkTls::Admitting:
        if (n.step != negotiation::TStep::Word)
            break; // an open hub's admission
        wordAsked();
        return true;
    case TLinkTls::WordAsked: return true; // the hub waits for the proof
    case TLinkTls::Proving:
        if (n.step == negotiation::TStep::Wrong) {
            wordRefused();
            return true;
        }
        FProvedWord = FLinkWord; // admitted
        break;
    case TLinkTls::Plain: return false;
    }
    FLinkTls = TLinkTls::Plain;
    sendNameLine();
    return false;
}

void TChatCore::CliWSocketTlsDone(int error)
{
    if (error != 0 || FLinkTls != TLinkTls::Securing || !LinkConnected())
        return;
    // The hub speaks first inside: it may ask for the group word before
    // it admits anyone, and this member's name waits for that.
    FLinkTls = TLinkTls::Admitting;
    // Bytes that came in the clear behind the go are no part of the
    // encrypted link: no line of it may begin with them.
    RcvBuf.Clear();
    std::string hub;
    try {
        hub = CliWSocket->GetPeerAddr();
    } catch (const ESocketException&) {
        return;
    }
    if (!trustHub(hub, CliWSocket->TlsPeerFingerprint()))
        return;
    FLinkEncrypted = true;
}

void TChatCore::wordAsked()
{
    FLinkTls = TLinkTls::WordAsked;
    const groupword::TKeyRef key = FLinkWord ? FLinkWord : MemberWord;
    if (key) {
        sendProof(key);
        return;
    }
    if (FView->AskWord(IPName))
        return; // ProveWord follows, or K9
    FView->ShowEvent(TChatEvent::Note(txt::kWordNeeded));
    closeLink(TLink::Down);
}

void TChatCore::ProveWord(groupword::TKeyRef key)
{
    if (!key || FLinkTls != TLinkTls::WordAsked || !LinkConnected())
        return;
    sendProof(key);
}

void TChatCore::sendProof(groupword::TKeyRef key)
{
    FLinkWord = key; // and for the candidate, should the group regroup
    const std::string line = negotiation::Build(
        negotiation::TStep::Proof,
        groupword::Proof(*key, CliWSocket->TlsExport(groupword::kExporterLabel, groupword::kExporterBytes)));
    if (line.empty()) {
        closeLink(TLink::Down);
        return;
    }
    FLinkTls = TLinkTls::Proving;
    try {
        CliWSocket->SendStr(line);
    } catch (const ESocketException&) {
    }
}

void TChatCore::wordRefused()
{
    // No regroup and no redirect follow a refusal: the link just ends.
    FLinkWord.reset();
    FRegroup = TRegroup::None;
    FLostHub.clear();
    NextServer = false;
    ChangeIP = false;
    FView->ShowEvent(TChatEvent::Note(txt::kWrongWord));
    FView->ShowWordRefused(IPName);
    if (LinkConnected())
        closeLink(TLink::Down);
}

bool TChatCore::trustHub(const std::string& hub, const std::string& shown)
{
    TKnownHubs pins(Encrypt.knownHubs);
    const std::string pinned = pins.Lookup(hub);
    if (pins.Meet(hub, shown) != TKnownHubs::TTrust::Changed)
        return true;
    // Another key than the one this hub had: nothing is said to it, and
    // nothing it says is read, unless the user takes the new key. Other
    // events go on while the question is open; this link is not read.
    CliWSocket->SetReadHeld(true);
    const bool accepted = FView->AskKeyChange(hub, pinned, shown) == mrOk && pins.Pin(hub, shown);
    if (CliWSocket->State() == wsClosed)
        return false;
    CliWSocket->SetReadHeld(false); // a close that came meanwhile is told now
    if (accepted)
        return LinkConnected();
    FView->ShowEvent(TChatEvent::Note(std::string(txt::kHubKeyChanged) + "\r\n" + pinned + "\r\n" + shown));
    if (LinkConnected())
        CliWSocket->Close();
    return false;
}

void TChatCore::K9Click()
{
    setTalking(false);
    FRegroup = TRegroup::None;
    FLostHub.clear();
    if (!rbServer) {
        NextServer = false; // leaving on purpose is no hub loss
        FProvedWord.reset();
        CliWSocket->Close();
        return;
    }
    if (nuser > 1 && FView->AskQuestion(txt::kDisconnectHubQuestion) != mrOk) {
        // The group goes on: give the input box back.
        for (int k = 1; k <= kSeats; ++k)
            if (SeatConnected(k)) {
                setTalking(true);
                break;
            }
        return;
    }
    for (int k = 1; k <= kSeats; ++k)
        Cli(k).Close();
}

void TChatCore::CliWSocketSessionClosed(int /*error*/)
{
    RcvBuf.Clear(); // what is left of this link's input is dropped with it
    FLinkTls = TLinkTls::Plain;
    FLinkEncrypted = false;
    FFirstLineWait.stop();
    const TLink was = FLink;
    FLink = TLink::Down;
    if (was == TLink::DroppingSelf)
        return; // dropSelfLink goes on
    if (was == TLink::Recalling) {
        // Nothing to tell yet: back to an idle hub until the next call,
        // which waits for the check of the lost hub while that runs.
        if (!FLostHubCheck.Busy())
            EnableTimer1();
        clearRoster();
        NameList();
    } else {
        linkEnded();
    }
    releaseHeldCallers(); // a hub again: seated
}

void TChatCore::linkEnded()
{
    // The timer is armed once, after both questions: while a question is
    // open other events run, and an early tick would start a join to the
    // redirect target before a yes to the hub-loss question could replace it.
    bool rejoin = false;
    if (!ChangeIP) {
        FView->ShowEvent(TChatEvent::Note(txt::kDisconnected));
    } else if (FView->AskQuestion(txt::kRedirectQuestion) == mrOk) {
        rejoin = true;
    } else {
        FView->ShowEvent(TChatEvent::Note(txt::kDisconnected));
    }
    if (NextServer && nuser > 1) {
        if (NextIP != FOwnAddr) {
            if (FView->AskQuestion(txt::kHubLostQuestion) == mrOk) {
                FLostHub = IPName;
                FRegroup = FLostHub.empty() ? TRegroup::None : TRegroup::Calling;
                FCandidateCalls = 0;
                IPName = NextIP;
                // The lost hub vouched for the candidate's key: exactly that
                // one is trusted there, whatever was pinned before.
                if (Encrypt.On() && !FHandedKey.empty())
                    TKnownHubs(Encrypt.knownHubs).Pin(IPName, FHandedKey);
                rejoin = true;
            }
        } else {
            FView->ShowEvent(TChatEvent::Note(txt::kHubLostWait));
        }
    }
    if (rejoin) {
        EnableTimer1();
    } else {
        // A no consumes the flags: they must not bring a question back on a
        // later, unrelated closure.
        ChangeIP = false;
        NextServer = false;
    }
    clearRoster();
    NameList();
}

void TChatCore::CliWSocketDataAvailable(int /*error*/)
{
    const int n = CliWSocket->Receive(RcvBuf.Tail(), RcvBuf.Room());
    if (n <= 0)
        return;
    if (FLink == TLink::Greeting && FLinkTls == TLinkTls::Plain) {
        FLink = TLink::Roster;
        if (!FHeldCallers.empty())
            releaseHeldCallers(); // the link leads elsewhere: redirected
    }
    RcvBuf.Commit(n, [this](std::string_view line) { linkLine(line); });
}

void TChatCore::linkLine(std::string_view line)
{
    if (FLinkTls != TLinkTls::Plain) {
        if (linkNegotiation(line))
            return;
        // Settled plain: this line is the hub's first word.
        if (FLink == TLink::Greeting) {
            FLink = TLink::Roster;
            if (!FHeldCallers.empty())
                releaseHeldCallers();
        }
    }
    peerLine(line);
}

void TChatCore::peerLine(std::string_view line)
{
    if (line.empty())
        return;
    const std::string_view field = line.substr(1);
    // An encrypting hub's offer, not taken, says nothing of the roster.
    if (line[0] != wire::kName && line[0] != negotiation::kKind && FLink == TLink::Roster)
        FLink = TLink::Member;
    switch (line[0]) {
    case wire::kRedirect: {
        std::string addr(field);
        if (!addr.empty() && addr.back() == '\r')
            addr.pop_back();
        if (FRegroup != TRegroup::None && addr == FLostHub && FCandidateCalls < kCandidateCalls) {
            // The candidate is still a peer of the hub that this member
            // lost. Either that hub lives on and only this member's link
            // dropped: then the redirect is right, and is followed once the
            // hub is seen to answer. Or the candidate has not yet noticed
            // that the hub is gone: then it is called again.
            ++FCandidateCalls;
            if (FRegroup == TRegroup::Calling) {
                FRegroup = TRegroup::LostHubChecked;
                FLostHubCheck.Start(addr, FPort, CliWSocket->LocalAddr(), kLostHubCheckMs, TReachCheck::kHoldsGroup,
                                    [this](bool answered) { lostHubChecked(answered); });
            }
            closeLink(TLink::Recalling); // the closure handling arms the next call
            break;
        }
        FRegroup = TRegroup::None;
        FLostHub.clear();
        if (addr != IPName) {
            IPName = addr;
            offerConnect(false);
            ChangeIP = true;
        } else {
            FView->ShowEvent(TChatEvent::Note(txt::kSelfCall));
        }
        CliWSocket->Close(); // the closure handling runs inside
        break;
    }
    case wire::kName: {
        FRegroup = TRegroup::None; // seated: the regroup is over
        FLostHub.clear();
        const std::string name(field);
        for (TSeat& s : FSeats)
            if (s.Name.empty()) {
                s.Name = name;
                s.Plain = false;
                break;
            }
        TChatEvent arrival = TChatEvent::Arrival(name);
        arrival.Own = FLink == TLink::Roster;
        FView->ShowEvent(arrival);
        NameList();
        break;
    }
    case wire::kLeave: {
        const std::string name(field);
        FView->ShowEvent(TChatEvent::PeerLeft(name));
        for (TSeat& s : FSeats)
            if (s.Name == name) {
                s.Name.clear();
                s.Plain = false;
                break;
            }
        NameList();
        break;
    }
    case wire::kNextAddress:
        NextIP = std::string(field);
        NextServer = true;
        FHandedKey.clear(); // its key, if any, follows
        break;
    case wire::kNextName: NextName = std::string(field); break;
    case wire::kChat: FView->ShowEvent(TChatEvent::ChatLine(field)); break;
    case negotiation::kKind: {
        markPlain(line);
        // The candidate's key, believed only from inside an encrypted link.
        const negotiation::TLine n = negotiation::Parse(line);
        if (n.step == negotiation::TStep::Key && FLinkEncrypted)
            FHandedKey = n.text;
        break;
    }
    default: break;
    }
}

void TChatCore::markPlain(std::string_view line)
{
    // Only an encrypted link carries it; in the clear it is an unknown line.
    const negotiation::TLine n = negotiation::Parse(line);
    if (!FLinkEncrypted || n.step != negotiation::TStep::Plain)
        return;
    for (TSeat& s : FSeats)
        if (s.Name == n.text && !s.Plain) {
            s.Plain = true;
            FView->ShowEvent(TChatEvent::Note(n.text + txt::kPlainWith));
            NameList();
            return;
        }
}

void TChatCore::lostHubChecked(bool answered)
{
    // Still regrouping, with no link and no call on the way?
    if (FRegroup == TRegroup::None || CliWSocket->State() != wsClosed || FTimer1.isActive())
        return;
    if (!answered) {
        EnableTimer1(); // gone: call the candidate again, as before
        return;
    }
    // The hub answers and still seats others: follow the candidate's
    // redirect as any other, with the redirect question and, on a yes, the
    // join.
    IPName = FLostHub;
    FRegroup = TRegroup::None;
    FLostHub.clear();
    offerConnect(false);
    ChangeIP = true;
    linkEnded();
}

// Regrouping, this instance called the candidate's address and its own
// listener took the call: it is the candidate (under its router's address)
// and waits as the hub, with the note the candidate shows.
void TChatCore::dropSelfLink()
{
    closeLink(TLink::DroppingSelf);
    FRegroup = TRegroup::None;
    FLostHub.clear();
    FLostHubCheck.Cancel();
    FTimer1.stop();
    DT = 0;
    ChangeIP = false;
    NextServer = false;
    FView->ShowEvent(TChatEvent::Note(txt::kHubLostWait));
    // Seats taken meanwhile (others of the group who called first) stay.
    rbServer = true;
    NameList();
    releaseHeldCallers(); // seated here
}

void TChatCore::closeLink(TLink closing)
{
    const TLink was = FLink;
    FLink = closing;
    try {
        CliWSocket->Close();
    } catch (...) {
        if (FLink == closing)
            FLink = was; // still up
        throw;
    }
    if (FLink == closing)
        FLink = TLink::Down; // closed without its closure handling
}
