// The hub against raw peers on 127.20.1.0/24: admission, the newcomer's
// first bytes, next-candidate announcements, relay, the full hub, departures
// and the roster states. The HubWire tests look at the wire and what the hub
// shows, and run against the headless hub (pelmora --hub) too; what they
// check inside the chat core runs in this process only.
#include "chattest.h"

#include "texts.h"
#include "wsocket.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace {

const char* kHub = "127.20.1.1";

std::string arrived(const std::string& n)
{
    return "\r\n" + n + txt::kArrived;
}

} // namespace

class Hub : public RawPeersOnHub {
protected:
    Hub() : RawPeersOnHub(kHub) { }
};

class HubWire : public RawPeersOnEitherHub {
protected:
    HubWire() : RawPeersOnEitherHub(kHub) { }

    // A, B and C seated from .first onwards, with what they were told so far
    // dropped.
    ::testing::AssertionResult seatThree(int first, RawClient*& a, RawClient*& b, RawClient*& c)
    {
        auto ok = seat(a, first, "A");
        ok = ok ? seat(b, first + 1, "B") : ok;
        ok = ok ? seat(c, first + 2, "C") : ok;
        if (ok && !barrier({a, b, c}))
            return ::testing::AssertionFailure() << "the three did not hear each other";
        return ok;
    }
};
PELMORA_ON_EITHER_HUB(HubWire);

TEST_P(HubWire, NewcomerGetsHubNameRosterInSeatOrderAndNextCandidate)
{
    EXPECT_EQ(hub.view.caption, "");

    RawClient* a = nullptr;
    ASSERT_TRUE(seat(a, 11));
    // First caller: seat 1, no candidate yet (a caller is one once named),
    // the hub still idle.
    ASSERT_TRUE(a->Expect("uHub\nn\n"));
    if (inProcess()) {
        EXPECT_FALSE(hub.view.edit);
        EXPECT_EQ(hub.core.Nextnumber, 0);
    }

    // Its name line arrives: shown, roster refreshed, the message box on
    // and focused, and the member is the candidate.
    a->Send("uAlice\n");
    ASSERT_TRUE(shows(TChatEvent::Arrival("Alice")));
    ASSERT_TRUE(a->Expect("n127.20.1.11\nrAlice\n"));
    if (inProcess()) {
        EXPECT_TRUE(hub.view.edit);
        EXPECT_EQ(hub.view.focus, 1);
        EXPECT_FALSE(hub.view.k8);
        EXPECT_TRUE(hub.view.k9);
        EXPECT_EQ(hub.core.Nextnumber, 1);
        EXPECT_EQ(hub.core.NextIP, "127.20.1.11");
        EXPECT_EQ(hub.core.lbName()[0], "Alice");
        EXPECT_EQ(hub.view.roster[0], "Alice");
        EXPECT_EQ(hub.view.caption, txt::kFriends);
        EXPECT_EQ(hub.core.nuser, 1);
    }

    // Later callers: the hub's name, then the members' names in seat order
    // (a caller not yet named is left out), then the next address and
    // name, which every seat hears again after each admission.
    RawClient *b = nullptr, *c = nullptr;
    ASSERT_TRUE(seat(b, 12));
    ASSERT_TRUE(seat(c, 13));
    ASSERT_TRUE(c->Expect("uHub\nuAlice\nn127.20.1.11\nrAlice\n"));
    ASSERT_TRUE(b->Expect("uHub\nuAlice\nn127.20.1.11\nrAlice\nn127.20.1.11\nrAlice\n"));
    ASSERT_TRUE(a->Expect("n127.20.1.11\nrAlice\nn127.20.1.11\nrAlice\n"));

    // A name line from seat 3 (not the candidate): only "u", not back.
    c->Send("uCarol\n");
    ASSERT_TRUE(a->Expect("uCarol\n"));
    ASSERT_TRUE(b->Expect("uCarol\n"));
    ASSERT_TRUE(barrier({a, c})); // b, still unnamed, hears no chat line
    EXPECT_EQ(c->received, "");
    EXPECT_EQ(b->received, "");
}

TEST_P(HubWire, SeatGapsCandidateAndDepartures)
{
    RawClient *a = nullptr, *b = nullptr, *c = nullptr;
    ASSERT_TRUE(seatThree(21, a, b, c));

    // Seat 2 leaves: the others hear the leave line, then the candidate.
    b->Close();
    const std::string seen = "cB\nn127.20.1.21\nrA\n";
    ASSERT_TRUE(a->Expect(seen));
    ASSERT_TRUE(c->Expect(seen));
    EXPECT_TRUE(shows(TChatEvent::SeatLeft("B")));
    if (inProcess()) {
        EXPECT_EQ(hub.core.lbName()[1], "");
        EXPECT_EQ(hub.view.roster[1], "");
        EXPECT_EQ(hub.core.nuser, 2);
    }

    // The next caller fills the gap (seat 2), the one after it seat 4; the
    // focus does not move for seat 2.
    RawClient* d = nullptr;
    ASSERT_TRUE(seat(d, 24));
    ASSERT_TRUE(d->Expect("uHub\nuA\nuC\nn127.20.1.21\nrA\n"));
    d->Send("uD\n");
    ASSERT_TRUE(shows(TChatEvent::Arrival("D")));
    RawClient* e = nullptr;
    ASSERT_TRUE(seat(e, 25, "E"));
    if (inProcess()) {
        EXPECT_EQ(hub.core.lbName()[1], "D");
        EXPECT_EQ(hub.core.lbName()[3], "E");
        EXPECT_EQ(hub.view.focus, 1);
    }
    ASSERT_TRUE(barrier({a, c, d, e}));

    // Seat 1 leaves: seat 2 becomes the candidate, and is told so too.
    a->Close();
    for (auto* p : {c, d, e})
        ASSERT_TRUE(p->Expect("cA\nn127.20.1.24\nrD\n"));
    if (inProcess()) {
        EXPECT_EQ(hub.core.Nextnumber, 2);
    }

    // A name line from the candidate's seat carries "r" to the others.
    d->Send("uDan\n");
    ASSERT_TRUE(c->Expect("uDan\nrDan\n"));
    ASSERT_TRUE(e->Expect("uDan\nrDan\n"));
    // The same from a seat that is not the candidate: "u" only.
    e->Send("uEve\n");
    ASSERT_TRUE(c->Expect("uEve\n"));
    ASSERT_TRUE(d->Expect("uEve\n"));
    ASSERT_TRUE(barrier({c, d, e}));
    EXPECT_EQ(c->received, "");
}

TEST_P(HubWire, RelayIsByteExactAndNeverEchoed)
{
    RawClient *a = nullptr, *b = nullptr, *c = nullptr;
    ASSERT_TRUE(seatThree(31, a, b, c));

    // Two lines in one write; CR kept; kinds a hub ignores are dropped.
    b->Send("1B> one\r\n1B> two\nsX\r\nnY\nrZ\ncA\n\n");
    ASSERT_TRUE(a->Expect("1B> one\r\n1B> two\n"));
    ASSERT_TRUE(c->Expect("1B> one\r\n1B> two\n"));
    EXPECT_TRUE(shows(TChatEvent::ChatLine("B> one\r")));
    EXPECT_TRUE(shows(TChatEvent::ChatLine("B> two")));
    if (inProcess()) {
        EXPECT_EQ(hub.core.lbName()[0], "A");
    }

    // A line in three pieces is relayed once, whole.
    b->Send("1B> th");
    QTest::qWait(20);
    b->Send("ree pie");
    QTest::qWait(20);
    b->Send("ces\r\n");
    ASSERT_TRUE(a->Expect("1B> three pieces\r\n"));
    ASSERT_TRUE(c->Expect("1B> three pieces\r\n"));
    // The sender got none of them back.
    ASSERT_TRUE(barrier({a, c, b}));
    EXPECT_EQ(b->received, "");
    if (!inProcess())
        return;

    // The hub's own line goes to every seat directly, echoed locally.
    EXPECT_TRUE(hub.core.Say("yo"));
    for (auto* p : {a, b, c})
        ASSERT_TRUE(p->Expect("1Hub> yo\r\n"));
    EXPECT_TRUE(hub.view.hasLine("Hub> yo"));
}

// The lines of one read go out as one block per seat; a name line, a
// departure or an overlong line among them keeps its place on every
// connection and in the pane.
TEST_P(HubWire, CoalescedRelayKeepsOrderOnEveryConnection)
{
    RawClient *a = nullptr, *b = nullptr, *c = nullptr;
    ASSERT_TRUE(seatThree(36, a, b, c));
    const size_t shown = hub.view.lines.size();

    std::string burst;
    std::string relayed;
    for (int i = 0; i < 150; ++i) { // past one 16 KiB read
        const std::string line = "1B> line " + std::to_string(i) + std::string(100, '.') + "\r\n";
        burst += line;
        relayed += line;
        if (i == 70) {
            burst += "uBob\n" + ("1" + std::string(1100, 'L') + "\n") + "xjunk\n";
            relayed += "uBob\n";
        }
    }
    burst += "1B> last\n";
    relayed += "1B> last\n";
    b->Send(burst);
    b->Close();
    const std::string left = "cBob\nn127.20.1.36\nrA\n";
    ASSERT_TRUE(a->Expect(relayed + left));
    ASSERT_TRUE(c->Expect(relayed + left));
    if (!inProcess()) {
        EXPECT_TRUE(shows(TChatEvent::SeatLeft("Bob")));
        return;
    }

    // The pane: every chat line in order, the arrival in its place, the
    // departure last.
    const std::vector<std::string> pane(hub.view.lines.begin() + long(shown), hub.view.lines.end());
    ASSERT_EQ(pane.size(), 153u);
    EXPECT_EQ(pane[0], "B> line 0" + std::string(100, '.') + "\r");
    EXPECT_EQ(pane[71], arrived("Bob"));
    EXPECT_EQ(pane[72], "B> line 71" + std::string(100, '.') + "\r");
    EXPECT_EQ(pane[151], "B> last");
    EXPECT_EQ(pane[152], "Bob" + txt::kHubLeft);
    // The sockets relay without Nagle's wait for an ACK.
    EXPECT_TRUE(hub.core.Cli(1).NoDelay());
}

// Seat 2 was reset, its close not yet handled, when seat 3's two lines come
// in one read: seat 1 gets x, seat 2's departure, then y; so does the pane.
TEST_P(HubWire, AFailedSendPutsTheDepartureBetweenTheLinesOfABlock)
{
    if (!inProcess())
        GTEST_SKIP() << "drives the core's read handler directly";
    RawClient *a = nullptr, *b = nullptr, *c = nullptr;
    ASSERT_TRUE(seatThree(101, a, b, c));
    const size_t shown = hub.view.lines.size();
    b->Reset();
    c->Send("1C> x\r\n1C> y\r\n");
    hub.core.CliNWSocketDataAvailable(3, 0); // before the loop hands over seat 2's close
    ASSERT_TRUE(a->Expect("1C> x\r\ncB\nn127.20.1.101\nrA\n1C> y\r\n"));
    const std::vector<std::string> pane(hub.view.lines.begin() + long(shown), hub.view.lines.end());
    EXPECT_EQ(pane, (std::vector<std::string>{"C> x\r", "B" + txt::kHubLeft, "C> y\r"}));
}

TEST_P(HubWire, TenthCallerGetsFullLineOnly)
{
    std::vector<RawClient*> peers(9);
    for (int i = 0; i < 9; ++i)
        ASSERT_TRUE(seat(peers[i], 41 + i, i == 0 ? "" : ("P" + std::to_string(i)).c_str()));
    ASSERT_TRUE(barrier(peers));
    const size_t linesBefore = hub.view.lines.size();

    RawClient tenth;
    ASSERT_TRUE(tenth.Connect(kHub, testPort(), "127.20.1.50"));
    ASSERT_TRUE(tenth.WaitEof());
    EXPECT_EQ(tenth.received, "1" + txt::kHubFull + "\r\n");
    // The seated ones hear the (unnamed) candidate again, nothing else.
    for (auto& p : peers)
        ASSERT_TRUE(p->Expect("n127.20.1.41\n"));
    EXPECT_EQ(hub.view.lines.size(), linesBefore);
    if (inProcess()) {
        EXPECT_EQ(hub.seated(), 9);
    }

    // A tenth caller that talks at once (as a joining instance does) still
    // gets the whole full line.
    RawClient eager;
    ASSERT_TRUE(eager.Connect(kHub, testPort(), "127.20.1.51"));
    eager.Send("uEager\n");
    ASSERT_TRUE(eager.WaitEof());
    EXPECT_EQ(eager.received, "1" + txt::kHubFull + "\r\n");
}

TEST_F(Hub, RosterStatesAndLastDeparture)
{
    // A peer with an empty nick is nobody: the hub stays idle.
    RawClient* a = nullptr;
    ASSERT_TRUE(seat(a, 61, ""));
    EXPECT_EQ(hub.core.nuser, 0);
    EXPECT_TRUE(hub.core.rbServer);
    EXPECT_EQ(hub.view.caption, txt::kNoFriends);
    EXPECT_TRUE(hub.view.k8);
    EXPECT_FALSE(hub.view.edit);

    RawClient* b = nullptr;
    ASSERT_TRUE(seat(b, 62, "Bee"));
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

TEST_F(Hub, DisconnectCommandAsksWithTwoNamedPeers)
{
    RawClient *a = nullptr, *b = nullptr;
    ASSERT_TRUE(seat(a, 71, "A"));
    ASSERT_TRUE(seat(b, 72, "B"));
    // No: nothing closes, the input box comes back.
    hub.view.answers = {7};
    hub.core.K9Click();
    ASSERT_EQ(hub.view.questions.size(), 1u);
    EXPECT_EQ(hub.view.questions[0], txt::kDisconnectHubQuestion);
    EXPECT_EQ(hub.seated(), 2);
    EXPECT_TRUE(hub.view.edit);
    EXPECT_FALSE(hub.core.CloseQuery());

    // Yes: every seat closes; a seat closed later still hears of the earlier.
    ASSERT_TRUE(sync(hub.core, hub.view, {a, b}));
    hub.view.answers = {1};
    hub.core.K9Click();
    EXPECT_EQ(hub.seated(), 0);
    ASSERT_TRUE(b->WaitEof());
    EXPECT_EQ(b->received, "cA\nn127.20.1.72\nrB\n");
    EXPECT_EQ(hub.core.nuser, 0);
    EXPECT_TRUE(hub.core.CloseQuery());

    // One named peer: closed without asking.
    RawClient* c = nullptr;
    ASSERT_TRUE(seat(c, 73, "C"));
    hub.core.K9Click();
    EXPECT_EQ(hub.view.questions.size(), 3u);
    ASSERT_TRUE(c->WaitEof());
}

TEST_F(Hub, ListensOnlyOnce)
{
    EXPECT_TRUE(hub.core.Initialized());
    hub.core.StartServer(); // a second showing: no second listen, no throw
    RawClient* a = nullptr;
    ASSERT_TRUE(seat(a, 81, "A"));
    EXPECT_EQ(hub.core.lbName()[0], "A");
}

TEST_P(HubWire, PartialLineDoesNotOutliveItsConnection)
{
    RawClient *a = nullptr, *b = nullptr;
    ASSERT_TRUE(seat(a, 91, "A"));
    ASSERT_TRUE(seat(b, 92, "B"));
    // Seat 2 leaves in the middle of a line.
    b->Send("1B> half a li");
    QTest::qWait(20);
    b->Close();
    ASSERT_TRUE(shows(TChatEvent::SeatLeft("B")));
    // The next occupant of seat 2 starts clean: its name line is its name.
    RawClient* c = nullptr;
    ASSERT_TRUE(seat(c, 93, "Carol"));
    if (inProcess()) {
        EXPECT_EQ(hub.core.lbName()[1], "Carol");
    }
    ASSERT_TRUE(a->SkipThrough("cB\n"));
    ASSERT_TRUE(a->SkipThrough("uCarol\n"));
    EXPECT_EQ(a->received.find("half"), std::string::npos);
}

// The hub's guards against strangers: a denied address, two seats per
// address, 50 lines a second per seat.
class HubGuardWire : public HubWire {
protected:
    HubGuardWire()
    {
        headlessArgs = {QStringLiteral("--deny"), QStringLiteral("127.20.1.90"), QStringLiteral("--seats-per-address"),
                        QStringLiteral("2"),      QStringLiteral("--line-rate"), QStringLiteral("50")};
        hub.core.Guard = THubGuard::Stored(2, 50, {"127.20.1.90"});
    }
};
PELMORA_ON_EITHER_HUB(HubGuardWire);

// A denied address is closed with nothing sent; one address gets its share
// of the seats and then the full line, while a friend from another address
// still gets in.
TEST_P(HubGuardWire, DeniedAddressAndSeatsPerAddress)
{
    RawClient *a = nullptr, *b = nullptr, *c = nullptr, *friendly = nullptr;
    ASSERT_TRUE(seat(a, 81, "A"));
    ASSERT_TRUE(seat(b, 81, "B"));

    RawClient denied, third;
    ASSERT_TRUE(denied.Connect(kHub, testPort(), "127.20.1.90"));
    ASSERT_TRUE(denied.WaitEof());
    EXPECT_EQ(denied.received, "");
    ASSERT_TRUE(third.Connect(kHub, testPort(), "127.20.1.81"));
    ASSERT_TRUE(third.WaitEof());
    EXPECT_EQ(third.received, "1" + txt::kHubFull + "\r\n");

    ASSERT_TRUE(seat(friendly, 82, "F"));
    ASSERT_TRUE(seat(c, 83, "C"));
    ASSERT_TRUE(barrier({a, b, friendly, c}));
}

// Probes and a caller that never names itself: the admission lines, no
// chat line, closed unnamed within 10 s; the members hear only
// announcements of the next hub, and nothing is shown or journaled.
TEST_P(HubGuardWire, ProbesAndASilentCallerLeaveNoTrace)
{
    RawClient *a = nullptr, *b = nullptr;
    ASSERT_TRUE(seat(a, 91, "A"));
    ASSERT_TRUE(seat(b, 92, "B"));
    ASSERT_TRUE(barrier({a, b}));
    RawClient probe, silent;
    ASSERT_TRUE(probe.Connect(kHub, testPort(), "127.20.1.93"));
    probe.Send("GET / HTTP/1.0\r\n\r\n\x16\x03\x01SSH-2.0-x\r\n1spam\n");
    probe.Close();
    ASSERT_TRUE(silent.Connect(kHub, testPort(), "127.20.1.94"));
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(silent.WaitEof(12000));
    EXPECT_LT(t.elapsed(), 11000);
    for (RawClient* c : {a, b, &silent})
        for (size_t at = 0; at < c->received.size(); at = c->received.find('\n', at) + 1)
            EXPECT_TRUE(std::strchr("unr", c->received[at])) << RawClient::Shown(c->received.substr(at));
    EXPECT_EQ(a->received.find("1spam"), std::string::npos);
    EXPECT_FALSE(shows(TChatEvent::SeatLeft(""), 0));
}

// 300 lines at once from A at 50 a second: the burst (150) passes, the rest
// over 3 s, whole and in order, while C's line gets through in between.
TEST_P(HubGuardWire, AFloodIsSlowedWholeAndInOrderWhileAnotherSpeaks)
{
    RawClient *a = nullptr, *b = nullptr, *c = nullptr;
    ASSERT_TRUE(seatThree(95, a, b, c));
    std::string flood;
    for (int i = 0; i < 300; ++i)
        flood += "1A> " + std::to_string(i) + "\r\n";
    QElapsedTimer t;
    t.start();
    a->Send(flood);
    ASSERT_TRUE(waitFor([&] { return b->received.find("1A> 149\r\n") != std::string::npos; }, 2000));
    c->Send("1C> between\r\n");
    ASSERT_TRUE(waitFor([&] { return b->received.find("1C>") != std::string::npos; }, 1000));
    ASSERT_TRUE(waitFor([&] { return b->received.find("1A> 299\r\n") != std::string::npos; }, 6000));
    EXPECT_GE(t.elapsed(), 2500);
    std::string got = b->received;
    EXPECT_EQ(got.erase(got.find("1C> between\r\n"), 13), flood);
}
