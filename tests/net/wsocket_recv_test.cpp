// Receiving: Receive results, the data-available loop's guards, line mode
// and exceptions escaping handlers.
#include "nettest.h"

#include <QTimer>

#include <atomic>
#include <thread>

using namespace nettest;

namespace {

const std::string kAddr = "127.10.3.1";

struct SeatAndPeer : LoopbackPair {
    SeatAndPeer() : LoopbackPair(kAddr) { }
};

} // namespace

TEST(WSocketRecv, ReceiveAfterPeerCloseAndAfterReset)
{
    int lastReceive = 99;
    int lastErrorSeen = -1;
    SeatAndPeer p;
    ASSERT_TRUE(p.connect([&](TWSocket& s) {
        s.OnDataAvailable = [&](TCustomWSocket* sender, uint16_t) {
            char buf[16];
            lastReceive = sender->Receive(buf, sizeof buf);
            lastErrorSeen = sender->LastError();
        };
    }));
    ::close(p.peer);
    p.peer = -1;
    ASSERT_TRUE(waitFor([&] { return p.seat->State() == wsClosed; }));
    EXPECT_EQ(lastReceive, 0);
    EXPECT_EQ(lastErrorSeen, 0);

    SeatAndPeer r;
    ASSERT_TRUE(r.connect([&](TWSocket& s) {
        s.OnDataAvailable = [&](TCustomWSocket* sender, uint16_t) {
            char buf[16];
            lastReceive = sender->Receive(buf, sizeof buf);
            lastErrorSeen = sender->LastError();
        };
    }));
    int closeError = -1;
    r.seat->OnSessionClosed = [&](TCustomWSocket*, uint16_t e) { closeError = e; };
    linger lg{1, 0};
    ::setsockopt(r.peer, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
    ::close(r.peer);
    r.peer = -1;
    ASSERT_TRUE(waitFor([&] { return r.seat->State() == wsClosed; }));
    EXPECT_EQ(lastReceive, -1);
    EXPECT_EQ(lastErrorSeen, WSAECONNRESET);
    EXPECT_EQ(closeError, WSAECONNRESET);
}

TEST(WSocketRecv, HandlerThatReadsNothingDoesNotSpin)
{
    int calls = 0;
    bool reading = false;
    std::string got;
    SeatAndPeer p;
    ASSERT_TRUE(p.connect([&](TWSocket& s) {
        s.OnDataAvailable = [&](TCustomWSocket* sender, uint16_t) {
            ++calls;
            if (reading) {
                char buf[64];
                int n = sender->Receive(buf, sizeof buf);
                if (n > 0)
                    got.append(buf, static_cast<size_t>(n));
            }
        };
    }));
    p.peerSend("waiting");
    ASSERT_TRUE(waitFor([&] { return calls >= 1; }));
    QTest::qWait(100); // nothing to await: a spinning loop would count up here
    EXPECT_EQ(calls, 1);
    // Reading again re-arms the notifications, as on Windows.
    reading = true;
    char buf[3];
    EXPECT_EQ(p.seat->Receive(buf, 3), 3);
    p.peerSend("!");
    ASSERT_TRUE(waitFor([&] { return got == "ting!"; }));
    EXPECT_EQ(p.seat->ReadCount(), 8);
}

TEST(WSocketRecv, FloodingPeerDoesNotStarveOthersOrTimers)
{
    size_t flooded = 0;
    SeatAndPeer flood;
    ASSERT_TRUE(flood.connect([&](TWSocket& s) {
        s.OnDataAvailable = [&](TCustomWSocket* sender, uint16_t) {
            // A slow reader: the peer writes far faster than this.
            char buf[64];
            int n = sender->Receive(buf, sizeof buf);
            QElapsedTimer busy;
            busy.start();
            while (busy.nsecsElapsed() < 20000) { }
            if (n > 0)
                flooded += static_cast<size_t>(n);
        };
    }));
    std::string line;
    SeatAndPeer other;
    ASSERT_TRUE(other.connect([&](TWSocket& s) { s.OnDataAvailable = collectInto(line); }));

    std::atomic<bool> stop{false};
    int floodFd = flood.peer;
    // The writer gives up by itself after 4 s, so that a loop that never lets
    // go still ends (and the test fails on time instead of hanging).
    std::thread writer([&] {
        std::string chunk(65536, 'f');
        QElapsedTimer t;
        t.start();
        while (!stop.load() && t.elapsed() < 4000)
            if (::send(floodFd, chunk.data(), chunk.size(), MSG_NOSIGNAL) <= 0)
                break;
    });
    QElapsedTimer elapsed;
    elapsed.start();
    bool timerFired = false;
    QTimer::singleShot(50, [&] { timerFired = true; });
    QTimer::singleShot(50, [&] { other.peerSend("still heard\r\n"); });
    bool ok = waitFor([&] { return flooded > 0 && timerFired && line == "still heard\r\n"; }, 10000);
    qint64 took = elapsed.elapsed();
    size_t floodedMeanwhile = flooded;
    stop = true;
    ::shutdown(floodFd, SHUT_RDWR); // unblocks a writer waiting for room
    writer.join();
    EXPECT_TRUE(ok);
    EXPECT_LT(took, 2000);
    EXPECT_GT(floodedMeanwhile, 0u);
}

TEST(WSocketRecv, ReadLineSplitsOnLineFeedAndDropsCarriageReturns)
{
    SeatAndPeer p;
    ASSERT_TRUE(p.connect());
    TWSocket& s = *p.seat;
    s.SetMultiThreaded(true);
    std::string line = "untouched";
    p.peerSend("abc\r\n");
    s.ReadLine(5, line);
    EXPECT_EQ(line, "abc");
    p.peerSend("a\rb\n");
    s.ReadLine(5, line);
    EXPECT_EQ(line, "ab");
    p.peerSend("\n");
    s.ReadLine(5, line);
    EXPECT_EQ(line, "");

    // A line arriving later, in pieces, while ReadLine waits.
    QTimer::singleShot(20, [&] { p.peerSend("la"); });
    QTimer::singleShot(60, [&] { p.peerSend("ter\n"); });
    s.ReadLine(5, line);
    EXPECT_EQ(line, "later");

    // 300 bytes without LF: 254 make a line, once reported as too long.
    int tooLong = 0;
    s.OnLineTooLong = [&](TCustomWSocket*) { ++tooLong; };
    p.peerSend(std::string(300, 'x') + "\n");
    s.ReadLine(5, line);
    EXPECT_EQ(line, std::string(254, 'x'));
    EXPECT_EQ(tooLong, 1);
    s.ReadLine(5, line);
    EXPECT_EQ(line, std::string(46, 'x'));
    EXPECT_EQ(tooLong, 1);
    EXPECT_EQ(s.ReadCount(), 5 + 4 + 1 + 6 + 301);
}

TEST(WSocketRecv, ReadLineTimeoutKeepsTheLineAndNeedsAWayToWait)
{
    SeatAndPeer p;
    ASSERT_TRUE(p.connect());
    TWSocket& s = *p.seat;
    std::string line;
    EXPECT_SOCKET_ERROR(s.ReadLine(1, line), 0, "No wait object assigned");
    FakeWait wait;
    s.SetWaitCtrl(&wait);
    p.peerSend("par");
    s.ReadLine(1, line); // times out with what it has
    EXPECT_EQ(line, "par");
    EXPECT_EQ(wait.result, 2);
    // The line read goes on: notifications feed it, not OnDataAvailable.
    int dataEvents = 0;
    s.OnDataAvailable = [&](TCustomWSocket*, uint16_t) { ++dataEvents; };
    p.peerSend("tial\n");
    s.ReadLine(2, line);
    EXPECT_EQ(line, "partial");
    EXPECT_EQ(wait.result, 1); // stopped by the line's end
    EXPECT_EQ(dataEvents, 0);
}

TEST(WSocketRecv, ALineFinishedAfterATimeoutIsHandedToTheNextReadLineButNotToTheNextConnection)
{
    SeatAndPeer p;
    ASSERT_TRUE(p.connect());
    TWSocket& s = *p.seat;
    FakeWait wait;
    s.SetWaitCtrl(&wait);
    std::string line;
    p.peerSend("par");
    s.ReadLine(1, line);
    EXPECT_EQ(line, "par");
    // The rest of the line and the next one arrive before the next call.
    p.peerSend("tial\nnext\n");
    ASSERT_TRUE(waitFor([&] { return s.ReadCount() >= 8; }));
    s.ReadLine(1, line);
    EXPECT_EQ(line, "partial");
    s.ReadLine(1, line);
    EXPECT_EQ(line, "next");

    // A line still unfinished when its connection ends goes with it: the
    // next caller taken over by the same object starts afresh.
    p.peerSend("ab");
    s.ReadLine(1, line);
    ASSERT_EQ(line, "ab");
    s.Close();
    p.l.srv.OnSessionAvailable = [&](TCustomWSocket* sender, uint16_t) { s.Dup(sender->Accept()); };
    const int next = rawConnect(kAddr, p.l.port);
    ASSERT_GE(next, 0);
    ASSERT_TRUE(waitFor([&] { return s.State() == wsConnected; }));
    ASSERT_EQ(::send(next, "new\n", 4, 0), 4);
    s.ReadLine(2, line);
    EXPECT_EQ(line, "new");
    ::close(next);
}

TEST(WSocketRecv, ExceptionsFromHandlersStayInsideTheDispatch)
{
    std::vector<std::string> reported;
    auto saved = WSocketExceptionHandler;
    WSocketExceptionHandler = [&](const std::exception& e) { reported.push_back(e.what()); };

    int dataCalls = 0;
    SeatAndPeer p;
    ASSERT_TRUE(p.connect([&](TWSocket& s) {
        s.OnDataAvailable = [&](TCustomWSocket* sender, uint16_t) {
            ++dataCalls;
            char buf[64];
            sender->Receive(buf, sizeof buf);
            throw Exception("swallowed by the data loop");
        };
    }));
    p.peerSend("one");
    ASSERT_TRUE(waitFor([&] { return dataCalls == 1; }));
    p.peerSend("two");
    ASSERT_TRUE(waitFor([&] { return dataCalls == 2; }));
    EXPECT_TRUE(reported.empty());

    // Other handlers: reported, and the loop goes on.
    TWSocket c;
    c.OnSessionConnected = [](TCustomWSocket*, uint16_t) { throw ESocketException("from a connect handler"); };
    connectTo(c, kAddr, p.l.port);
    ASSERT_TRUE(waitFor([&] { return !reported.empty(); }));
    EXPECT_EQ(reported[0], "from a connect handler");
    EXPECT_EQ(c.State(), wsConnected);
    WSocketExceptionHandler = saved;
}

TEST(WSocketRecv, UrgentByteAndEmptyDatagramDoNotStallTheStream)
{
    std::string got;
    SeatAndPeer p;
    ASSERT_TRUE(p.connect([&](TWSocket& s) { s.OnDataAvailable = collectInto(got); }));
    p.peerSend("ab");
    ASSERT_TRUE(waitFor([&] { return got == "ab"; }));
    ASSERT_EQ(::send(p.peer, "U", 1, MSG_OOB), 1);
    p.peerSend("cd");
    ASSERT_TRUE(waitFor([&] { return got.size() >= 4; }));
    EXPECT_EQ(got, "abcd"); // the urgent byte is out of band

    // An empty datagram is consumed like any other; the next still arrives.
    TWSocket u;
    u.SetProto("udp");
    u.SetAddr(kAddr);
    u.SetPort("0");
    u.Listen();
    std::vector<int> sizes;
    u.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) {
        char buf[64];
        sockaddr_in from{};
        int len = sizeof from;
        int n = s->ReceiveFrom(buf, sizeof buf, from, len);
        if (n >= 0)
            sizes.push_back(n);
    };
    int raw = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = ::inet_addr(kAddr.c_str());
    to.sin_port = htons(static_cast<uint16_t>(std::stoi(u.GetXPort())));
    ::sendto(raw, "", 0, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    ASSERT_TRUE(waitFor([&] { return sizes.size() == 1; }));
    ::sendto(raw, "x", 1, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    ASSERT_TRUE(waitFor([&] { return sizes.size() == 2; }));
    EXPECT_EQ(sizes, (std::vector<int>{0, 1}));
    ::close(raw);
}

TEST(WSocketRecv, DataTakenBeforeItsNotificationStillLeavesTheCloseReported)
{
    std::string got;
    int closed = 0;
    SeatAndPeer p;
    ASSERT_TRUE(p.connect([&](TWSocket& s) {
        s.OnDataAvailable = collectInto(got);
        s.OnSessionClosed = [&](TCustomWSocket*, uint16_t) { ++closed; };
    }));
    // The program reads the bytes itself before their notification is
    // handled; the handler then finds nothing.
    p.peerSend("early");
    char buf[16];
    int n = p.seat->Receive(buf, sizeof buf); // loopback: already arrived
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), "early");
    settle();
    p.peerSend("late");
    ASSERT_TRUE(waitFor([&] { return got == "late"; }));
    ::close(p.peer);
    p.peer = -1;
    ASSERT_TRUE(waitFor([&] { return closed == 1; }));
}
