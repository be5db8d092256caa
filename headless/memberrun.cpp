#include "memberrun.h"

#include "chatcore.h"
#include "consoleinput.h"
#include "consoleview.h"
#include "exception.h"
#include "hubrun.h"
#include "knownhubs.h"
#include "tlsidentity.h"
#include "ownaddress.h"
#include "settingskeys.h"
#include "signalwatch.h"
#include "sjis.h"
#include "texts.h"
#include "wsocket.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <algorithm>
#include <cstdio>
#include <deque>
#include <memory>

namespace {

std::string utf8(const std::string& cp932)
{
    return sjis::decode(cp932).toStdString();
}

std::string messageOf(const std::exception& e)
{
    if (const auto* own = dynamic_cast<const Exception*>(&e))
        return utf8(own->Message());
    return e.what();
}

// How long a member that has been in a group stays alone (no link, no
// regroup under way, not waiting as the new hub) before it takes the group
// for gone: a grace for a step of the regroup that starts after an event
// of its own (a link that came round to this instance's own listener).
constexpr int kGoneAfterMs = 1000;
// How long the hub has to close the link once this member has said its last.
constexpr int kLeaveMs = 3000;
// A script may pour in lines faster than the link takes them: input is read
// while fewer lines wait, and lines are said while the link's own queue is
// short (its limit would end the link as a flood).
constexpr size_t kMaxWaiting = 1000;
constexpr size_t kMaxUnsent = 64 * 1024;

class TMember {
public:
    explicit TMember(const TMemberOptions& o) : FOptions(o)
    {
        FSettle.setSingleShot(true);
        QObject::connect(&FSettle, &QTimer::timeout, [this] { settle(); });
        FGone.setSingleShot(true);
        QObject::connect(&FGone, &QTimer::timeout, [this] { settle(true); });
        FLeaveTimer.setSingleShot(true);
        QObject::connect(&FLeaveTimer, &QTimer::timeout, [this] { finish(0); });
    }

    int Run();

private:
    void startCore();
    void encrypt();
    void keyChanged(const std::string& address, const std::string& pinned, const std::string& shown);
    // The hub's key in the journal, once for each hub joined.
    void noteHubKey();
    void watchSends();
    void typed(const QString& text);
    void refuse(const std::string& why, const QString& line);
    void sayQueued();
    void stop();
    void leave();
    void settle(bool goneWaited = false);
    void finish(int code, const std::string& why = std::string());
    // Check the state once the current event is handled: the core may be
    // inside a handler of its own now.
    void later() { FSettle.start(0); }
    // Bytes said but not yet taken by the system, on the link or a seat.
    size_t unsent() const;

    const TMemberOptions& FOptions;
    TConsoleView FView;
    std::unique_ptr<TChatCore> FCore;
    TConsoleInput FInput{0};
    TSignalWatch FSignals;
    std::deque<std::string> FQueue; // CP932 lines not yet said
    bool FJoinedOnce = false;
    std::string FKeyNoted; // the hub and key last noted
    bool FPlainSaid = false;
    bool FStopping = false; // input ended or a signal: leave once all is said
    bool FLeaving = false;
    int FExit = -1;
    QTimer FSettle, FGone, FLeaveTimer;
    groupword::TKeyRef FWord; // --word-file's key
};

void TMember::startCore()
{
    TChatPlace p = FOptions.place;
    if (p.ownAddr.empty())
        p.ownAddr = TSirSock().SelfIPAddress();
    FCore = std::make_unique<TChatCore>(&FView, p.listenAddr, p.port, p.ownAddr);
    FCore->Name = MemberNick(FOptions);
    encrypt();
    try {
        FCore->StartServer();
        return;
    } catch (const std::exception& e) {
        FView.Error(utf8(txt::kListenFailed) + " (" + p.listenAddr + ":" + p.port + ") " + messageOf(e) + " " +
                    utf8(txt::kNotCallable));
    }
    // Not listening, it must not take itself for a named candidate: whoever
    // listens at its address is the one the others will call.
    const std::string name = FCore->Name;
    FCore = std::make_unique<TChatCore>(&FView, p.listenAddr, p.port, std::string());
    FCore->Name = name;
    encrypt();
}

void TMember::encrypt()
{
    FCore->MemberWord = FWord;
    std::string unused;
    if (!(FOptions.place.encrypt || FWord) || FCore->EncryptWithOwnIdentity(&unused) || FPlainSaid)
        return;
    FPlainSaid = true; // once, not again for a second core
    FView.Note(
        sjis::decode(txt::kPlainForNoKey).arg(QString::fromStdString(TTlsIdentity::DefaultPath())).toStdString());
}

void TMember::keyChanged(const std::string& address, const std::string& pinned, const std::string& shown)
{
    const std::string program = QFileInfo(QCoreApplication::applicationFilePath()).fileName().toStdString();
    finish(kExitMemberFailed,
           sjis::decode(txt::kKeyChangedHowTo)
               .arg(QString::fromStdString(address), QString::fromStdString(pinned), QString::fromStdString(shown),
                    QString::fromStdString(program))
               .toStdString());
}

void TMember::noteHubKey()
{
    const std::string key = FCore->HubFingerprint();
    const std::string noted = FCore->IPName + " " + key;
    if (key.empty() || noted == FKeyNoted)
        return;
    FKeyNoted = noted;
    FView.Note(
        sjis::decode(txt::kHubKeyIs).arg(QString::fromStdString(key), sjis::decode(FCore->IPName)).toStdString());
}

void TMember::watchSends()
{
    // A queue that drains is a reason to say more.
    auto drained = [this](TCustomWSocket*, uint16_t) { later(); };
    FCore->CliWSocket->OnDataSent = drained;
    for (int k = 1; k <= TChatCore::kSeats; ++k)
        FCore->Cli(k).OnDataSent = drained;
}

void TMember::typed(const QString& text)
{
    const std::u32string bad = sjis::unencodable(text);
    if (!bad.empty()) {
        QString names;
        for (char32_t c : bad)
            names +=
                QString::fromUcs4(&c, 1) + QStringLiteral(" (U+%1) ").arg(uint(c), 4, 16, QLatin1Char('0')).toUpper();
        refuse(txt::kUnencodableLine, names + text);
        return;
    }
    std::string line = sjis::encode(text);
    // "1" nick "> " text CR must fit the wire's line, or nobody would read it.
    if (1 + FCore->Name.size() + 2 + line.size() + 1 > size_t(TLineBuffer::kMaxLine)) {
        refuse(txt::kTooLongLine, text.left(40));
        return;
    }
    FQueue.push_back(std::move(line));
    FInput.Pause(FQueue.size() >= kMaxWaiting);
    sayQueued();
}

void TMember::refuse(const std::string& why, const QString& line)
{
    FView.Error(utf8(why) + line.toStdString());
}

void TMember::sayQueued()
{
    while (!FQueue.empty() && FCore->Talking() && !FLeaving && unsent() < kMaxUnsent) {
        const std::string line = std::move(FQueue.front());
        FQueue.pop_front();
        FCore->Say(line);
    }
    FInput.Pause(FQueue.size() >= kMaxWaiting);
    // Once joined (or waiting as the new hub), so that even nothing to say
    // is a join and a departure the others see, and tells whether it worked.
    if (FStopping && FQueue.empty() && (FCore->Talking() || FView.WaitingAsHub()))
        leave();
}

size_t TMember::unsent() const
{
    size_t bytes = FCore->CliWSocket->SendQueueSize();
    for (int k = 1; k <= TChatCore::kSeats; ++k)
        bytes = std::max(bytes, FCore->Cli(k).SendQueueSize());
    return bytes;
}

void TMember::stop()
{
    if (FStopping) {
        finish(kExitMemberFailed, utf8(txt::kHubStopping));
        return;
    }
    FStopping = true;
    FInput.Stop();
    later();
}

void TMember::leave()
{
    if (FLeaving)
        return;
    FLeaving = true;
    FView.Note(utf8(txt::kLeaving));
    FLeaveTimer.start(kLeaveMs);
    if (FCore->rbServer) {
        // The hub of a regrouped group: closing its seats makes the others
        // regroup around the candidate it named.
        FCore->K9Click();
        finish(0);
        return;
    }
    // Said, then half closed: the hub reads the last line before the end,
    // tells the others this member left and closes the link.
    FCore->NextServer = false;
    TWSocket& link = *FCore->CliWSocket;
    link.OnDataSent = [](TCustomWSocket* s, uint16_t) {
        if (s->SendQueueSize() == 0)
            s->Shutdown(1);
    };
    link.OnDataSent(&link, 0);
}

void TMember::settle(bool goneWaited)
{
    if (FExit >= 0)
        return;
    FView.TurnEnded();
    if (FCore->Talking()) {
        FJoinedOnce = true;
        FGone.stop();
        noteHubKey();
    }
    sayQueued();
    if (FCore->Talking() || FExit >= 0)
        return;
    const bool alone = FView.Idle() && !FCore->Timer1Enabled() && FCore->Regroup() == TChatCore::TRegroup::None &&
        !FView.WaitingAsHub();
    if (!alone) {
        FGone.stop();
        return;
    }
    // Asked to leave with all said: alone is as good as gone.
    if (FLeaving || (FStopping && FQueue.empty() && FJoinedOnce))
        finish(0);
    else if (!FJoinedOnce || goneWaited)
        finish(kExitMemberFailed, FView.Reason());
    else if (!FGone.isActive())
        FGone.start(kGoneAfterMs);
}

void TMember::finish(int code, const std::string& why)
{
    if (FExit >= 0)
        return;
    FExit = code;
    if (!why.empty())
        FView.Error(why);
    QCoreApplication::exit(code);
}

int TMember::Run()
{
    if (!FOptions.wordFile.empty()) {
        std::string why;
        FWord = ReadGroupWord(FOptions.wordFile, &why);
        if (!FWord) {
            FView.Error(why);
            FView.Flush();
            return kExitMemberFailed;
        }
    }
    FView.OnWordRefused = [this](const std::string& why) { finish(kExitMemberFailed, utf8(why)); };
    startCore();
    watchSends();
    FInput.OnLine = [this](const QString& text) { typed(text); };
    FInput.OnTooLong = [this](const QString& start) { refuse(txt::kTooLongLine, start); };
    FInput.OnEnd = [this] { stop(); };
    QObject::connect(&FSignals, &TSignalWatch::Received, [this] { stop(); });
    FView.OnState = [this] { later(); };
    FView.OnKeyChanged = [this](const std::string& address, const std::string& pinned, const std::string& shown) {
        keyChanged(address, pinned, shown);
    };
    WSocketExceptionHandler = [this](const std::exception& e) { FView.Error(messageOf(e)); };
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, [this] {
        FView.TurnEnded();
        FView.Flush();
    });
    try {
        FCore->CommandLineJoin(sjis::encode(QString::fromStdString(FOptions.target)));
    } catch (const std::exception& e) {
        FView.Error(messageOf(e));
        FView.Flush();
        WSocketExceptionHandler = nullptr;
        return kExitMemberFailed;
    }
    const int code = QCoreApplication::exec();
    WSocketExceptionHandler = nullptr;
    FView.Flush();
    return code;
}

} // namespace

std::string MemberNick(const TMemberOptions& o)
{
    if (o.nameGiven)
        return sjis::encode(QString::fromStdString(o.name));
    const QVariant stored = settingskeys::Stored(settingskeys::kUserName);
    return stored.isValid() ? sjis::encode(stored.toString()) : txt::kDefaultNick;
}

int RunMember(int& argc, char** argv, const TMemberOptions& o)
{
    // As the headless hub: Qt's own poll loop, and a journal that nobody
    // reads any more does not end the member.
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    // A standard descriptor that is closed would be taken by the first
    // socket: the journal would go to a peer, and input come from it.
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) < 0)
            ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    QCoreApplication app(argc, argv);
    std::signal(SIGPIPE, SIG_IGN);
    TMember member(o);
    return member.Run();
}

int ForgetHub(const std::string& program, const std::string& address)
{
    const std::string removed = TKnownHubs(TKnownHubs::DefaultPath()).Forget(address);
    const QString a = QString::fromStdString(address);
    const std::string line =
        (removed.empty() ? program + ": " + sjis::decode(txt::kNoHubPinned).arg(a).toStdString()
                         : sjis::decode(txt::kForgotHub).arg(a, QString::fromStdString(removed)).toStdString()) +
        "\n";
    std::fwrite(line.data(), 1, line.size(), removed.empty() ? stderr : stdout);
    return removed.empty() ? kExitMemberFailed : 0;
}
