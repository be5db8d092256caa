// The chat core's construction, the window's commands that are not tied to
// one role, and the status texts.
#include "chatcore.h"

#include "knownhubs.h"
#include "negotiation.h"
#include "texts.h"
#include "tlsidentity.h"
#include "wire.h"
#include "wsocket.h"

#include <functional>

namespace {

// A one-shot timer of the core. Nothing may leave a timer handler through the
// event loop: a failure goes to the application's error report, as for every
// handler (the error box is for the chat's own messages).
void oneShot(QTimer& timer, int ms, std::function<void()> tick)
{
    timer.setSingleShot(true);
    timer.setInterval(ms);
    QObject::connect(&timer, &QTimer::timeout, &timer, [tick = std::move(tick)] {
        try {
            tick();
        } catch (const std::exception& e) {
            WSocketExceptionHandler(e);
        }
    });
}

} // namespace

TChatCore::TChatCore(TChatView* view, std::string listenAddr, std::string port, std::string ownAddr)
    : FView(view), FListenAddr(std::move(listenAddr)), FPort(std::move(port)), FOwnAddr(std::move(ownAddr))
{
    SrvWSocket = std::make_unique<TWSocket>();
    TmpWSocket = std::make_unique<TWSocket>();
    CliWSocket = std::make_unique<TWSocket>();
    SrvWSocket->SetFlushTimeout(30);
    TmpWSocket->SetFlushTimeout(30);
    CliWSocket->SetFlushTimeout(45);

    SrvWSocket->OnSessionAvailable = [this](TCustomWSocket*, uint16_t e) { SrvWSocketSessionAvailable(e); };
    // A caller answered through TmpWSocket may talk before it hangs up (a
    // joining instance sends its name line at once). Its bytes are read and
    // dropped, so they neither keep the socket readable nor turn the full
    // hub's close into a reset that could destroy the full line in flight.
    TmpWSocket->OnDataAvailable = [this](TCustomWSocket*, uint16_t) { drainTmp(); };

    for (int k = 1; k <= kSeats; ++k) {
        TWSocket& s = Cli(k);
        s.SetFlushTimeout(30);
        s.OnDataAvailable = [this, k](TCustomWSocket*, uint16_t e) { CliNWSocketDataAvailable(k, e); };
        s.OnSessionClosed = [this, k](TCustomWSocket*, uint16_t e) { CliNWSocketSessionClosed(k, e); };
        // A member that reads slowly holds back the seats that feed it; one
        // that does not read at all is dropped once its queue stops moving.
        s.SetSendWaterMarks(THubGuard::kHighWater, THubGuard::kLowWater);
        s.SetSendStallTimeout(THubGuard::kStallMs);
        s.OnSendQueueLevel = [this, k](TCustomWSocket*, bool above) { queueLevel(k, above); };
        oneShot(Seat(k).NameWait, THubGuard::kNameWaitMs, [this, k] { nameWaitOver(k); });
        oneShot(Seat(k).RateWait, 0, [this, k] { serveWaiting(k); });
        s.OnTlsDone = [this, k](TCustomWSocket*, uint16_t e) { CliNWSocketTlsDone(k, e); };
        oneShot(Seat(k).OfferWait, negotiation::kOfferWaitMs, [this, k] { offerWaitOver(k); });
    }

    CliWSocket->OnDnsLookupDone = [this](TCustomWSocket*, uint16_t e) { CliWSocketDnsLookupDone(e); };
    CliWSocket->OnSessionConnected = [this](TCustomWSocket*, uint16_t e) { CliWSocketSessionConnected(e); };
    CliWSocket->OnSessionClosed = [this](TCustomWSocket*, uint16_t e) { CliWSocketSessionClosed(e); };
    CliWSocket->OnDataAvailable = [this](TCustomWSocket*, uint16_t e) { CliWSocketDataAvailable(e); };
    CliWSocket->OnTlsDone = [this](TCustomWSocket*, uint16_t e) { CliWSocketTlsDone(e); };
    // An instance that listens on one address of the machine speaks from it
    // too, so its hub announces that address as a next candidate.
    if (!FListenAddr.empty() && FListenAddr != "0.0.0.0")
        CliWSocket->SetLocalAddr(FListenAddr);

    oneShot(FHeldTimer, 1000, [this] { releaseHeldCallers(); });
    oneShot(FTimer1, 200, [this] { Timer1Timer(); });
    oneShot(FFirstLineWait, negotiation::kFirstLineWaitMs, [this] { firstLineWaitOver(); });
}

bool TChatCore::EncryptWithOwnIdentity(std::string* error)
{
    const TTlsIdentity me = TTlsIdentity::LoadOrCreate(TTlsIdentity::DefaultPath(), error);
    if (me.IsNull())
        return false;
    Encrypt.ctx = MakeTlsContext(me);
    Encrypt.knownHubs = TKnownHubs::DefaultPath();
    Encrypt.own = me.Fingerprint();
    return Encrypt.On();
}

std::string TChatCore::HubFingerprint() const
{
    if (rbServer || !LinkConnected() || !CliWSocket->TlsEstablished())
        return std::string();
    return CliWSocket->TlsPeerFingerprint();
}

TChatCore::~TChatCore()
{
    FTimer1.stop();
    FHeldTimer.stop();
    FFirstLineWait.stop();
    for (TSeat& seat : FSeats) {
        seat.OfferWait.stop();
        seat.NameWait.stop();
        seat.RateWait.stop();
    }
    for (int h : FHeldCallers)
        hangUp(h);
    // Destroying the sockets ends their connections without any chat
    // handling: unbind every handler first.
    auto unbind = [](TWSocket& s) {
        s.OnDataAvailable = nullptr;
        s.OnSessionClosed = nullptr;
        s.OnSessionAvailable = nullptr;
        s.OnSessionConnected = nullptr;
        s.OnDnsLookupDone = nullptr;
        s.OnSendQueueLevel = nullptr;
        s.OnTlsDone = nullptr;
    };
    unbind(*SrvWSocket);
    unbind(*TmpWSocket);
    unbind(*CliWSocket);
    for (int k = 1; k <= kSeats; ++k)
        unbind(Cli(k));
}

void TChatCore::StartServer()
{
    if (FInitialized)
        return;
    FInitialized = true;
    SrvWSocket->SetPort(FPort);
    SrvWSocket->SetProto("tcp");
    SrvWSocket->SetAddr(FListenAddr);
    SrvWSocket->Listen();
}

bool TChatCore::LinkConnected() const
{
    return CliWSocket->State() == wsConnected;
}

bool TChatCore::CloseQuery()
{
    if (rbServer && nuser > 1)
        return FView->AskQuestion(txt::kCloseHubQuestion) == mrOk;
    return true;
}

void TChatCore::FormClose()
{
    NextServer = false;
    FTimer1.stop();
}

std::string TChatCore::StatusConnectedText() const
{
    if (rbServer && nuser != 0)
        return txt::kYouAreHub;
    if (LinkConnected())
        return Seat(1).Name;
    return txt::kNone;
}

std::string TChatCore::StatusNextText() const
{
    if (!NextIP.empty() && nuser > 1)
        return NextIP != FOwnAddr ? NextName : txt::kItsYou;
    return txt::kNone;
}

void TChatCore::NameList()
{
    nuser = 0;
    for (const TSeat& s : FSeats)
        if (!s.Name.empty())
            ++nuser;
    std::array<bool, kSeats> plain;
    for (size_t i = 0; i < plain.size(); ++i)
        plain[i] = FSeats[i].Plain && !FSeats[i].Name.empty();
    FView->ShowLinks(plain, OwnLink());
    FView->ShowRoster(lbName(), nuser == 0 ? txt::kNoFriends : txt::kFriends);
    if (nuser == 0) {
        offerConnect(true);
        rbServer = true;
        setTalking(false);
    } else {
        offerConnect(false);
        setTalking(true);
    }
}

TOwnLink TChatCore::OwnLink() const
{
    if (!rbServer)
        return !LinkConnected() ? TOwnLink::None : FLinkEncrypted ? TOwnLink::Encrypted : TOwnLink::Plain;
    bool any = false;
    for (const TSeat& s : FSeats) {
        if (!s.Member())
            continue;
        if (!s.Encrypted)
            return TOwnLink::Plain;
        any = true;
    }
    return any ? TOwnLink::Encrypted : TOwnLink::None;
}

std::array<std::string, TChatCore::kSeats> TChatCore::lbName() const
{
    std::array<std::string, kSeats> names;
    for (size_t i = 0; i < names.size(); ++i)
        names[i] = FSeats[i].Name;
    return names;
}

void TChatCore::clearRoster()
{
    for (TSeat& s : FSeats) {
        s.Name.clear();
        s.Plain = false;
    }
}

void TChatCore::setTalking(bool talking)
{
    FTalking = talking;
    FView->ShowTalking(talking);
}

bool TChatCore::blank(std::string_view text)
{
    // ASCII spaces and the full-width space (CP932 81 40); read in pairs
    // from the start, so a trail byte 0x40 of another character never counts.
    for (size_t i = 0; i < text.size();) {
        if (text[i] == ' ')
            ++i;
        else if (text.compare(i, 2, "\x81\x40") == 0)
            i += 2;
        else
            return false;
    }
    return true;
}

std::string_view TChatCore::oneLine(std::string_view s)
{
    return s.substr(0, s.find_first_of(std::string_view("\r\n\0", 3)));
}

std::string TChatCore::nameLine() const
{
    return wire::NameLine(oneLine(Name));
}

void TChatCore::offerConnect(bool offer)
{
    FView->ShowConnectOffered(offer);
}

bool TChatCore::Say(const std::string& typed)
{
    if (!FTalking) {
        FView->ShowError(txt::kNotConnected);
        return false;
    }
    // What was typed never carries a line break onto the wire: another
    // line kind would follow it to every seat.
    const std::string_view text = oneLine(typed);
    // Nothing typed but spaces is nothing said: no line goes to the group.
    if (blank(text))
        return false;
    const std::string_view name = oneLine(Name);
    const std::string line = wire::ChatLine(name, text);
    if (rbServer) {
        // The hub's own lines go to its members directly.
        for (int k = 1; k <= kSeats; ++k)
            if (Seat(k).Member())
                seatSend(k, line);
    } else {
        CliWSocket->SendStr(line);
    }
    FView->ShowEvent(TChatEvent::OwnLine(name, text));
    return true;
}
