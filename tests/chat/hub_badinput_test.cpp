// What a hostile or broken peer can send the hub, on 127.20.2.0/24: an
// overlong line, NUL bytes, invalid Shift-JIS, a burst of 10 000 lines, a
// peer that never reads, and a thousand callers that connect and reset.
// The HubBadInputWire tests run against the headless hub (pelmora --hub) too.
#include "chattest.h"

#include "texts.h"
#include "wsocket.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <fstream>
#include <random>

namespace {

const char* kHub = "127.20.2.1";

long residentKiB()
{
    std::ifstream f("/proc/self/statm");
    long size = 0, resident = 0;
    f >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

} // namespace

// A named peer seated, with what it was told so far dropped.
template <class Base>
class Joining : public Base {
protected:
    Joining() : Base(kHub) { }

    ::testing::AssertionResult join(RawClient*& c, int host, const char* name)
    {
        auto ok = this->seat(c, host, name);
        if (ok)
            c->Take();
        return ok;
    }
};
using HubBadInput = Joining<RawPeersOnHub>;
using HubBadInputWire = Joining<RawPeersOnEitherHub>;
PELMORA_ON_EITHER_HUB(HubBadInputWire);

TEST_P(HubBadInputWire, OverlongLineIsDroppedToItsLineFeed)
{
    RawClient *a = nullptr, *b = nullptr;
    ASSERT_TRUE(join(a, 11, "A"));
    ASSERT_TRUE(join(b, 12, "B"));
    b->Take();
    // 1023 bytes with no LF, then a tail that would look like a name line.
    a->Send("1" + std::string(1022, 'x'));
    a->Send("uEvil\n1A> ok\r\n");
    ASSERT_TRUE(b->WaitFor("1A> ok\r\n"));
    EXPECT_TRUE(shows(TChatEvent::ChatLine("A> ok\r")));
    EXPECT_FALSE(shows(TChatEvent::Arrival("Evil"), 0));
    if (inProcess()) {
        EXPECT_EQ(hub.core.lbName()[0], "A");
    }
    // The longest allowed line still passes whole.
    b->Take();
    const std::string longest = "1" + std::string(1021, 'y');
    a->Send(longest + "\n");
    ASSERT_TRUE(b->WaitFor(longest + "\n"));
    // A megabyte without a line feed does not wedge the seat.
    b->Take();
    a->Send(std::string(1 << 20, 'z') + "\n1A> still here\n");
    ASSERT_TRUE(b->WaitFor("1A> still here\n", 10000));
}

TEST_P(HubBadInputWire, NulBytesAndInvalidShiftJis)
{
    RawClient *a = nullptr, *b = nullptr;
    ASSERT_TRUE(join(a, 21, "A"));
    ASSERT_TRUE(join(b, 22, "B"));
    a->Send(std::string("1A> a\0b\0\n", 9));
    ASSERT_TRUE(b->WaitFor("1A> ab\n"));
    EXPECT_TRUE(shows(TChatEvent::ChatLine("A> ab")));
    // Bytes that are not Shift-JIS are carried unchanged.
    b->Take();
    const std::string junk = "1\x81\xFF\xFE\x80\xA0\x82";
    a->Send(junk + "\n");
    ASSERT_TRUE(b->WaitFor(junk + "\n"));
    EXPECT_TRUE(shows(TChatEvent::ChatLine(junk.substr(1))));
    // An invalid name is stored and matched byte for byte at departure.
    RawClient* c = nullptr;
    ASSERT_TRUE(join(c, 23, "\x83\xFF"));
    b->Take();
    c->Close();
    ASSERT_TRUE(waitFor([&] { return b->received.find("c\x83\xFF\n") == 0; }));
}

TEST_P(HubBadInputWire, BurstOfTenThousandLines)
{
    RawClient *a = nullptr, *b = nullptr;
    ASSERT_TRUE(join(a, 31, "A"));
    ASSERT_TRUE(join(b, 32, "B"));
    hub.view.keepLines = false;
    std::string burst;
    for (int i = 0; i < 10000; ++i)
        burst += "1A> line " + std::to_string(i) + "\r\n";
    const size_t shown = hub.view.lineCount;
    a->Send(burst);
    ASSERT_TRUE(waitFor([&] { return b->received.size() >= burst.size(); }, 20000));
    EXPECT_EQ(b->received, burst);
    if (inProcess()) {
        EXPECT_EQ(hub.view.lineCount - shown, 10000u);
    } else { // the journal has the last line too
        EXPECT_TRUE(shows(TChatEvent::ChatLine("A> line 9999\r")));
    }
}

// 20 000 lines of 900 bytes at full speed: B, reading, gets every one in
// order (the hub holds A back while Lazy's queue is full); Lazy, never
// reading, is dropped once its queue stood still for 10 s.
TEST_P(HubBadInputWire, AReaderGetsAllOfAFloodAndOneThatNeverReadsIsDropped)
{
    RawClient *a = nullptr, *b = nullptr, *lazy = nullptr;
    ASSERT_TRUE(join(a, 41, "A"));
    ASSERT_TRUE(join(b, 42, "B"));
    ASSERT_TRUE(join(lazy, 43, "Lazy"));
    lazy->StopReading();
    b->Take();
    std::string flood;
    for (int i = 0; i < 20000; ++i)
        flood += "1A> " + std::string(890, 'q') + std::to_string(100000 + i) + "\r\n";
    QElapsedTimer t;
    t.start();
    a->Send(flood);
    ASSERT_TRUE(waitFor(
        [&] { return b->received.size() >= flood.size() && b->received.find("q119999\r\n") != std::string::npos; },
        40000));
    EXPECT_GE(t.elapsed(), 9000);
    std::string chat; // B's chat lines, without Lazy's departure and the announcements after it
    for (size_t at = 0, lf; (lf = b->received.find('\n', at)) != std::string::npos; at = lf + 1)
        if (b->received[at] == '1')
            chat.append(b->received, at, lf + 1 - at);
    EXPECT_TRUE(chat == flood) << "B's lines differ from what A sent";
    EXPECT_NE(b->received.find("cLazy\n"), std::string::npos);
}

// A storm of callers that connect and reset at once, some before the hub
// has taken them: whichever hub, it goes on relaying and seats a caller
// that behaves. (The in-process test below pins the order of it all.)
TEST_P(HubBadInputWire, ACallerStormLeavesTheHubRelayingAndSeating)
{
    RawClient *a = nullptr, *b = nullptr;
    ASSERT_TRUE(join(a, 81, "A"));
    ASSERT_TRUE(join(b, 82, "B"));
    for (int i = 0; i < 300; ++i) {
        RawClient c;
        ASSERT_TRUE(c.Connect(kHub, testPort(), "127.20.2.83"));
        c.Reset();
    }
    a->Send("1A> after the storm\r\n");
    ASSERT_TRUE(b->SkipThrough("1A> after the storm\r\n"));
    RawClient good;
    ASSERT_TRUE(good.Connect(kHub, testPort(), "127.20.2.84"));
    ASSERT_TRUE(good.Expect("uHub\nuA\nuB\n"));
    EXPECT_EQ(b->received.find("nerror"), std::string::npos);
}

TEST_F(HubBadInput, ThousandCallersConnectAndReset)
{
    // B sits in seat 3 with seats 1 and 2 free, so the callers take the
    // seats that are looked at first when the next candidate is chosen.
    RawClient *a1 = nullptr, *a2 = nullptr, *b = nullptr;
    ASSERT_TRUE(join(a1, 50, "A1"));
    ASSERT_TRUE(join(a2, 52, "A2"));
    ASSERT_TRUE(join(b, 51, "B"));
    a1->Close();
    a2->Close();
    ASSERT_TRUE(waitFor([&] { return hub.seated() == 1; }));
    hub.view.keepLines = false;
    long atHalf = 0;
    for (int i = 0; i < 500; ++i) {
        const size_t before = hub.view.lineCount;
        if (i % 2 == 0) {
            // Reset before the hub has even taken them.
            RawClient c1, c2;
            ASSERT_TRUE(c1.Connect(kHub, testPort(), "127.20.2.60"));
            ASSERT_TRUE(c2.Connect(kHub, testPort(), "127.20.2.60"));
            c1.Reset();
            c2.Reset();
        } else {
            // One seated, then reset just as the next one calls: the new
            // admission may choose the candidate while the first connection
            // has already ended but its close is still on the way.
            RawClient c1, c2;
            ASSERT_TRUE(c1.Connect(kHub, testPort(), "127.20.2.60"));
            ASSERT_TRUE(waitFor([&] { return hub.seated() == 2; })) << "pair " << i;
            c1.Reset();
            ASSERT_TRUE(c2.Connect(kHub, testPort(), "127.20.2.60"));
            c2.Reset();
        }
        ASSERT_TRUE(waitFor([&] { return hub.seated() == 1; })) << "pair " << i;
        // Never named, never in the group: their going leaves no trace.
        ASSERT_EQ(hub.view.lineCount, before) << "pair " << i;
        if (i == 249)
            atHalf = residentKiB();
    }
    const long atEnd = residentKiB();
    EXPECT_LT(atEnd - atHalf, 4096) << "resident KiB grew from " << atHalf << " to " << atEnd;
    EXPECT_EQ(hub.core.lbName()[2], "B");
    EXPECT_EQ(hub.core.nuser, 1);

    // B heard of none of them and was never announced a bogus address.
    ASSERT_TRUE(sync(hub.core, hub.view, {b}));
    EXPECT_EQ(b->received.find("\nc"), std::string::npos);
    EXPECT_EQ(b->received.find("nerror"), std::string::npos);

    // Deterministically: a seated caller resets and, before its close event
    // is handled, the next candidate is chosen. It is passed over, and its
    // departure still follows.
    {
        RawClient c;
        ASSERT_TRUE(c.Connect(kHub, testPort(), "127.20.2.62"));
        ASSERT_TRUE(waitFor([&] { return hub.seated() == 2; }));
        c.Send("uC\n");
        ASSERT_TRUE(waitFor([&] { return hub.core.Nextnumber == 1; }));
        ASSERT_TRUE(sync(hub.core, hub.view, {b, &c}));
        c.Reset();
        hub.core.ChooseIP(0);
        // Its departure came first, out of the announcement's own send to
        // the ended seat; then the announcement reached B.
        EXPECT_EQ(hub.seated(), 1);
        ASSERT_TRUE(b->Expect("cC\nn127.20.2.51\nrB\nn127.20.2.51\nrB\n"));
    }

    // A well-behaved caller is still seated in seat 1 and greeted first.
    RawClient good;
    ASSERT_TRUE(good.Connect(kHub, testPort(), "127.20.2.61"));
    ASSERT_TRUE(good.Expect("uHub\nuB\nn127.20.2.51\nrB\n")); // named, B stays the candidate
    EXPECT_TRUE(hub.core.SeatConnected(1));
}

namespace {

// Random bytes, in random pieces, with the kind bytes and line ends often.
std::string garbage(std::mt19937& rng, size_t n)
{
    static const char kinds[] = "uc1snr\n\r\0x";
    std::string g;
    for (size_t i = 0; i < n; ++i)
        g += rng() % 4 == 0 ? kinds[rng() % (sizeof kinds - 1)] : char(rng());
    return g;
}

} // namespace

// Garbage from seated peers into a hub, whichever hub: nothing breaks, and
// it still relays afterwards.
TEST_P(HubBadInputWire, RandomGarbageIntoTheHub)
{
    std::mt19937 rng(2026);
    RawClient *a = nullptr, *b = nullptr;
    ASSERT_TRUE(join(a, 71, "A"));
    ASSERT_TRUE(join(b, 72, "B"));
    for (int i = 0; i < 200; ++i) {
        (i % 2 ? a : b)->Send(garbage(rng, rng() % 3000));
        if (i % 20 == 0)
            QTest::qWait(1);
    }
    // Still relaying: a clean line gets through whole once the garbage is
    // cut off by a line feed.
    a->Send("\n1A> clean\r\n");
    ASSERT_TRUE(b->SkipThrough("1A> clean\r\n"));
}

// Garbage from a hub into a peer: the link holds, and the peer still shows
// a clean line afterwards.
TEST_F(HubBadInput, RandomGarbageIntoAPeer)
{
    std::mt19937 rng(2026);
    RawServer rawHub;
    ASSERT_TRUE(rawHub.Listen("127.20.2.73", testPort()));
    Node p("127.20.2.74", "Pat");
    RawClient* h = nullptr;
    ASSERT_TRUE(joinRawHub(p, rawHub, "127.20.2.73", h));
    std::string noRedirect;
    for (int i = 0; i < 100; ++i) {
        std::string g = garbage(rng, rng() % 3000);
        // A redirect would end the link; keep the link to feed it more.
        for (char& c : g)
            if (c == 's')
                c = 'S';
        h->Send(g);
    }
    h->Send("\nuHub\n1Hub> clean\n");
    ASSERT_TRUE(waitFor([&] { return p.view.hasLine("Hub> clean"); }));
    EXPECT_TRUE(p.core.LinkConnected());
    EXPECT_LE(p.core.nuser, 9);
    h->Close();
    ASSERT_TRUE(waitFor([&] { return p.core.rbServer && !p.core.LinkConnected(); }));
}
