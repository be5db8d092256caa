// A hub on the open Internet, on both hubs: probes and silent callers leave
// no trace and a silent one is closed in 10 s; a flood is slowed with
// nothing lost while another member's line passes; a member that reads is
// never dropped for another's speed, one that never reads is.
#include "chattest.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace {

const std::string kHub = address(1);

} // namespace

class StrangersWire : public RawPeersOnEitherHub {
protected:
    StrangersWire() : RawPeersOnEitherHub(kHub) { }

    // A line rate for this test, on whichever hub; then the hub starts.
    void SetUpWithRate(int rate)
    {
        hub.core.Guard.lineRate = rate;
        headlessArgs = {QStringLiteral("--line-rate"), QString::number(rate)};
        RawPeersOnEitherHub::SetUp();
    }
    void SetUp() override { }

    std::string from(int host) const { return kHub.substr(0, kHub.rfind('.') + 1) + std::to_string(host); }

    // Since the last look, only announcements of the next hub: nothing a
    // pane shows.
    static ::testing::AssertionResult onlyAnnouncements(RawClient& c)
    {
        const std::string got = c.Take();
        for (size_t at = 0; at < got.size(); at = got.find('\n', at) + 1)
            if ((got[at] != 'n' && got[at] != 'r') || got.find('\n', at) == std::string::npos)
                return ::testing::AssertionFailure() << "received: " << RawClient::Shown(got);
        return ::testing::AssertionSuccess();
    }
};
PELMORA_ON_EITHER_HUB(StrangersWire);

TEST_P(StrangersWire, ProbesAndASilentCallerLeaveNoTrace)
{
    ASSERT_NO_FATAL_FAILURE(SetUpWithRate(10));
    RawClient *a = nullptr, *b = nullptr;
    ASSERT_TRUE(seat(a, 11, "A"));
    ASSERT_TRUE(seat(b, 12, "B"));
    ASSERT_TRUE(barrier({a, b}));
    const size_t shown = hub.view.lines.size() + 4; // the two barriers' lines below

    // Connect-and-close, an HTTP request, a TLS hello, an SSH banner, blank
    // lines, a chat line: each gets the admission lines and goes.
    for (const char* probe : {"", "GET / HTTP/1.0\r\n\r\n", "\x16\x03\x01\x00\x05\x01\x00\x00\x01\x03",
                              "SSH-2.0-OpenSSH_9.6\r\n", "\r\n\r\n\n", "1spam\n"}) {
        RawClient p;
        ASSERT_TRUE(p.Connect(kHub.c_str(), testPort(), from(20).c_str()));
        ASSERT_TRUE(p.SkipThrough("uHub\nuA\nuB\n"));
        p.Send(probe);
        ASSERT_TRUE(waitFor([&] { return p.Unsent() == 0; }));
    }
    // A silent caller hears no chat line and is closed within 10 s.
    RawClient silent;
    ASSERT_TRUE(silent.Connect(kHub.c_str(), testPort(), from(21).c_str()));
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(silent.SkipThrough("uHub\nuA\nuB\n"));
    ASSERT_TRUE(barrier({a, b}));
    ASSERT_TRUE(silent.WaitEof(12000));

    EXPECT_LT(t.elapsed(), 11000);
    EXPECT_TRUE(onlyAnnouncements(silent));

    ASSERT_TRUE(barrier({a, b}));
    EXPECT_TRUE(onlyAnnouncements(*a));
    EXPECT_TRUE(onlyAnnouncements(*b));
    if (inProcess()) {
        EXPECT_EQ(hub.view.lines.size(), shown);
        EXPECT_EQ(hub.core.NextName, "A");
    }
    EXPECT_FALSE(shows(TChatEvent::SeatLeft(""), 0));
}

TEST_P(StrangersWire, AFloodIsSlowedWholeAndInOrderWhileAnotherSpeaks)
{
    ASSERT_NO_FATAL_FAILURE(SetUpWithRate(50));
    RawClient *a = nullptr, *b = nullptr, *c = nullptr;
    ASSERT_TRUE(seat(a, 41, "A"));
    ASSERT_TRUE(seat(b, 42, "B"));
    ASSERT_TRUE(seat(c, 43, "C"));
    ASSERT_TRUE(barrier({b, c, a}));
    std::string flood;
    for (int i = 0; i < 300; ++i)
        flood += "1A> " + std::to_string(i) + "\r\n";
    QElapsedTimer t;
    t.start();
    a->Send(flood);
    // The burst (3 s worth) passes at once, the rest at 50 a second.
    ASSERT_TRUE(waitFor([&] { return b->received.find("1A> 149\r\n") != std::string::npos; }, 2000));
    const std::string between = "1C> between\r\n";
    c->Send(between);
    ASSERT_TRUE(waitFor([&] { return b->received.find(between) != std::string::npos; }, 1000));
    ASSERT_TRUE(waitFor([&] { return b->received.find("1A> 299\r\n") != std::string::npos; }, 6000));
    EXPECT_GE(t.elapsed(), 2500);
    std::string got = b->received;
    got.erase(got.find(between), between.size());
    EXPECT_EQ(got, flood); // whole and in order
}

TEST_P(StrangersWire, AReaderGetsAllOfAFloodAndOneThatNeverReadsIsDropped)
{
    ASSERT_NO_FATAL_FAILURE(SetUpWithRate(0));
    RawClient *a = nullptr, *b = nullptr, *lazy = nullptr;
    ASSERT_TRUE(seat(a, 51, "A"));
    ASSERT_TRUE(seat(b, 52, "B"));
    ASSERT_TRUE(seat(lazy, 53, "Lazy"));
    ASSERT_TRUE(barrier({a, b, lazy}));
    lazy->StopReading();
    std::string flood;
    const std::string pad(890, 'x');
    for (int i = 0; i < 20000; ++i)
        flood += "1A> " + pad + std::to_string(100000 + i) + "\r\n";
    QElapsedTimer t;
    t.start();
    a->Send(flood);
    const std::string last = "1A> " + pad + "119999\r\n";
    ASSERT_TRUE(waitFor([&] { return b->received.find(last) != std::string::npos; }, 40000))
        << b->received.size() << " of " << flood.size();
    // Lazy was dropped once its queue stood still for 10 s; B read it all,
    // in order, around Lazy's departure and the announcements after it.
    EXPECT_GE(t.elapsed(), 9000);
    std::string chat;
    bool lazyLeft = false;
    for (size_t at = 0, lf; (lf = b->received.find('\n', at)) != std::string::npos; at = lf + 1) {
        const std::string_view line(b->received.data() + at, lf + 1 - at);
        if (line[0] == '1')
            chat += line;
        lazyLeft = lazyLeft || line == "cLazy\n";
    }
    EXPECT_TRUE(lazyLeft);
    EXPECT_TRUE(chat == flood) << "B's lines differ from what A sent";
}
