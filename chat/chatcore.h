#pragma once
// The chat core: the hub's nine seats, relay and roster, the next-candidate
// choice, and the peer link to a hub. It owns every chat socket and the
// reconnect timer; the main window owns one TChatCore, implements TChatView
// for it, and calls the command handlers below from its menu and buttons.
//
// All texts are CP932 byte strings. The state is kept in plain public
// members under the names the rest of the program knows them by, so the
// window's status command and the tests can read it; only the core writes
// it (apart from Name, the nick name, which the window sets).
//
// How the window drives it:
//   constructor       Chat = std::make_unique<TChatCore>(this, listenAddr, port, ownAddr);
//                     Chat->Name = saved nick; argv[1] given: CommandLineJoin(argv[1])
//   every show        Chat->StartServer()         (listens once)
//   menu / buttons    K8Click, K9Click, Say(typed text): the window clears its box
//   status command    StatusConnectedText(), StatusNextText(), OwnAddress()
//   close query       CanClose = Chat->CloseQuery(); on close: Chat->FormClose()
// The core does not touch the view before the first command or event; the
// window starts in the idle state by its own design (connect offered, no
// talking, "おともだち　なし"). Exceptions from the commands (a listen that
// fails, a join that cannot start) reach the window's caller, as errors of
// window handlers do; socket events never let one escape the core's own
// handling of a vanished connection.

#include "chatview.h"
#include "groupword.h"
#include "hubguard.h"
#include "linebuffer.h"
#include "reachcheck.h"
#include "seat.h"

#include <QTimer>
#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TWSocket;
struct ssl_ctx_st;

class TChatCore {
public:
    static constexpr int kSeats = 9;

    // The peer link (CliWSocket) and the regroup after a hub loss, each one
    // state. Their transitions, all of them:
    //
    //   link          event                                      next
    //   Down          connected, own name line sent              Greeting
    //   Greeting      its first bytes (held callers answered)    Roster
    //   Roster        a line that is not a name line             Member
    //   any           closed by the hub, K9 or a failed send     Down (linkEnded)
    //   Roster/Member redirected back to the lost hub            Recalling
    //   Recalling     closed                                     Down (call again)
    //   any up        came round to this instance's listener     DroppingSelf
    //   DroppingSelf  closed                                     Down (the hub now)
    //
    //   regroup       event                                      next
    //   None          hub lost, yes to the question              Calling
    //   Calling       redirected back to the lost hub            LostHubChecked
    //   any           seated by a name line, redirected          None
    //                 elsewhere, own link came round, the lost
    //                 hub answers, join, K9, connect failed
    enum class TLink : unsigned char {
        Down,         // no link
        Greeting,     // connected, the hub has said nothing yet
        Roster,       // the hub tells who is there: this instance's own join
        Member,       // in the group
        Recalling,    // being closed, to call the candidate again
        DroppingSelf, // being closed: it led to this instance's own listener
    };
    enum class TRegroup : unsigned char {
        None,
        Calling,        // calling the announced candidate (FLostHub lost)
        LostHubChecked, // and the lost hub's check has been started
    };

    // listenAddr/port: where StartServer listens and which port joins call
    // ("0.0.0.0", "2200" normally). ownAddr: this machine's own address
    // (SelfIPAddress, or PELMORA_ADDRESS when set); it decides whether an
    // announced next candidate is this instance. When listenAddr is a
    // specific address (not 0.0.0.0), outgoing connections are bound to it
    // too, so a hub sees this instance under that address.
    explicit TChatCore(TChatView* view, std::string listenAddr = "0.0.0.0", std::string port = "2200",
                       std::string ownAddr = std::string());
    ~TChatCore();
    TChatCore(const TChatCore&) = delete;
    TChatCore& operator=(const TChatCore&) = delete;

    // --- commands of the window -------------------------------------------
    // Open the listener; call on every showing of the window, acts once.
    void StartServer();
    // Connect command (menu K8): runs the connect dialog, then joins.
    void K8Click();
    // Disconnect command (menu K9), peer and hub forms.
    void K9Click();
    // Send command (send button, Enter) with the typed text, CP932: true
    // when it went to the group (the window then clears its box). A text of
    // nothing but spaces (ASCII or full-width) sends and shows nothing.
    bool Say(const std::string& typed);
    // The command-line join: call from the window's constructor, before the
    // window is first shown, when the first argument is not empty.
    void CommandLineJoin(const std::string& target);
    // Close question of the window: true when the window may close (asks
    // kCloseHubQuestion when this is a hub with two or more named peers).
    bool CloseQuery();
    // The window is closing: forget a pending hub-loss regroup.
    void FormClose();
    // Arm the one-shot 200 ms reconnect timer (Timer1); arming it again
    // before it ticks still gives one tick.
    void EnableTimer1();
    bool Timer1Enabled() const { return FTimer1.isActive(); }
    // Tick of the reconnect timer (public for tests).
    void Timer1Timer();

    // --- status command ---------------------------------------------------
    // "connected to": "あなたがサーバです。", the hub's name, or "なし".
    std::string StatusConnectedText() const;
    // "next candidate": NextName, "あなたです。" or "なし".
    std::string StatusNextText() const;
    const std::string& OwnAddress() const { return FOwnAddr; }
    // The peer link is connected (CliWSocket's state is wsConnected).
    bool LinkConnected() const;
    // The listener is open.
    bool Initialized() const { return FInitialized; }
    // There is a group to talk to (the input box is on).
    bool Talking() const { return FTalking; }
    // How what this instance says travels: a peer's own link, or a hub's
    // links to its members (any in the clear: Plain).
    TOwnLink OwnLink() const;
    // Where the regroup after a hub loss stands (None: no regroup).
    TRegroup Regroup() const { return FRegroup; }

    // --- the encrypted link (negotiation.h) --------------------------------
    // Off (no context) in a bare core: the hub offers nothing and the caller
    // sends its name line at once, as every instance without it does. On,
    // the hub offers TLS to each caller and a caller accepts a hub's offer;
    // the hubs' keys are pinned in knownHubs (knownhubs.h). The window, the
    // console member and the headless hub switch it on.
    struct TEncryption {
        std::shared_ptr<ssl_ctx_st> ctx; // tlsidentity.h: MakeTlsContext
        std::string knownHubs;           // the pin file
        std::string own;                 // this instance's fingerprint
        bool On() const { return ctx != nullptr; }
    };
    TEncryption Encrypt;
    // Switches it on with this instance's stored identity and pin file; false,
    // with the reason in error, when the identity cannot be had.
    bool EncryptWithOwnIdentity(std::string* error);
    // The fingerprint of the hub on the other end of the peer link, when
    // that link is encrypted; empty otherwise.
    std::string HubFingerprint() const;

    // --- the group word (groupword.h) ------------------------------------
    // HubWord: the key of the word this hub asks every caller to prove
    // inside the encrypted link (null: an open hub). A caller that does not
    // encrypt cannot prove it: it gets one chat line saying a word is needed
    // and is closed. A member that proved its hub's word asks the same word
    // when it becomes the hub, as the candidate of a regroup.
    groupword::TKeyRef HubWord;
    // The key a member proves with whenever a hub asks (the console
    // member's --word-file); null: the view is asked (TChatView::AskWord).
    groupword::TKeyRef MemberWord;
    // The view's answer to AskWord: the key of the word for this link's hub.
    void ProveWord(groupword::TKeyRef key);
    // The link's hub asked for the word and waits for ProveWord.
    bool WordAwaited() const { return FLinkTls == TLinkTls::WordAsked && LinkConnected(); }
    // The word this instance asks callers for as a hub (null: none).
    groupword::TKeyRef AskedWord() const { return HubWord ? HubWord : FProvedWord; }

    // --- chat state -------------------------------------------------------
    bool rbServer = true;    // this instance seats callers (a hub)
    int nuser = 0;           // names in the roster, counted by NameList
    int Nextnumber = 0;      // seat of the next candidate (hub)
    std::string NextIPd;     // address of the next candidate as chosen (hub)
    std::string NextName;    // nick of the next candidate
    bool ChangeIP = false;   // a redirect was accepted
    bool NextServer = false; // a next-candidate address was announced
    int DT = 0;              // reconnect timer ticks
    std::string Name;        // own nick name
    std::string IPName;      // the target of the peer link
    std::string NextIP;      // the announced next-candidate address
    // Who may call this hub and how many seats one address may hold: a
    // denied caller is closed at once with nothing sent, one over its
    // address's seats gets the full line as at a full hub.
    THubGuard Guard;
    // Where seat k's caller called from; empty for a free seat.
    std::string SeatAddress(int k) const;
    // Close seat k and every other seat of its address, and deny that
    // address from now on (Guard.rules); its address, empty for a free seat.
    std::string ShutOut(int k);
    // The roster, lbName1..lbName9 captions: the names of the nine places.
    std::array<std::string, kSeats> lbName() const;

    // --- sockets ----------------------------------------------------------
    std::unique_ptr<TWSocket> SrvWSocket; // listener
    std::unique_ptr<TWSocket> TmpWSocket; // answers callers not seated
    std::unique_ptr<TWSocket> CliWSocket; // the peer link
    // Seat k, 1..9: its socket Cli1WSocket..Cli9WSocket and the rest (seat.h).
    TSeat& Seat(int k) { return FSeats[k - 1]; }
    const TSeat& Seat(int k) const { return FSeats[k - 1]; }
    TWSocket& Cli(int k) { return *Seat(k).Socket; }
    bool SeatConnected(int k) const { return Seat(k).Connected(); }

    // --- hub operations (also used by the peer link) ----------------------
    // A whole line (wire.h) to every seat but notuser.
    void Sendall(int notuser, std::string_view line);
    void NameList();
    void ChooseIP(int notuser);
    // The next-address line to every seat but notuser, each encrypted one
    // followed by the candidate's key (when its link is encrypted too).
    void SendNextAddress(int notuser);

    // --- socket event handlers --------------------------------------------
    void SrvWSocketSessionAvailable(int error);
    void CliNWSocketDataAvailable(int k, int error);
    void CliNWSocketSessionClosed(int k, int error);
    void CliWSocketDnsLookupDone(int error);
    void CliWSocketSessionConnected(int error);
    void CliWSocketSessionClosed(int error);
    void CliWSocketDataAvailable(int error);
    void CliWSocketTlsDone(int error);
    void CliNWSocketTlsDone(int k, int error);

private:
    // s up to its first CR, LF or NUL: a typed text or nick never carries
    // one onto the wire.
    static std::string_view oneLine(std::string_view s);
    // Empty, or only ASCII and full-width spaces.
    static bool blank(std::string_view text);
    // The name line that introduces this instance.
    std::string nameLine() const;
    // The name line sent on the peer link (a failed send closes the link).
    void sendNameLine();
    // One line of the peer link, through the negotiation while it runs.
    void linkLine(std::string_view line);
    // A line of the negotiation on the peer link: true when it was one.
    bool linkNegotiation(std::string_view line);
    void firstLineWaitOver();
    // The hub's key is checked against its pin once the handshake is over:
    // true when the link may go on (known, new, or accepted by the user).
    bool trustHub(const std::string& hub, const std::string& shown);
    // Hub: seat k's admission lines; late, after a negotiation, with the
    // next candidate's lines the seat missed meanwhile.
    void admitSeat(int k, bool late);
    // Hub: seat k's first line while the offer stands; true when consumed.
    bool seatNegotiation(int k, std::string_view line);
    void offerWaitOver(int k);
    // Hub: seat k's caller goes on in the clear after the offer.
    void admitPlain(int k);
    // Hub: tells the encrypted members but k that the member named name is
    // linked in the clear (and the pane, once per arrival).
    void tellPlain(int k, const std::string& name);
    // Peer: its hub said the member named name is linked in the clear.
    void markPlain(std::string_view line);
    // Hub: the group word's proof from seat k (its first line once asked).
    void seatProof(int k, std::string_view line);
    // Hub: seat k cannot prove a word (it does not encrypt): one chat line
    // and closed.
    void refusePlain(int k);
    // Hub: a note for whoever keeps it: text with "%1" as the address.
    void guardNote(const std::string& text, const std::string& address);
    // Member: the hub asked for the word; the proof sent, or the view asked.
    void wordAsked();
    void sendProof(groupword::TKeyRef key);
    void wordRefused();
    // Shown on the hub: the chat lines gathered before go out first.
    void show(const TChatEvent& event);
    void joinStart();
    void peerLine(std::string_view line);
    // One line of seat k; false, with nothing done, when the seat is over
    // its line rate (the line waits in its buffer).
    bool seatLine(int k, std::string_view line);
    // Hand out seat k's lines: n bytes just read, or (n == 0) the lines
    // that waited; a seat over its rate is held until its next line is due.
    void cutLines(int k, int n);
    void serveWaiting(int k);
    // Some other member of seat k's has more unsent than the high mark.
    bool feedsSlowMember(int k) const;
    void queueLevel(int k, bool above);
    void updateReadHolds();
    // A caller that has not named itself in time is closed.
    void nameWaitOver(int k);
    void journalTlsEnd(int k, int error);
    void seatDeparture(int k);
    void seatLost(int k);
    void seatSend(int k, std::string_view bytes);
    void gatherRelay(int k, std::string_view lineWithLf);
    void relayPending();
    // A send of that many bytes to the seats other than notuser is going to
    // fail on at least one of them (one poll of them all).
    bool sendWouldFail(int notuser, size_t bytes);
    void sendToSeats(int notuser, std::string_view bytes);
    void drainTmp();
    // A caller just accepted that is one of this instance's own outgoing
    // connections (its peer link while regrouping, or a reachability check
    // that led back here): handled and hung up; true then.
    bool ownCaller(int handle);
    void hangUp(int handle);
    // Seats held by callers from address.
    int seatsOf(const std::string& address) const;
    // Seat, redirect or turn away one accepted caller.
    void answerCaller(int handle);
    void releaseHeldCallers();
    // Regrouping, this instance's peer link reached its own listener: the
    // link is dropped and this instance stays the hub, as the candidate.
    void dropSelfLink();
    // The reachability check of seat k (see TReach).
    void checkSeat(int k);
    // The next candidate among the seats but notuser: the first seat of the
    // best rank (answered from a public address, answered, any; encrypted
    // before plain within each); 0 when no seat qualifies. Seats found gone
    // are added to lost.
    int pickCandidate(int notuser, std::string& addr, int* lost, int& nlost);
    // Choose again after a check; announce only a changed choice.
    void rechoose();
    // The link ended: the redirect and hub-loss questions, the roster.
    void linkEnded();
    void lostHubChecked(bool answered);
    // The first seat whose peer has already gone, freed with its departure
    // handled; kSeats + 1 when there is none.
    int freeEndedSeat();
    void takeIntoTmp(int handle);
    void setTalking(bool talking);
    // The roster's names all cleared (the link ended).
    void clearRoster();
    // Connect (K8) and disconnect (K9) are offered one at a time: connect
    // while no link or hub is up, disconnect while one is.
    void offerConnect(bool offer);
    // Close the peer link for a reason its closure handling acts on.
    void closeLink(TLink closing);
    void lookUp(const std::string& target);

    TChatView* FView;
    std::string FListenAddr;
    std::string FPort;
    std::string FOwnAddr;
    bool FInitialized = false;
    bool FTalking = false;
    QTimer FTimer1;
    TLineBuffer RcvBuf;               // the peer link
    std::array<TSeat, kSeats> FSeats; // seats 1..9 at [0..8]
    TLink FLink = TLink::Down;
    // The negotiation on the peer link, when encryption is on: Hearing the
    // hub's first line (FFirstLineWait), Accepted (the go awaited), Securing
    // (the TLS handshake); Plain once settled either way.
    // Then Admitting (encrypted, the hub's first line awaited: a word asked
    // or its admission), WordAsked (the view gets the word), Proving (the
    // proof sent, the hub's verdict awaited).
    enum class TLinkTls : unsigned char { Plain, Hearing, Accepted, Securing, Admitting, WordAsked, Proving };
    TLinkTls FLinkTls = TLinkTls::Plain;
    bool FLinkEncrypted = false; // the peer link's TLS handshake is done
    QTimer FFirstLineWait;
    // The word's key given for this join (ProveWord), and the one whose
    // proof admitted this member: kept through a regroup, asked as the hub.
    groupword::TKeyRef FLinkWord;
    groupword::TKeyRef FProvedWord;
    // The key the hub handed over for the candidate it last announced
    // (NextIP); empty when that candidate's link to it is plain.
    std::string FHandedKey;
    // Hub: the key of the candidate it announces (NextIPd), as it saw it.
    std::string FNextKey;
    // Regrouping after a hub loss. Each member notices a silent loss on its
    // own clock, so the candidate may still be a peer of the lost hub when
    // another member calls it: that caller calls again (TLink::Recalling)
    // rather than follow the candidate back to FLostHub, up to
    // kCandidateCalls times, 200 ms apart.
    static constexpr int kCandidateCalls = 125;
    TRegroup FRegroup = TRegroup::None;
    std::string FLostHub;
    int FCandidateCalls = 0;
    // The candidate sent this member back to FLostHub: that address is
    // checked once per regroup (a hub that still seats others is followed,
    // as any redirect); while it does not answer, or answers empty (it came
    // back after losing its seats), the candidate is called again.
    static constexpr int kLostHubCheckMs = 2000;
    TReachCheck FLostHubCheck;
    // Callers that arrived, while regrouping, between the link's connection
    // and its first bytes: answered once the link speaks or is found to be
    // this instance's own (then seated), at the latest after a second.
    std::vector<int> FHeldCallers;
    QTimer FHeldTimer;
    static constexpr int kSeatCheckMs = 3000; // a seat's reachability check
    // Chat lines of the current read still to be relayed: a span of the
    // line buffer of seat FRelayFrom, LFs included.
    // The fields of those lines, as the line buffer cut them, for the pane.
    const char* FRelayBegin = nullptr;
    size_t FRelayLen = 0;
    int FRelayFrom = 0;
    std::vector<std::string_view> FRelayFields;
};
