// The hub against raw peers on 127.20.1.0/24: admission, the newcomer's
// first bytes, next-candidate announcements, relay, the full hub, departures
// and the roster states.
#include "chattest.h"

#include "texts.h"

#include <gtest/gtest.h>

namespace {

const char* kHub = "127.20.1.1";

std::string arrived(const std::string& n) { return "\r\n" + n + txt::kArrived; }

// A raw peer bound to 127.20.1.<host>, seated on the hub.
std::unique_ptr<RawClient> join(Node& hub, int host, const std::string& name = std::string(),
                                bool sendName = true)
{
    auto c = std::make_unique<RawClient>();
    const std::string from = "127.20.1." + std::to_string(host);
    EXPECT_TRUE(c->Connect(kHub, testPort(), from.c_str()));
    const int before = hub.seated();
    EXPECT_TRUE(waitFor([&] { return hub.seated() > before; }));
    if (sendName) {
        c->Send("u" + name + "\n");
        EXPECT_TRUE(waitFor([&] { return hub.view.hasLine(arrived(name)); }));
    }
    return c;
}

} // namespace

TEST(Hub, NewcomerGetsHubNameRosterInSeatOrderAndNextCandidate)
{
    Node hub(kHub, "Hub");
    EXPECT_EQ(hub.view.caption, "");

    auto a = join(hub, 11, "", false);
    // First caller: seat 1, message box on and focused before its name.
    ASSERT_TRUE(a->Expect("uHub\nn127.20.1.11\n"));
    EXPECT_TRUE(hub.view.edit);
    EXPECT_EQ(hub.view.focus, 1);
    EXPECT_FALSE(hub.view.k8);
    EXPECT_TRUE(hub.view.k9);
    EXPECT_EQ(hub.core.Nextnumber, 1);
    EXPECT_EQ(hub.core.NextIP, "127.20.1.11");

    // Its name line arrives: shown, roster refreshed.
    a->Send("uAlice\n");
    ASSERT_TRUE(waitFor([&] { return hub.view.hasLine(arrived("Alice")); }));
    EXPECT_EQ(hub.core.lbName[0], "Alice");
    EXPECT_EQ(hub.view.roster[0], "Alice");
    EXPECT_EQ(hub.view.caption, txt::kFriends);
    EXPECT_EQ(hub.core.nuser, 1);

    // Later callers: the hub's name, then the seated names in seat order
    // (an unknown one empty), then the next address and name, which every
    // seat hears again after each admission.
    auto b = join(hub, 12, "", false);
    auto c = join(hub, 13, "", false);
    ASSERT_TRUE(c->Expect("uHub\nuAlice\nu\nn127.20.1.11\nrAlice\n"));
    ASSERT_TRUE(b->Expect("uHub\nuAlice\nn127.20.1.11\nrAlice\nn127.20.1.11\nrAlice\n"));
    ASSERT_TRUE(a->Expect("n127.20.1.11\nrAlice\nn127.20.1.11\nrAlice\n"));

    // A name line from seat 3 (not the candidate): only "u", not back.
    c->Send("uCarol\n");
    ASSERT_TRUE(a->Expect("uCarol\n"));
    ASSERT_TRUE(b->Expect("uCarol\n"));
    ASSERT_TRUE(sync(hub.core, hub.view, {a.get(), b.get(), c.get()}));
    EXPECT_EQ(c->received, "");
}

TEST(Hub, SeatGapsCandidateAndDepartures)
{
    Node hub(kHub, "Hub");
    auto a = join(hub, 21, "A");
    auto b = join(hub, 22, "B");
    auto c = join(hub, 23, "C");
    ASSERT_TRUE(sync(hub.core, hub.view, {a.get(), b.get(), c.get()}));

    // Seat 2 leaves: the others hear the leave line, then the candidate.
    b->Close();
    const std::string seen = "cB\nn127.20.1.21\nrA\n";
    ASSERT_TRUE(a->Expect(seen));
    ASSERT_TRUE(c->Expect(seen));
    EXPECT_TRUE(hub.view.hasLine("B" + txt::kHubLeft));
    EXPECT_EQ(hub.core.lbName[1], "");
    EXPECT_EQ(hub.view.roster[1], "");
    EXPECT_EQ(hub.core.nuser, 2);

    // The next caller fills the gap (seat 2), the one after it seat 4; the
    // focus does not move for seat 2.
    auto d = join(hub, 24, "", false);
    ASSERT_TRUE(d->Expect("uHub\nuA\nuC\nn127.20.1.21\nrA\n"));
    d->Send("uD\n");
    ASSERT_TRUE(waitFor([&] { return hub.core.lbName[1] == "D"; }));
    auto e = join(hub, 25, "E");
    EXPECT_EQ(hub.core.lbName[3], "E");
    EXPECT_EQ(hub.view.focus, 1);
    ASSERT_TRUE(sync(hub.core, hub.view, {a.get(), c.get(), d.get(), e.get()}));

    // Seat 1 leaves: seat 2 becomes the candidate, and is told so too.
    a->Close();
    for (auto* p : {c.get(), d.get(), e.get()})
        ASSERT_TRUE(p->Expect("cA\nn127.20.1.24\nrD\n"));
    EXPECT_EQ(hub.core.Nextnumber, 2);

    // A name line from the candidate's seat carries "r" to the others.
    d->Send("uDan\n");
    ASSERT_TRUE(c->Expect("uDan\nrDan\n"));
    ASSERT_TRUE(e->Expect("uDan\nrDan\n"));
    // The same from a seat that is not the candidate: "u" only.
    e->Send("uEve\n");
    ASSERT_TRUE(c->Expect("uEve\n"));
    ASSERT_TRUE(d->Expect("uEve\n"));
    ASSERT_TRUE(sync(hub.core, hub.view, {c.get(), d.get()}));
    EXPECT_EQ(c->received, "");
}

TEST(Hub, RelayIsByteExactAndNeverEchoed)
{
    Node hub(kHub, "Hub");
    auto a = join(hub, 31, "A");
    auto b = join(hub, 32, "B");
    auto c = join(hub, 33, "C");
    ASSERT_TRUE(sync(hub.core, hub.view, {a.get(), b.get(), c.get()}));

    // Two lines in one write; CR kept; kinds a hub ignores are dropped.
    b->Send("1B> one\r\n1B> two\nsX\r\nnY\nrZ\ncA\n\n");
    ASSERT_TRUE(a->Expect("1B> one\r\n1B> two\n"));
    ASSERT_TRUE(c->Expect("1B> one\r\n1B> two\n"));
    EXPECT_TRUE(hub.view.hasLine("B> one\r"));
    EXPECT_TRUE(hub.view.hasLine("B> two"));
    EXPECT_EQ(hub.core.lbName[0], "A");

    // A line in three pieces is relayed once, whole.
    b->Send("1B> th");
    QTest::qWait(20);
    b->Send("ree pie");
    QTest::qWait(20);
    b->Send("ces\r\n");
    ASSERT_TRUE(a->Expect("1B> three pieces\r\n"));
    ASSERT_TRUE(c->Expect("1B> three pieces\r\n"));

    // The hub's own line goes to every seat directly, echoed locally; the
    // sender of the relayed lines got none of them back.
    hub.view.message = "yo";
    hub.core.SendButtonClick();
    for (auto* p : {a.get(), b.get(), c.get()})
        ASSERT_TRUE(p->Expect("1Hub> yo\r\n"));
    EXPECT_TRUE(hub.view.hasLine("Hub> yo"));
    EXPECT_EQ(hub.view.message, "");
}

TEST(Hub, TenthCallerGetsFullLineOnly)
{
    Node hub(kHub, "Hub");
    std::vector<std::unique_ptr<RawClient>> peers;
    for (int i = 0; i < 9; ++i)
        peers.push_back(join(hub, 41 + i, i == 0 ? "" : "P" + std::to_string(i)));
    std::vector<RawClient*> all;
    for (auto& p : peers)
        all.push_back(p.get());
    ASSERT_TRUE(sync(hub.core, hub.view, all));
    const size_t linesBefore = hub.view.lines.size();

    RawClient tenth;
    ASSERT_TRUE(tenth.Connect(kHub, testPort(), "127.20.1.50"));
    ASSERT_TRUE(tenth.WaitEof());
    EXPECT_EQ(tenth.received, "1" + txt::kHubFull + "\r\n");
    // The seated ones hear the (unnamed) candidate again, nothing else.
    for (auto& p : peers)
        ASSERT_TRUE(p->Expect("n127.20.1.41\n"));
    EXPECT_EQ(hub.view.lines.size(), linesBefore);
    EXPECT_EQ(hub.seated(), 9);

    // A tenth caller that talks at once (as a joining instance does) still
    // gets the whole full line.
    RawClient eager;
    ASSERT_TRUE(eager.Connect(kHub, testPort(), "127.20.1.51"));
    eager.Send("uEager\n");
    ASSERT_TRUE(eager.WaitEof());
    EXPECT_EQ(eager.received, "1" + txt::kHubFull + "\r\n");
}

TEST(Hub, RosterStatesAndLastDeparture)
{
    Node hub(kHub, "Hub");
    // A peer with an empty nick is nobody: the hub stays idle.
    auto a = join(hub, 61, "");
    EXPECT_EQ(hub.core.nuser, 0);
    EXPECT_TRUE(hub.core.rbServer);
    EXPECT_EQ(hub.view.caption, txt::kNoFriends);
    EXPECT_TRUE(hub.view.k8);
    EXPECT_FALSE(hub.view.edit);

    auto b = join(hub, 62, "Bee");
    EXPECT_EQ(hub.view.caption, txt::kFriends);
    EXPECT_EQ(hub.view.roster[1], "Bee");
    EXPECT_FALSE(hub.view.k8);
    EXPECT_TRUE(hub.view.k9);
    EXPECT_TRUE(hub.view.edit);
    EXPECT_EQ(hub.core.StatusConnectedText(), txt::kYouAreHub);
    EXPECT_EQ(hub.core.StatusNextText(), txt::kNone);

    a->Close();
    ASSERT_TRUE(waitFor([&] { return hub.view.hasLine(txt::kHubLeft); }));
    EXPECT_EQ(hub.core.NextIP, "127.20.1.62");
    EXPECT_EQ(hub.core.Nextnumber, 2);

    // The last departure: idle again, next-candidate values untouched.
    b->Close();
    ASSERT_TRUE(waitFor([&] { return hub.view.hasLine("Bee" + txt::kHubLeft); }));
    EXPECT_EQ(hub.core.nuser, 0);
    EXPECT_TRUE(hub.core.rbServer);
    EXPECT_EQ(hub.view.caption, txt::kNoFriends);
    EXPECT_FALSE(hub.view.edit);
    EXPECT_EQ(hub.core.Nextnumber, 2);
    EXPECT_EQ(hub.core.NextIPd, "127.20.1.62");
    EXPECT_EQ(hub.core.NextIP, "127.20.1.62");
    EXPECT_EQ(hub.core.NextName, "Bee");
    EXPECT_EQ(hub.core.StatusConnectedText(), txt::kNone);
}

TEST(Hub, DisconnectCommandAsksWithTwoNamedPeers)
{
    Node hub(kHub, "Hub");
    auto a = join(hub, 71, "A");
    auto b = join(hub, 72, "B");
    // No: nothing closes, the input box comes back.
    hub.view.answers = {7};
    hub.core.K9Click();
    ASSERT_EQ(hub.view.questions.size(), 1u);
    EXPECT_EQ(hub.view.questions[0], txt::kDisconnectHubQuestion);
    EXPECT_EQ(hub.seated(), 2);
    EXPECT_TRUE(hub.view.edit);
    EXPECT_FALSE(hub.core.CloseQuery());

    // Yes: every seat closes; a seat closed later still hears of the earlier.
    ASSERT_TRUE(sync(hub.core, hub.view, {a.get(), b.get()}));
    hub.view.answers = {1};
    hub.core.K9Click();
    EXPECT_EQ(hub.seated(), 0);
    ASSERT_TRUE(b->WaitEof());
    EXPECT_EQ(b->received, "cA\nn127.20.1.72\nrB\n");
    EXPECT_EQ(hub.core.nuser, 0);
    EXPECT_TRUE(hub.core.CloseQuery());

    // One named peer: closed without asking.
    auto c = join(hub, 73, "C");
    hub.core.K9Click();
    EXPECT_EQ(hub.view.questions.size(), 3u);
    ASSERT_TRUE(c->WaitEof());
}

TEST(Hub, ListensOnlyOnce)
{
    Node hub(kHub, "Hub");
    EXPECT_TRUE(hub.core.Initialized());
    hub.core.StartServer(); // a second showing: no second listen, no throw
    auto a = join(hub, 81, "A");
    EXPECT_EQ(hub.core.lbName[0], "A");
}

TEST(Hub, PartialLineDoesNotOutliveItsConnection)
{
    Node hub(kHub, "Hub");
    auto a = join(hub, 91, "A");
    auto b = join(hub, 92, "B");
    // Seat 2 leaves in the middle of a line.
    b->Send("1B> half a li");
    QTest::qWait(20);
    b->Close();
    ASSERT_TRUE(waitFor([&] { return hub.seated() == 1; }));
    // The next occupant of seat 2 starts clean: its name line is its name.
    auto c = join(hub, 93, "Carol");
    EXPECT_EQ(hub.core.lbName[1], "Carol");
    ASSERT_TRUE(a->SkipThrough("cB\n"));
    ASSERT_TRUE(a->SkipThrough("uCarol\n"));
    EXPECT_EQ(a->received.find("half"), std::string::npos);
}
