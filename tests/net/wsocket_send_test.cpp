// Sending: the block queue, the pump, OnDataSent, Flush and the guards
// against peers that never read.
#include "nettest.h"

#include <QSocketNotifier>

#include <fcntl.h>

using namespace nettest;

namespace {

const std::string kAddr = "127.10.2.1";

// The loopback pair with a peer that the test reads from (or does not).
struct SeatAndPeer : LoopbackPair {
    SeatAndPeer() : LoopbackPair(kAddr) { }

    // Read what the peer has received until `want` bytes, bounded in time.
    std::string peerRead(size_t want)
    {
        std::string out;
        ::fcntl(peer, F_SETFL, O_NONBLOCK);
        auto drain = [&] {
            char buf[65536];
            ssize_t n;
            while ((n = ::recv(peer, buf, sizeof buf, 0)) > 0)
                out.append(buf, static_cast<size_t>(n));
        };
        QSocketNotifier readable(peer, QSocketNotifier::Read);
        QObject::connect(&readable, &QSocketNotifier::activated, drain);
        drain();
        waitFor([&] { return out.size() >= want; });
        return out;
    }
    // Fill the seat's kernel send buffer directly, leaving its own queue empty.
    // Fixed small buffers keep the kernel from growing them while we wait.
    std::string fillKernel()
    {
        int size = 8192;
        ::setsockopt(seat->HSocket(), SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
        ::setsockopt(peer, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        std::string sent;
        std::string chunk(65536, 'k');
        ssize_t n;
        while ((n = ::send(seat->HSocket(), chunk.data(), chunk.size(), MSG_DONTWAIT | MSG_NOSIGNAL)) > 0)
            sent.append(chunk.data(), static_cast<size_t>(n));
        return sent;
    }
};

std::string pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>('a' + i % 26);
    return s;
}

} // namespace

TEST(WSocketSend, BlocksOf1514AndPartialSendsContinueFromReadPosition)
{
    SeatAndPeer p;
    ASSERT_TRUE(p.connect());
    int sentEvents = 0;
    p.seat->OnDataSent = [&](TCustomWSocket*, uint16_t e) {
        EXPECT_EQ(e, 0);
        ++sentEvents;
    };
    std::string filler = p.fillKernel();
    std::string data = pattern(3000);
    EXPECT_EQ(p.seat->Send(data.data(), 3000), 3000);
    // Nothing went out: the queue holds one full block and the rest.
    ASSERT_EQ(p.seat->SendBlocks().size(), 2u);
    EXPECT_EQ(p.seat->SendBlocks()[0]->Unsent(), 1514);
    EXPECT_EQ(p.seat->SendBlocks()[1]->Unsent(), 1486);
    EXPECT_EQ(p.seat->SendQueueSize(), 3000u);
    settle();
    EXPECT_EQ(sentEvents, 0);
    // The peer reads: write notifications continue the queue in order.
    std::string got = p.peerRead(filler.size() + 3000);
    EXPECT_EQ(got.size(), filler.size() + 3000);
    EXPECT_TRUE(got.compare(filler.size(), 3000, data) == 0);
    ASSERT_TRUE(waitFor([&] { return sentEvents == 1; }));
    EXPECT_EQ(p.seat->SendQueueSize(), 0u);
    EXPECT_EQ(p.seat->SendBlocks().size(), 1u); // the emptied head stays for reuse
}

TEST(WSocketSend, DataSentComesAfterSendStrNeverInsideIt)
{
    SeatAndPeer p;
    ASSERT_TRUE(p.connect());
    bool inside = false;
    int sentEvents = 0;
    p.seat->OnDataSent = [&](TCustomWSocket*, uint16_t) {
        EXPECT_FALSE(inside);
        ++sentEvents;
    };
    inside = true;
    EXPECT_EQ(p.seat->SendStr("line\r\n"), 6);
    inside = false;
    EXPECT_EQ(sentEvents, 0);
    ASSERT_TRUE(waitFor([&] { return sentEvents == 1; }));
    EXPECT_EQ(p.peerRead(6), "line\r\n");

    // An empty text queues nothing and raises nothing.
    EXPECT_EQ(p.seat->SendStr(""), 0);
    settle();
    EXPECT_EQ(sentEvents, 1);
}

TEST(WSocketSend, SendWhileClosedRaisesNotConnected)
{
    TWSocket s;
    EXPECT_SOCKET_ERROR(s.SendStr("x"), WSAENOTCONN, "Send");
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(s.HSocket(), INVALID_SOCKET);
}

TEST(WSocketSend, SendFlagsUrgentAndInvalidValues)
{
    SeatAndPeer p;
    ASSERT_TRUE(p.connect());
    EXPECT_EQ(p.seat->SendFlags(), wsSendNormal);
    p.seat->SetSendFlags(wsSendUrgent);
    EXPECT_EQ(p.seat->SendFlags(), wsSendUrgent);
    p.seat->SendStr("u");
    char c = 0;
    ASSERT_TRUE(waitFor([&] { return ::recv(p.peer, &c, 1, MSG_OOB | MSG_DONTWAIT) == 1; }));
    EXPECT_EQ(c, 'u');
    EXPECT_SOCKET_ERROR(p.seat->SetSendFlags(static_cast<TSocketSendFlags>(5)), 0, "Invalid SendFlags");
}

TEST(WSocketSend, PumpMeetingResetClosesInsideSendStr)
{
    SeatAndPeer p;
    ASSERT_TRUE(p.connect());
    std::vector<std::string> log;
    p.seat->OnSessionClosed = [&](TCustomWSocket*, uint16_t e) { log.push_back("closed " + std::to_string(e)); };
    p.seat->Pause(); // keep the peer's reset from arriving as a notification
    linger lg{1, 0};
    ::setsockopt(p.peer, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
    ::close(p.peer);
    p.peer = -1;
    // The first send after a reset may still be accepted by the kernel.
    for (int i = 0; i < 3 && p.seat->State() == wsConnected; ++i) {
        EXPECT_EQ(p.seat->SendStr("after reset\r\n"), 13);
    }
    EXPECT_EQ(p.seat->State(), wsClosed);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], "closed 0");
    EXPECT_EQ(p.seat->LastError(), WSAECONNRESET);
}

TEST(WSocketSend, QueueForAPeerThatNeverReadsIsBounded)
{
    SeatAndPeer p;
    ASSERT_TRUE(p.connect());
    int closed = 0;
    p.seat->OnSessionClosed = [&](TCustomWSocket*, uint16_t) { ++closed; };
    std::string chunk(64 * 1024, 'q');
    size_t queuedMax = 0;
    int sends = 0;
    while (p.seat->State() == wsConnected && sends < 1000) {
        p.seat->SendStr(chunk);
        queuedMax = std::max(queuedMax, p.seat->SendQueueSize());
        ++sends;
    }
    EXPECT_EQ(p.seat->State(), wsClosed);
    EXPECT_EQ(closed, 1);
    EXPECT_LE(queuedMax, p.seat->MaxSendQueue());
    EXPECT_EQ(p.seat->SendQueueSize(), 0u);
    EXPECT_EQ(p.seat->LastError(), WSAENOBUFS);
    // The peer sees the connection end (a reset), without waiting for it.
    timeval tv{5, 0};
    ::setsockopt(p.peer, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    char buf[65536];
    ssize_t n;
    while ((n = ::recv(p.peer, buf, sizeof buf, 0)) > 0) { }
    EXPECT_TRUE(n == 0 || errno == ECONNRESET) << errno;
}

TEST(WSocketSend, NewConnectionNeverCarriesBytesQueuedForTheOldOne)
{
    Listener l(kAddr);
    int port = l.port;
    TWSocket c;
    connectTo(c, kAddr, port);
    ASSERT_TRUE(waitFor([&] { return c.State() == wsConnected && l.accepted.size() == 1; }));
    // The hub side never reads: fill, then queue one person's line.
    std::string chunk(65536, 'o');
    while (c.SendQueueSize() == 0)
        c.SendStr(chunk);
    c.SendStr("secret of the first connection\r\n");
    c.Close();
    EXPECT_EQ(c.SendQueueSize(), 0u);

    std::string got;
    l.prepare = [&](TWSocket& s) { s.OnDataAvailable = collectInto(got); };
    connectTo(c, kAddr, port);
    ASSERT_TRUE(waitFor([&] { return c.State() == wsConnected && l.accepted.size() == 2; }));
    c.SendStr("own line\r\n");
    ASSERT_TRUE(waitFor([&] { return got.size() >= 10; }));
    settle();
    EXPECT_EQ(got, "own line\r\n");
}

TEST(WSocketSend, FlushDrainsOrGivesUpAfterFlushTimeout)
{
    SeatAndPeer p;
    ASSERT_TRUE(p.connect());
    TWSocket& s = *p.seat;
    EXPECT_SOCKET_ERROR(s.Flush(), 0, "No wait object assigned");

    // A peer read by a notifier in this thread: Flush keeps the loop turning.
    std::string filler = p.fillKernel();
    s.SendStr(pattern(5000));
    ASSERT_GT(s.SendQueueSize(), 0u);
    size_t received = 0;
    ::fcntl(p.peer, F_SETFL, O_NONBLOCK);
    QSocketNotifier reader(p.peer, QSocketNotifier::Read);
    QObject::connect(&reader, &QSocketNotifier::activated, [&] {
        char buf[65536];
        ssize_t n;
        while ((n = ::recv(p.peer, buf, sizeof buf, 0)) > 0)
            received += static_cast<size_t>(n);
    });
    s.SetMultiThreaded(true);
    s.Flush();
    EXPECT_EQ(s.SendQueueSize(), 0u);
    reader.setEnabled(false);

    // With a wait control, and a peer that stopped reading: the control's
    // count (FlushTimeout seconds) ends the wait.
    s.SetMultiThreaded(false);
    FakeWait wait;
    s.SetWaitCtrl(&wait);
    s.SetFlushTimeout(1);
    p.fillKernel();
    s.SendStr(pattern(200000));
    QElapsedTimer t;
    t.start();
    s.Flush();
    EXPECT_GT(s.SendQueueSize(), 0u);
    EXPECT_GE(t.elapsed(), 900);
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_EQ(wait.caption, "1");
    EXPECT_EQ(wait.shown, 1);
    EXPECT_EQ(wait.hidden, 1);
    EXPECT_FALSE(wait.running);

    // MultiThreaded is bounded by FlushTimeout as well.
    s.SetMultiThreaded(true);
    p.fillKernel();
    s.SendStr(pattern(200000));
    ASSERT_EQ(s.State(), wsConnected);
    ASSERT_GT(s.SendQueueSize(), 0u);
    t.restart();
    s.Flush();
    EXPECT_GE(t.elapsed(), 900);
    EXPECT_LT(t.elapsed(), 5000);
}

TEST(WSocketSend, OneDataSentForABurstOfLinesAndAfterPauseAgain)
{
    SeatAndPeer p;
    ASSERT_TRUE(p.connect());
    int sentEvents = 0;
    p.seat->OnDataSent = [&](TCustomWSocket*, uint16_t) { ++sentEvents; };
    for (int i = 0; i < 100; ++i)
        p.seat->SendStr("relayed line\r\n");
    ASSERT_TRUE(waitFor([&] { return sentEvents == 1; }));
    settle();
    EXPECT_EQ(sentEvents, 1);
    EXPECT_EQ(p.peerRead(1400).size(), 1400u);

    // A write notification dropped while paused does not silence later ones.
    p.seat->SendStr("x");
    p.seat->Pause();
    settle();
    p.seat->Resume(); // re-registering reports the socket writable again
    ASSERT_TRUE(waitFor([&] { return sentEvents == 2; }));
    settle();
    p.seat->SendStr("y");
    ASSERT_TRUE(waitFor([&] { return sentEvents == 3; }));
}

// With nothing queued a send goes straight from the caller's bytes: no block
// is filled. What the kernel does not take is queued, in order, behind it.
TEST(WSocketSend, NothingQueuedSendsStraightAndQueuesOnlyTheRest)
{
    SeatAndPeer p;
    ASSERT_TRUE(p.connect());
    TWSocket& s = *p.seat;
    EXPECT_EQ(s.SendStr("first\r\n"), 7);
    EXPECT_TRUE(s.SendBlocks().empty());
    EXPECT_EQ(s.SendQueueSize(), 0u);

    int size = 8192;
    ::setsockopt(s.HSocket(), SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    ::setsockopt(p.peer, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    const std::string big = pattern(300000);
    EXPECT_EQ(s.SendStr(big), 300000);
    const size_t queued = s.SendQueueSize();
    EXPECT_GT(queued, 0u);
    EXPECT_LT(queued, big.size()); // the kernel took the head at once
    EXPECT_EQ(s.SendStr("tail\r\n"), 6);
    EXPECT_GT(s.SendQueueSize(), 0u); // queued behind the rest, not sent ahead of it

    const std::string got = p.peerRead(7 + big.size() + 6);
    EXPECT_TRUE(got == "first\r\n" + big + "tail\r\n");
    ASSERT_TRUE(waitFor([&] { return s.SendQueueSize() == 0; }));

    // Nothing left: Flush returns at once.
    FakeWait wait;
    s.SetWaitCtrl(&wait);
    QElapsedTimer t;
    t.start();
    s.Flush();
    EXPECT_LT(t.elapsed(), 500);

    // The cap holds for one large send to a peer that does not read.
    s.SendStr(std::string(2 * 1024 * 1024, 'z'));
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(s.LastError(), WSAENOBUFS);
}

// A send that the kernel only partly takes drains on its own once the peer
// reads, with nothing sent after it to push the rest.
TEST(WSocketSend, APartlyTakenSendDrainsWithNothingAfterIt)
{
    SeatAndPeer p;
    ASSERT_TRUE(p.connect());
    int size = 8192;
    ::setsockopt(p.seat->HSocket(), SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    ::setsockopt(p.peer, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    const std::string big = pattern(300000);
    EXPECT_EQ(p.seat->SendStr(big), 300000);
    ASSERT_GT(p.seat->SendQueueSize(), 0u);
    EXPECT_TRUE(p.peerRead(big.size()) == big);
    EXPECT_EQ(p.seat->SendQueueSize(), 0u);
}

// Nobody handles OnDataSent: no write notification is posted for a send, so
// a handler assigned later hears only of later sends.
TEST(WSocketSend, NoWriteNotificationWithoutADataSentHandler)
{
    SeatAndPeer p;
    ASSERT_TRUE(p.connect());
    p.seat->SendStr("unheard\r\n");
    int sentEvents = 0;
    p.seat->OnDataSent = [&](TCustomWSocket*, uint16_t) { ++sentEvents; };
    settle();
    EXPECT_EQ(sentEvents, 0);
    p.seat->SendStr("heard\r\n");
    ASSERT_TRUE(waitFor([&] { return sentEvents == 1; }));
    EXPECT_EQ(p.peerRead(16), "unheard\r\nheard\r\n");
}
