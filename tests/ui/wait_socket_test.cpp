// The socket component's waits without MultiThreaded, driven by a real wait
// control over loopback: ReadLine, Wait and Flush, and the input discarded
// while they run. Addresses: 127.50.1.0/24.

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <cstdio>
#include <memory>
#include <string>

#include "socketerror.h"
#include "testkit.h"
#include "uitestkit.h"
#include "waitcontrol.h"
#include "wsocket.h"

namespace {

const char* const kHost = "127.50.1.1";

// Runs f and returns the share of one core it used while it ran.
template <typename F>
double CoreShare(F f)
{
    QElapsedTimer clock;
    const double cpu0 = testkit::cpuSeconds();
    clock.start();
    f();
    const double wall = clock.nsecsElapsed() / 1e9;
    return (testkit::cpuSeconds() - cpu0) / wall;
}

using testkit::TCountingWait;

// A listener, the seat it hands the caller to, and the caller, connected.
struct TLink {
    TWSocket srv, peer, cli;
    TCountingWait wait;

    // The system picks the port, so parallel runs of this test never meet.
    explicit TLink(int rcvbuf = 0)
    {
        srv.OnSessionAvailable = [this](TCustomWSocket*, uint16_t) { peer.Dup(srv.Accept()); };
        srv.SetAddr(kHost);
        srv.SetPort("0");
        srv.Listen();
        if (rcvbuf > 0) // inherited by the accepted connection
            ::setsockopt(srv.HSocket(), SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
        cli.SetAddr(kHost);
        cli.SetPort(srv.GetXPort());
        cli.SetWaitCtrl(&wait);
        wait.hide();
    }

    bool Connect()
    {
        cli.Connect();
        return testkit::waitFor([&] { return cli.State() == wsConnected && peer.State() == wsConnected; }, 5000);
    }

    // Send from the seat side after `ms`, while the caller waits.
    void SendLater(int ms, const std::string& bytes)
    {
        QTimer::singleShot(ms, &wait, [this, bytes] { peer.SendStr(bytes); });
    }
};

TEST(WaitSocketReadLine, LineInPiecesWhileInputIsDiscarded)
{
    TLink link;
    ASSERT_TRUE(link.Connect());
    QLineEdit edit;
    edit.show();
    edit.setFocus();
    int dataEvents = 0;
    link.cli.OnDataAvailable = [&](TCustomWSocket*, uint16_t) { ++dataEvents; };

    link.SendLater(10, "hel");
    QTimer::singleShot(20, &link.wait, [&] {
        EXPECT_TRUE(link.wait.isVisible());
        EXPECT_TRUE(link.wait.Running());
        QTest::keyClicks(&edit, QStringLiteral("typed"));
        QTest::mouseClick(&edit, Qt::LeftButton);
    });
    link.SendLater(30, "lo wo");
    link.SendLater(50, "rld\r\nnext");

    QElapsedTimer clock;
    clock.start();
    std::string line;
    link.cli.ReadLine(10, line);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(line, "hello world");
    EXPECT_EQ(link.wait.ModalResult(), 1);
    EXPECT_FALSE(link.wait.Running());
    EXPECT_FALSE(link.wait.isVisible());
    EXPECT_EQ(link.wait.Caption(), "10");
    EXPECT_EQ(edit.text(), QString());
    EXPECT_GE(link.wait.Beeps, 6);

    // Once the line has ended, the rest goes to OnDataAvailable again and
    // typing reaches the edit box.
    EXPECT_TRUE(testkit::waitFor([&] { return dataEvents > 0; }, 5000));
    QTest::keyClicks(&edit, QStringLiteral("ok"));
    EXPECT_EQ(edit.text(), QStringLiteral("ok"));
}

TEST(WaitSocketReadLine, TimeoutKeepsThePartialLineInProgress)
{
    TLink link;
    ASSERT_TRUE(link.Connect());
    int dataEvents = 0;
    link.cli.OnDataAvailable = [&](TCustomWSocket*, uint16_t) { ++dataEvents; };

    // A real one-second wait on an idle connection: it must sleep.
    link.SendLater(5, "par");
    std::string line;
    const double share = CoreShare([&] { link.cli.ReadLine(1, line); });
    std::printf("ReadLine waiting 1 s: %.2f%% of one core\n", 100 * share);
    EXPECT_LT(share, 0.1);
    EXPECT_EQ(line, "par");
    EXPECT_EQ(link.wait.ModalResult(), 2);
    EXPECT_FALSE(link.wait.Running());
    EXPECT_FALSE(link.wait.isVisible());
    EXPECT_EQ(link.wait.Caption(), "1");

    // Still in progress: bytes arriving between the reads feed the line,
    // not OnDataAvailable.
    const int readBefore = link.cli.ReadCount();
    link.peer.SendStr("ti");
    ASSERT_TRUE(testkit::waitFor([&] { return link.cli.ReadCount() == readBefore + 2; }, 5000));
    EXPECT_EQ(dataEvents, 0);

    link.wait.SetInterval(1000);
    link.SendLater(10, "al\n");
    link.cli.ReadLine(5, line);
    EXPECT_EQ(line, "partial");
    EXPECT_EQ(link.wait.ModalResult(), 1);
    EXPECT_EQ(dataEvents, 0);
}

TEST(WaitSocketReadLine, PeerCloseStopsTheWait)
{
    TLink link;
    ASSERT_TRUE(link.Connect());
    int closed = 0;
    link.cli.OnSessionClosed = [&](TCustomWSocket*, uint16_t) { ++closed; };
    link.SendLater(5, "cut");
    QTimer::singleShot(20, &link.wait, [&] { link.peer.Close(); });

    QElapsedTimer clock;
    clock.start();
    std::string line;
    link.cli.ReadLine(30, line);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(line, "cut");
    EXPECT_EQ(link.wait.ModalResult(), 1);
    EXPECT_FALSE(link.wait.Running());
    EXPECT_EQ(link.cli.State(), wsClosed);
    EXPECT_EQ(closed, 1);
}

TEST(WaitSocketWait, ConnectedEndsTheWait)
{
    TLink link;
    link.cli.Connect();
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(link.cli.Wait(10, wsConnected));
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(link.cli.State(), wsConnected);
    EXPECT_EQ(link.wait.ModalResult(), 1);
    EXPECT_FALSE(link.wait.Running());
    EXPECT_FALSE(link.wait.isVisible());

    // Already there: false at once, the control is not used.
    link.wait.SetModalResult(0);
    EXPECT_FALSE(link.cli.Wait(10, wsConnected));
    EXPECT_EQ(link.wait.ModalResult(), 0);

    // A state that does not come: the countdown ends the wait.
    link.wait.SetInterval(20);
    EXPECT_FALSE(link.cli.Wait(2, wsListening));
    EXPECT_EQ(link.wait.ModalResult(), 2);
    EXPECT_EQ(link.cli.State(), wsConnected);
}

TEST(WaitSocketWait, RefusedConnectionEndsTheWait)
{
    // A port that was just free and that nobody listens on.
    std::string port;
    {
        TWSocket probe;
        probe.SetAddr(kHost);
        probe.SetPort("0");
        probe.Listen();
        port = probe.GetXPort();
    }
    TWSocket cli;
    TCountingWait wait;
    cli.SetWaitCtrl(&wait);
    cli.SetAddr(kHost);
    cli.SetPort(port);
    cli.Connect();
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(cli.Wait(10, wsConnected));
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(cli.State(), wsClosed);
    EXPECT_EQ(wait.ModalResult(), 1);
}

TEST(WaitSocketFlush, ReturnsAtTheLimitThenWhenTheQueueDrains)
{
    TLink link(4096);
    ASSERT_TRUE(link.Connect());
    const int sndbuf = 4096;
    ::setsockopt(link.cli.HSocket(), SOL_SOCKET, SO_SNDBUF, &sndbuf, sizeof sndbuf);
    link.peer.Pause(); // the seat reads nothing for now

    const std::string bulk(512 * 1024, 'x');
    link.cli.SendStr(bulk);
    ASSERT_GT(link.cli.SendQueueSize(), 0u);

    // Nobody reads: Flush gives up when its countdown runs out, and it
    // sleeps meanwhile.
    link.cli.SetFlushTimeout(1);
    QElapsedTimer clock;
    clock.start();
    const double share = CoreShare([&] { link.cli.Flush(); });
    std::printf("Flush waiting 1 s: %.2f%% of one core\n", 100 * share);
    EXPECT_LT(share, 0.1);
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_GT(link.cli.SendQueueSize(), 0u);
    EXPECT_EQ(link.cli.State(), wsConnected);
    EXPECT_FALSE(link.wait.Running());
    EXPECT_FALSE(link.wait.isVisible());

    // The seat reads again: Flush returns as soon as the queue is empty,
    // long before its limit.
    size_t received = 0;
    link.peer.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) {
        char buf[8192];
        int n = s->Receive(buf, sizeof buf);
        if (n > 0)
            received += static_cast<size_t>(n);
    };
    link.peer.Resume();
    link.cli.SetFlushTimeout(30);
    clock.restart();
    link.cli.Flush();
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_EQ(link.cli.SendQueueSize(), 0u);
    EXPECT_FALSE(link.wait.Running());
    EXPECT_FALSE(link.wait.isVisible());
    EXPECT_TRUE(testkit::waitFor([&] { return received == bulk.size(); }, 10000));
}

TEST(WaitSocketNoControl, EveryWaitNeedsOne)
{
    TLink link;
    ASSERT_TRUE(link.Connect());
    link.cli.SetWaitCtrl(nullptr);
    std::string line;
    EXPECT_SOCKET_ERROR(link.cli.ReadLine(1, line), 0, "No wait object assigned");
    EXPECT_SOCKET_ERROR(link.cli.Flush(), 0, "No wait object assigned");
    EXPECT_SOCKET_ERROR(link.cli.Wait(1, wsClosed), WSANO_DATA, "TWSocket.Wait");
}

} // namespace
