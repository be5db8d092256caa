#pragma once
// Helpers of the chat tests on top of the shared kit: a fake view that
// records what the core told it and answers questions from a script, a
// chat node listening on a loopback address, and raw peers on a hub that is
// either such a node or the headless hub (pelmora --hub) in a child process.

#include "chatcore.h"
#include "chatview.h"
#include "headlesshub.h"
#include "hubview.h"
#include "sjis.h"
#include "testkit.h"
#include "texts.h"

#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace testkit;

class FakeView : public TChatView {
public:
    std::vector<std::string> lines;
    std::array<std::string, 9> roster;
    std::string caption;
    int rosterShows = 0;
    bool k8 = true, k9 = false, edit = false;
    int focus = 0;
    std::vector<std::string> questions;
    std::deque<int> answers;           // next answers (1 yes, 7 no); empty = no
    std::function<void()> whileAsking; // runs while a question is open
    std::vector<std::string> errors;
    int connectResult = 1;
    std::string connectTarget;
    bool keepLines = true;
    size_t lineCount = 0;
    std::vector<std::string> ownArrivals; // arrivals told at one's own join
    std::array<bool, 9> plain{};
    TOwnLink own = TOwnLink::None;
    std::vector<std::string> keyQuestions; // "address pinned shown" of each changed key
    int keyAnswer = 7;                     // its answer (1 accepts)

    void ShowEvent(const TChatEvent& event) override
    {
        ++lineCount;
        if (event.Kind == TChatEvent::TKind::Arrival && event.Own)
            ownArrivals.emplace_back(event.Text);
        if (keepLines)
            lines.push_back(EventText(event));
    }
    void ShowRoster(const std::array<std::string, 9>& names, const std::string& c) override
    {
        roster = names;
        caption = c;
        ++rosterShows;
    }
    void ShowLinks(const std::array<bool, 9>& p, TOwnLink o) override
    {
        plain = p;
        own = o;
    }
    void ShowConnectOffered(bool offered) override
    {
        k8 = offered;
        k9 = !offered;
    }
    void ShowTalking(bool talking) override { edit = talking; }
    void ShowFirstSeatTaken() override { ++focus; }
    TModalResult AskQuestion(const std::string& text) override
    {
        questions.push_back(text);
        if (whileAsking)
            whileAsking();
        if (answers.empty())
            return mrNo;
        int a = answers.front();
        answers.pop_front();
        return TModalResult(a);
    }
    TModalResult AskKeyChange(const std::string& address, const std::string& pinned, const std::string& shown) override
    {
        keyQuestions.push_back(address + " " + pinned + " " + shown);
        return TModalResult(keyAnswer);
    }
    void ShowError(const std::string& text) override { errors.push_back(text); }
    TModalResult RunConnectDialog(std::string& target) override
    {
        target = connectTarget;
        return TModalResult(connectResult);
    }

    bool hasLine(const std::string& s) const
    {
        for (const auto& l : lines)
            if (l == s)
                return true;
        return false;
    }
};

// An in-band barrier: the hub speaks a marker line to every seat; each
// client drops what it received up to and including it.
inline bool sync(TChatCore& hub, FakeView& /*view*/, const std::vector<RawClient*>& clients)
{
    static int n = 0;
    const std::string marker = "#sync" + std::to_string(++n);
    hub.Say(marker);
    bool ok = true;
    for (RawClient* c : clients)
        ok = c->SkipThrough(hub.Name + "> " + marker + "\r\n") && ok;
    return ok;
}

// The port every instance of this test process listens on and joins. The
// system picks one that is free on every address, once per process, so
// copies of the same test run in parallel (other build trees) never meet.
inline int testPort()
{
    static const int port = freePort();
    return port;
}
inline std::string testPortText()
{
    return std::to_string(testPort());
}

// A chat core with its fake view, listening on addr:port, own address addr.
struct Node {
    FakeView view;
    TChatCore core;
    Node(const std::string& addr, const std::string& name, const std::string& port = testPortText(), bool listen = true)
        : core(&view, addr, port, addr)
    {
        core.Name = name;
        if (listen)
            core.StartServer();
    }
    int seated() const
    {
        int n = 0;
        for (int k = 1; k <= TChatCore::kSeats; ++k)
            n += core.SeatConnected(k);
        return n;
    }
};

// Joins peer to a raw hub listening on hubAddr: h is the hub's side of the
// new link, with the peer's name line already read.
inline ::testing::AssertionResult joinRawHub(Node& peer, RawServer& hub, const std::string& hubAddr, RawClient*& h)
{
    peer.view.connectTarget = hubAddr;
    const size_t n = hub.conns.size();
    peer.core.K8Click();
    if (!hub.WaitConns(n + 1))
        return ::testing::AssertionFailure() << "the raw hub saw no caller";
    h = hub.conns[n].get();
    if (!h->WaitFor("u" + peer.core.Name + "\n"))
        return ::testing::AssertionFailure() << "the caller did not give its name";
    if (!waitFor([&] { return !peer.core.rbServer; }))
        return ::testing::AssertionFailure() << "the peer did not leave the hub role";
    h->Take();
    return ::testing::AssertionSuccess();
}

// Where the hub under test runs: a chat core in this process with the fake
// view, or the headless hub in a child process (the same chat code).
enum class HubKind { InProcess, Headless };
inline std::string PrintToString(HubKind k)
{
    return k == HubKind::InProcess ? "InProcess" : "Headless";
}

// A hub named Hub against raw peers bound to addresses beside its own.
class RawPeersOnHub : public ::testing::Test {
protected:
    explicit RawPeersOnHub(const std::string& hubAddr, HubKind kind = HubKind::InProcess)
        : hub(hubAddr, "Hub", testPortText(), kind == HubKind::InProcess)
        , FHubAddr(hubAddr)
        , FHeadless(kind == HubKind::Headless ? std::make_unique<HeadlessHub>() : nullptr)
    {
        // No line rate unless a test asks for one: the relay tests send
        // more than a burst at once.
        hub.core.Guard.lineRate = 0;
        headlessArgs = {QStringLiteral("--line-rate"), QStringLiteral("0")};
    }

    void SetUp() override
    {
        if (FHeadless) {
            ASSERT_TRUE(FHeadless->Start(FHubAddr, testPort(), "Hub", headlessArgs))
                << "no pelmora --hub: " << FHeadless->errors;
        }
    }

    // The hub runs in this process: hub.core and hub.view are the hub.
    // Otherwise hub is a node that does not listen, and only the wire and
    // the journal tell what the hub did.
    bool inProcess() const { return !FHeadless; }

    // The hub showed the event (in its view, or as a journal line).
    bool shows(const TChatEvent& e, int ms = 5000)
    {
        if (FHeadless)
            return FHeadless->Shows(JournalText(e), ms);
        return waitFor([&] { return hub.view.hasLine(EventText(e)); }, ms);
    }

    // A raw peer from .host of the hub's /24 that, unless name is null,
    // sends its name line at once; seated (by a headless hub: it was
    // greeted) and, when named, seen arriving. The peer lives as long as the
    // test.
    ::testing::AssertionResult seat(RawClient*& c, int host, const char* name = nullptr)
    {
        FPeers.push_back(std::make_unique<RawClient>());
        c = FPeers.back().get();
        const std::string from = FHubAddr.substr(0, FHubAddr.rfind('.') + 1) + std::to_string(host);
        const int before = hub.seated();
        if (!c->Connect(FHubAddr.c_str(), testPort(), from.c_str()))
            return ::testing::AssertionFailure() << from << " cannot connect to the hub";
        // A plain instance names itself at once: an encrypting hub then
        // admits it without waiting for an answer to its offer.
        if (name)
            c->Send("u" + std::string(name) + "\n");
        const std::string greeting = "uHub\n";
        if (!waitFor([&] {
                return FHeadless ? c->received.compare(0, greeting.size(), greeting) == 0 : hub.seated() > before;
            }))
            return ::testing::AssertionFailure() << from << " was not seated";
        if (!name)
            return ::testing::AssertionSuccess();
        if (!shows(TChatEvent::Arrival(name)))
            return ::testing::AssertionFailure() << "the hub did not show " << name << " arriving";
        return ::testing::AssertionSuccess();
    }

    // An in-band barrier of relayed lines, whoever the hub is: the first two
    // clients each speak a marker that the others drop through; then nothing
    // the hub sent before is left unread.
    bool barrier(const std::vector<RawClient*>& clients)
    {
        static int n = 0;
        bool ok = clients.size() >= 2;
        for (size_t speaker = 0; ok && speaker < 2; ++speaker) {
            const std::string marker = "1#barrier" + std::to_string(++n) + "\n";
            clients[speaker]->Send(marker);
            for (size_t i = 0; i < clients.size(); ++i)
                if (i != speaker)
                    ok = clients[i]->SkipThrough(marker) && ok;
        }
        return ok;
    }

    Node hub;
    // More options for a headless hub, set before it starts.
    QStringList headlessArgs;

private:
    std::string FHubAddr;
    std::unique_ptr<HeadlessHub> FHeadless;
    std::vector<std::unique_ptr<RawClient>> FPeers;
};

// The same fixture, its hub chosen by the test's parameter.
class RawPeersOnEitherHub : public RawPeersOnHub, public ::testing::WithParamInterface<HubKind> {
protected:
    explicit RawPeersOnEitherHub(const std::string& hubAddr) : RawPeersOnHub(hubAddr, GetParam()) { }
};

#define PELMORA_ON_EITHER_HUB(suite)                                                                                   \
    INSTANTIATE_TEST_SUITE_P(On, suite, ::testing::Values(HubKind::InProcess, HubKind::Headless),                      \
                             [](const ::testing::TestParamInfo<HubKind>& i) { return PrintToString(i.param); })
