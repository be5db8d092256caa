// The socket component under stress and across lifetimes: a burst of
// callers that come and go (WSocketAccept); handlers that delete their
// socket while it waits, a wait control that goes away, and WaitForClose
// with bytes nobody reads (WSocketLifetime).
#include "nettest.h"

#include <QElapsedTimer>
#include <QTimer>

#include <poll.h>

using namespace nettest;

namespace {

const std::string kAddr = "127.10.5.1";

// A seat that the test owns by raw pointer, so a handler may delete it.
TWSocket* takeSeat(LoopbackPair& p)
{
    TWSocket* s = p.l.accepted[0].release();
    p.l.accepted.clear();
    return s;
}

} // namespace

TEST(WSocketAccept, ABurstOfCallersThatConnectAndGoIsAcceptedWithoutDelay)
{
    Listener l(kAddr);
    // Callers come and go while the listener's owner is busy: no event runs
    // until all of them have connected.
    constexpr int kCallers = 64;
    qint64 slowest = 0;
    for (int i = 0; i < kCallers; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ASSERT_GE(fd, 0);
        sockaddr_in a = ipv4(kAddr, l.port);
        QElapsedTimer t;
        t.start();
        int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        if (rc != 0 && errno == EINPROGRESS) {
            pollfd pfd{fd, POLLOUT, 0};
            rc = ::poll(&pfd, 1, 900) == 1 ? 0 : -1; // a dropped SYN comes back after 1 s
        }
        slowest = std::max(slowest, t.elapsed());
        ::close(fd);
        ASSERT_EQ(rc, 0) << "caller " << i << " waited " << t.elapsed() << " ms";
    }
    EXPECT_LT(slowest, 500);
    EXPECT_TRUE(waitFor([&] { return l.accepted.size() == kCallers; }));
}

TEST(WSocketLifetime, AHandlerMayDeleteItsSocketWhileReadLineOrWaitWaits)
{
    FakeWait wait;
    for (int waitKind = 0; waitKind < 2; ++waitKind) {
        SCOPED_TRACE(waitKind == 0 ? "ReadLine" : "Wait");
        LoopbackPair p(kAddr);
        ASSERT_TRUE(p.connect());
        TWSocket* s = takeSeat(p);
        s->SetWaitCtrl(&wait);
        bool deleted = false;
        s->OnSessionClosed = [&](TCustomWSocket* sender, uint16_t) {
            deleted = true;
            delete sender;
        };
        QTimer::singleShot(50, [&] {
            ::close(p.peer);
            p.peer = -1;
        });
        QElapsedTimer t;
        t.start();
        std::string line = "kept";
        if (waitKind == 0) {
            s->ReadLine(3, line);
            EXPECT_EQ(line, "kept"); // nothing to hand over from a deleted socket
        } else {
            EXPECT_FALSE(s->Wait(3, wsClosed));
        }
        EXPECT_TRUE(deleted);
        EXPECT_LT(t.elapsed(), 2000); // the wait ends with its socket
    }
}

TEST(WSocketLifetime, ADestroyedWaitControlIsForgottenInEitherOrder)
{
    LoopbackPair p(kAddr);
    ASSERT_TRUE(p.connect());
    TWSocket& s = *p.seat;
    {
        FakeWait gone;
        s.SetWaitCtrl(&gone);
        EXPECT_EQ(s.WaitCtrl(), &gone);
    }
    EXPECT_EQ(s.WaitCtrl(), nullptr);
    std::string line;
    EXPECT_SOCKET_ERROR(s.ReadLine(1, line), 0, "No wait object assigned");
    EXPECT_SOCKET_ERROR(s.Flush(), 0, "No wait object assigned");

    FakeWait stays;
    {
        TWSocket brief;
        brief.SetWaitCtrl(&stays);
    }
    s.SetWaitCtrl(&stays);
    p.peerSend("x\n");
    s.ReadLine(2, line);
    EXPECT_EQ(line, "x");
}

TEST(WSocketLifetime, WaitForCloseReturnsAtOnceWhenNobodyTakesTheBytes)
{
    LoopbackPair p(kAddr);
    ASSERT_TRUE(p.connect());
    TWSocket& s = *p.seat;
    p.peerSend("unread");
    ASSERT_TRUE(waitFor([&] { return s.RcvdCount() == 6; }));
    // Should it spin, the seat is closed after a while so the test ends.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] { s.Close(); });
    guard.start(1500);
    QElapsedTimer t;
    t.start();
    const double cpu = cpuSeconds();
    s.WaitForClose();
    EXPECT_LT(t.elapsed(), 500);
    EXPECT_LT(cpuSeconds() - cpu, 0.3);
    guard.stop();
    EXPECT_EQ(s.RcvdCount(), 6);

    // A handler that reads keeps it waiting until the peer's close.
    std::string got;
    s.OnDataAvailable = collectInto(got);
    QTimer::singleShot(50, [&] {
        ::close(p.peer);
        p.peer = -1;
    });
    s.WaitForClose();
    EXPECT_EQ(got, "unread");
    EXPECT_EQ(s.State(), wsClosed);
}
