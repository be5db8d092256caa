// The peer link on 127.20.3.0/24: what a peer does with each kind of line
// from a raw hub, joining and its failures, redirects, and speaking.
#include "chattest.h"

#include "texts.h"
#include "wsocket.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

std::string arrived(const std::string& n)
{
    return "\r\n" + n + txt::kArrived;
}
std::string left(const std::string& n)
{
    return "\r\n" + n + txt::kPeerLeft;
}

} // namespace

// A peer core named Pat beside a raw hub, each on an address of the test's own.
class PeerLink : public ::testing::Test {
protected:
    RawServer hub;
    std::unique_ptr<Node> node;
    std::string hubAddr;

    ::testing::AssertionResult start(const std::string& hubAt, const std::string& peerAt)
    {
        hubAddr = hubAt;
        if (!hub.Listen(hubAt.c_str(), testPort()))
            return ::testing::AssertionFailure() << "the raw hub cannot listen on " << hubAt;
        node = std::make_unique<Node>(peerAt, "Pat");
        return ::testing::AssertionSuccess();
    }

    ::testing::AssertionResult join(RawClient*& h) { return joinRawHub(*node, hub, hubAddr, h); }

    ::testing::AssertionResult startJoined(const std::string& hubAt, const std::string& peerAt, RawClient*& h)
    {
        auto ok = start(hubAt, peerAt);
        return ok ? join(h) : ok;
    }
};

TEST_F(PeerLink, JoinByDottedAddressAndTheSixKinds)
{
    ASSERT_TRUE(start("127.20.3.1", "127.20.3.2"));
    Node& p = *node;
    p.view.connectTarget = "127.20.3.1";
    p.core.K8Click();
    // The lookup of a dotted address ends inside the join start.
    ASSERT_EQ(p.view.lines.size(), 1u);
    EXPECT_EQ(p.view.lines[0], "127.20.3.1" + txt::kSearching);
    EXPECT_FALSE(p.view.k8);
    EXPECT_TRUE(p.view.k9);
    ASSERT_TRUE(hub.WaitConns(1));
    RawClient* h = hub.conns[0].get();
    ASSERT_TRUE(h->WaitFor("uPat\n"));
    EXPECT_FALSE(p.core.rbServer);
    EXPECT_TRUE(p.core.LinkConnected());

    // The roster as a hub sends it: its own name first, then two peers.
    h->Send("uHub\nuAnn\nu\nn127.20.3.9\nrAnn\n");
    ASSERT_TRUE(waitFor([&] { return p.core.NextName == "Ann"; }));
    EXPECT_EQ(p.core.lbName()[0], "Hub");
    EXPECT_EQ(p.core.lbName()[1], "Ann");
    EXPECT_EQ(p.core.nuser, 2);
    EXPECT_TRUE(p.core.NextServer);
    EXPECT_EQ(p.core.NextIP, "127.20.3.9");
    EXPECT_TRUE(p.view.hasLine(arrived("Hub")));
    EXPECT_TRUE(p.view.hasLine(arrived("")));
    EXPECT_EQ(p.view.caption, txt::kFriends);
    EXPECT_TRUE(p.view.edit);
    EXPECT_EQ(p.core.StatusConnectedText(), "Hub");
    EXPECT_EQ(p.core.StatusNextText(), "Ann");
    // Those names were this instance's own join; a later one is a newcomer.
    EXPECT_EQ(p.view.ownArrivals, (std::vector<std::string>{"Hub", "Ann", ""}));

    // A chat line keeps its CR in the stored text; unknown kinds and empty
    // lines are dropped; a line in two pieces is handled once.
    const size_t before = p.view.lines.size();
    h->Send("1Ann> hi\r\n\nxjunk\n1Ann> tw");
    ASSERT_TRUE(waitFor([&] { return p.view.lines.size() == before + 1; }));
    h->Send("o\n");
    ASSERT_TRUE(waitFor([&] { return p.view.lines.size() == before + 2; }));
    EXPECT_EQ(p.view.lines[before], "Ann> hi\r");
    EXPECT_EQ(p.view.lines[before + 1], "Ann> two");

    // Leave lines: an unknown name changes nothing; a name shown twice
    // clears only the first label holding it.
    h->Send("uAnn\ncNobody\ncAnn\n");
    ASSERT_TRUE(waitFor([&] { return p.view.hasLine(left("Ann")); }));
    EXPECT_TRUE(p.view.hasLine(left("Nobody")));
    EXPECT_EQ(p.core.lbName()[1], "");
    EXPECT_EQ(p.core.lbName()[2], "Ann");
    EXPECT_EQ(p.view.roster[2], "Ann");
    EXPECT_EQ(p.view.ownArrivals.size(), 3u);

    // A tenth name with all nine labels taken: shown, no label changes.
    h->Send("u4\nu5\nu6\nu7\nu8\nu9\nu10\nuTenth\n");
    ASSERT_TRUE(waitFor([&] { return p.view.hasLine(arrived("Tenth")); }));
    EXPECT_EQ(p.core.nuser, 9);
    EXPECT_EQ(p.core.lbName()[1], "4");
    EXPECT_EQ(p.core.lbName()[8], "10");
}

TEST_F(PeerLink, SpeakingOnAPeer)
{
    ASSERT_TRUE(start("127.20.3.11", "127.20.3.12"));
    Node& p = *node;
    // Not in a group: the error box, nothing sent.
    EXPECT_FALSE(p.core.Say("hello")); // the window keeps the text
    ASSERT_EQ(p.view.errors.size(), 1u);
    EXPECT_EQ(p.view.errors[0], txt::kNotConnected);

    RawClient* h = nullptr;
    ASSERT_TRUE(join(h));
    h->Send("uHub\n");
    ASSERT_TRUE(waitFor([&] { return p.core.nuser == 1; }));
    EXPECT_TRUE(p.core.Say("hello"));
    ASSERT_TRUE(h->WaitFor("1Pat> hello\r\n"));
    EXPECT_EQ(p.view.lines.back(), "Pat> hello");
    // Empty or only spaces (ASCII, full-width): nothing sent, nothing shown;
    // a character whose trail byte is 0x40 is text.
    h->Take();
    const size_t shown = p.view.lines.size();
    for (const char* typed : {"", " ", "\x81\x40 \x81\x40", "\x83\x40"})
        EXPECT_EQ(p.core.Say(typed), typed[0] == '\x83');
    EXPECT_EQ(p.view.lines.size(), shown + 1);
    ASSERT_TRUE(h->WaitFor("1Pat> \x83\x40\r\n"));
}

TEST_F(PeerLink, LookupAndConnectFailures)
{
    const std::string elsewhere = std::to_string(freePort());
    Node p("127.20.3.21", "Pat", elsewhere);
    // Refused: the text, and the connect command is offered again.
    p.view.connectTarget = "127.20.3.29";
    p.core.K8Click();
    ASSERT_TRUE(waitFor([&] { return p.view.hasLine(txt::kRefused); }));
    EXPECT_TRUE(p.view.k8);
    EXPECT_FALSE(p.view.k9);
    EXPECT_TRUE(p.core.rbServer);

    // Cancelled connect dialog: nothing happens.
    p.view.lines.clear();
    p.view.connectResult = 2;
    p.core.K8Click();
    EXPECT_TRUE(p.view.lines.empty());

    // A host name goes through the asynchronous lookup; the disconnect
    // command while it runs acts as the hub's and does not cancel the join.
    p.view.connectResult = 1;
    p.view.connectTarget = "localhost";
    p.core.K8Click();
    ASSERT_EQ(p.view.lines.size(), 1u);
    EXPECT_EQ(p.view.lines[0], "localhost" + txt::kSearching);
    p.core.K9Click();
    EXPECT_TRUE(p.view.questions.empty());
    EXPECT_FALSE(p.view.edit);
    ASSERT_TRUE(waitFor([&] { return p.view.hasLine(txt::kRefused) || p.view.hasLine(txt::kLookupFailed); }));
    EXPECT_TRUE(p.view.k8);
}

TEST_F(PeerLink, RedirectFollowedIgnoredOrSelfCall)
{
    ASSERT_TRUE(hub.Listen("127.20.3.31", testPort()));
    // A raw instance that is a peer: it answers every caller with its hub.
    RawServer notHub;
    ASSERT_TRUE(notHub.Listen("127.20.3.32", testPort()));
    notHub.onAccept = [](RawClient& c) { c.Send("s127.20.3.31\r\n"); };

    Node q("127.20.3.33", "Quin");
    // No: stays idle, the flag does not survive.
    q.view.connectTarget = "127.20.3.32";
    q.view.answers = {7};
    q.core.K8Click();
    ASSERT_TRUE(waitFor([&] { return q.view.questions.size() == 1; }));
    EXPECT_EQ(q.view.questions[0], txt::kRedirectQuestion);
    ASSERT_TRUE(waitFor([&] { return q.view.hasLine(txt::kDisconnected); }));
    EXPECT_FALSE(q.core.ChangeIP);
    EXPECT_EQ(q.core.IPName, "127.20.3.31");
    EXPECT_TRUE(q.core.rbServer);
    EXPECT_FALSE(q.core.Timer1Enabled());

    // Yes: 200 ms later the join goes to the hub named by the redirect.
    q.view.answers = {1};
    q.view.connectTarget = "127.20.3.32";
    q.core.K8Click();
    ASSERT_TRUE(hub.WaitConns(1));
    ASSERT_TRUE(hub.conns[0]->WaitFor("uQuin\n"));
    EXPECT_EQ(q.view.questions.size(), 2u);
    EXPECT_FALSE(q.core.ChangeIP);

    // A redirect naming the very address just tried: the self-call note,
    // no question, only the plain closure note.
    RawServer selfish;
    ASSERT_TRUE(selfish.Listen("127.20.3.34", testPort()));
    selfish.onAccept = [](RawClient& c) { c.Send("s127.20.3.34\r\n"); };
    Node r("127.20.3.35", "Rex");
    r.view.connectTarget = "127.20.3.34";
    r.core.K8Click();
    ASSERT_TRUE(waitFor([&] { return r.view.hasLine(txt::kDisconnected); }));
    EXPECT_TRUE(r.view.hasLine(txt::kSelfCall));
    EXPECT_TRUE(r.view.questions.empty());
    EXPECT_TRUE(r.view.k8);
}

TEST_F(PeerLink, PeerAnswersCallersWithItsHub)
{
    RawClient* h = nullptr;
    ASSERT_TRUE(startJoined("127.20.3.41", "127.20.3.42", h));
    Node& p = *node;
    RawClient caller;
    ASSERT_TRUE(caller.Connect("127.20.3.42", testPort(), "127.20.3.43"));
    caller.Send("uCaller\n");
    ASSERT_TRUE(caller.WaitFor("s127.20.3.41\r\n"));
    EXPECT_EQ(p.seated(), 0);
    EXPECT_FALSE(p.view.hasLine(arrived("Caller")));
}

TEST_F(PeerLink, TimerActsOnceWhenEnabledTwice)
{
    ASSERT_TRUE(start("127.20.3.51", "127.20.3.52"));
    Node& p = *node;
    p.core.IPName = "127.20.3.51";
    p.core.ChangeIP = true;
    p.core.NextServer = true;
    p.core.EnableTimer1();
    p.core.EnableTimer1();
    ASSERT_TRUE(hub.WaitConns(1));
    ASSERT_TRUE(hub.conns[0]->WaitFor("uPat\n"));
    QTest::qWait(400);
    EXPECT_EQ(hub.conns.size(), 1u);
    EXPECT_FALSE(p.core.ChangeIP);
    EXPECT_FALSE(p.core.NextServer);
    EXPECT_EQ(p.core.DT, 0);
    // The timer path adds no "searching" line.
    EXPECT_TRUE(p.view.lines.empty());
}

TEST_F(PeerLink, OnlyTheHubInTheRosterGivesThePlainNote)
{
    RawClient* h = nullptr;
    ASSERT_TRUE(startJoined("127.20.3.61", "127.20.3.62", h));
    Node& p = *node;
    h->Send("uHub\nn127.20.3.62\n");
    ASSERT_TRUE(waitFor([&] { return p.core.NextServer; }));
    h->Close();
    ASSERT_TRUE(waitFor([&] { return p.core.rbServer; }));
    EXPECT_TRUE(p.view.questions.empty());
    EXPECT_TRUE(p.view.hasLine(txt::kDisconnected));
    EXPECT_FALSE(p.view.hasLine(txt::kHubLostWait));
    EXPECT_EQ(p.view.caption, txt::kNoFriends);
    EXPECT_FALSE(p.core.NextServer);
}

TEST_F(PeerLink, LeavingOnPurposeIsNoHubLoss)
{
    RawClient* h = nullptr;
    ASSERT_TRUE(startJoined("127.20.3.71", "127.20.3.72", h));
    Node& p = *node;
    h->Send("uHub\nuAnn\nn127.20.3.99\nrAnn\n");
    ASSERT_TRUE(waitFor([&] { return p.core.NextName == "Ann"; }));
    p.core.K9Click();
    EXPECT_TRUE(p.view.questions.empty());
    EXPECT_TRUE(p.view.hasLine(txt::kDisconnected));
    EXPECT_TRUE(h->WaitEof());
    EXPECT_TRUE(p.core.rbServer);
    EXPECT_EQ(p.core.nuser, 0);
    for (const auto& n : p.core.lbName())
        EXPECT_EQ(n, "");
}

TEST_F(PeerLink, CommandLineJoinBeforeListeningAndIdleStatus)
{
    ASSERT_TRUE(hub.Listen("127.20.3.81", testPort()));
    FakeView view;
    TChatCore core(&view, "127.20.3.82", testPortText(), "127.20.3.82");
    core.Name = "Cli";
    EXPECT_EQ(core.StatusConnectedText(), txt::kNone);
    EXPECT_EQ(core.StatusNextText(), txt::kNone);
    core.CommandLineJoin(""); // no argument: nothing
    EXPECT_TRUE(view.lines.empty());
    // The window's constructor joins before its first showing listens.
    core.CommandLineJoin("127.20.3.81");
    EXPECT_FALSE(core.Initialized());
    ASSERT_EQ(view.lines.size(), 1u);
    EXPECT_EQ(view.lines[0], "127.20.3.81" + txt::kSearching);
    core.StartServer();
    ASSERT_TRUE(hub.WaitConns(1));
    ASSERT_TRUE(hub.conns[0]->WaitFor("uCli\n"));
    EXPECT_TRUE(core.Initialized());
    ASSERT_TRUE(waitFor([&] { return !core.rbServer; }));
    hub.conns[0]->Send("uHub\nuX\nn127.20.3.82\nrCli\n");
    ASSERT_TRUE(waitFor([&] { return core.NextName == "Cli"; }));
    // The candidate peer sees itself named.
    EXPECT_EQ(core.StatusNextText(), txt::kItsYou);
    EXPECT_EQ(core.StatusConnectedText(), "Hub");
}

TEST_F(PeerLink, ConnectThatCannotStartReleasesItsSocket)
{
    // An own address that is not this machine's: the bind before the
    // connect fails. The error is raised to the command's caller, the
    // half-made socket is released and the connect command offered again.
    FakeView view;
    TChatCore core(&view, "192.0.2.1", testPortText(), "192.0.2.1");
    view.connectTarget = "127.20.3.92";
    EXPECT_THROW(core.K8Click(), ESocketException);
    EXPECT_EQ(core.CliWSocket->State(), wsClosed);
    EXPECT_TRUE(view.k8);
    EXPECT_FALSE(view.k9);
    EXPECT_THROW(core.K8Click(), ESocketException); // the same again, not "in use"
    EXPECT_EQ(core.CliWSocket->State(), wsClosed);
}

TEST_F(PeerLink, PartialLineAndFailureTexts)
{
    RawClient* h1 = nullptr;
    ASSERT_TRUE(startJoined("127.20.3.101", "127.20.3.102", h1));
    Node& p = *node;
    // The link ends in the middle of a line: the next link starts clean.
    h1->Send("uHub\n1Hub> half a li");
    ASSERT_TRUE(waitFor([&] { return p.core.nuser == 1; }));
    QTest::qWait(20);
    h1->Close();
    ASSERT_TRUE(waitFor([&] { return p.core.rbServer; }));
    RawClient* h2 = nullptr;
    ASSERT_TRUE(join(h2));
    h2->Send("uHub2\n");
    ASSERT_TRUE(waitFor([&] { return p.core.nuser == 1; }));
    EXPECT_EQ(p.core.lbName()[0], "Hub2");

    // A connection error other than a refusal shows its number.
    p.view.lines.clear();
    p.core.CliWSocketSessionConnected(10060);
    ASSERT_EQ(p.view.lines.size(), 1u);
    EXPECT_EQ(p.view.lines[0], txt::kConnectFailed + "10060");
    EXPECT_TRUE(p.view.k8);
    EXPECT_FALSE(p.view.k9);
}
