// Flow control for a relay: reading held and resumed with nothing lost, the
// send queue's water marks, the stall limit; and the own-link test against
// a stranger whose port happens to match.
#include "nettest.h"

#include <QElapsedTimer>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <fcntl.h>

using namespace nettest;

namespace {

// The seat collects what it reads; the peer is a raw socket.
struct HeldPair : LoopbackPair {
    std::string got;
    bool closed = false;
    HeldPair() : LoopbackPair(address(1))
    {
        EXPECT_TRUE(connect([this](TWSocket& s) {
            s.OnDataAvailable = [this](TCustomWSocket* x, uint16_t) {
                char buf[512];
                const int n = x->Receive(buf, sizeof buf);
                if (n > 0)
                    got.append(buf, static_cast<size_t>(n));
            };
            s.OnSessionClosed = [this](TCustomWSocket*, uint16_t) { closed = true; };
        }));
    }
};

} // namespace

TEST(WSocketFlow, HeldReadingKeepsBytesAndTheCloseBehindThem)
{
    HeldPair p;
    p.seat->SetReadHeld(true);
    p.peerSend("first\n");
    settle(50);
    EXPECT_EQ(p.got, "");
    p.seat->SetReadHeld(false);
    ASSERT_TRUE(waitFor([&] { return p.got == "first\n"; }));

    // Held from inside the handler: the rest and the peer's close wait.
    p.seat->OnDataAvailable = [&](TCustomWSocket* x, uint16_t) {
        char c;
        if (x->Receive(&c, 1) == 1)
            p.got += c;
        x->SetReadHeld(true);
    };
    p.peerSend("abc");
    ::shutdown(p.peer, SHUT_WR);
    ASSERT_TRUE(waitFor([&] { return p.got == "first\na"; }));
    for (char want : std::string("bc")) {
        settle(50);
        EXPECT_FALSE(p.closed);
        p.seat->SetReadHeld(false);
        ASSERT_TRUE(waitFor([&] { return p.got.back() == want; }));
    }
    p.seat->SetReadHeld(false);
    EXPECT_TRUE(waitFor([&] { return p.closed; }));
}

TEST(WSocketFlow, WaterMarksAndStallLimit)
{
    LoopbackPair p(address(2));
    ASSERT_TRUE(p.connect());
    int small = 8192;
    ::setsockopt(p.seat->HSocket(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    ::setsockopt(p.peer, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    std::vector<bool> levels;
    bool closed = false;
    p.seat->OnSendQueueLevel = [&](TCustomWSocket*, bool above) { levels.push_back(above); };
    p.seat->OnSessionClosed = [&](TCustomWSocket*, uint16_t) { closed = true; };
    p.seat->SetSendWaterMarks(100000, 20000);
    p.seat->SetSendStallTimeout(400);
    const std::string block(50000, 'x');
    for (int i = 0; i < 4; ++i)
        p.seat->Send(block.data(), static_cast<int>(block.size()));
    EXPECT_EQ(levels, std::vector<bool>{true});

    // The peer reads at its pace: the queue falls back, nothing is dropped
    // however long that takes as long as it moves.
    ::fcntl(p.peer, F_SETFL, O_NONBLOCK);
    size_t read = 0;
    QSocketNotifier readable(p.peer, QSocketNotifier::Read);
    QObject::connect(&readable, &QSocketNotifier::activated, [&] {
        char buf[4096]; // small reads, a slow reader
        const ssize_t n = ::recv(p.peer, buf, sizeof buf, 0);
        read += n > 0 ? static_cast<size_t>(n) : 0;
    });
    ASSERT_TRUE(waitFor([&] { return read == 4 * block.size(); }, 10000));
    EXPECT_EQ(levels, (std::vector<bool>{true, false}));
    EXPECT_FALSE(closed);

    // Now it stops reading: the queue stands still and the connection ends.
    readable.setEnabled(false);
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < 4; ++i)
        p.seat->Send(block.data(), static_cast<int>(block.size()));
    ASSERT_TRUE(waitFor([&] { return closed; }, 3000));
    EXPECT_GE(t.elapsed(), 350);
    EXPECT_EQ(p.seat->LastError(), WSAENOBUFS);
}

TEST(WSocketFlow, AStrangerWithTheLinksPortIsNotTheOwnLink)
{
    // The own link: from A to a listener elsewhere (B) on the port that
    // this instance (L) listens on too.
    Listener b(address(12));
    TWSocket listenerL;
    listenerL.SetAddr(address(11));
    listenerL.SetPort(std::to_string(b.port));
    listenerL.Listen();
    std::vector<int> accepted;
    listenerL.OnSessionAvailable = [&](TCustomWSocket* s, uint16_t) { accepted.push_back(s->Accept()); };
    const int link = rawConnect(address(12), b.port, address(10).c_str());
    ASSERT_GE(link, 0);
    sockaddr_in local{};
    socklen_t len = sizeof local;
    ::getsockname(link, reinterpret_cast<sockaddr*>(&local), &len);

    // A stranger from another address, on the link's own port, calls L.
    const int stranger = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in from = ipv4(address(13), ntohs(local.sin_port));
    ASSERT_EQ(::bind(stranger, reinterpret_cast<sockaddr*>(&from), sizeof from), 0);
    sockaddr_in to = ipv4(address(11), b.port);
    ASSERT_EQ(::connect(stranger, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    ASSERT_TRUE(waitFor([&] { return accepted.size() == 1; }));
    EXPECT_FALSE(WSocketSameConnection(accepted[0], link));
    for (int fd : {accepted[0], link, stranger})
        ::close(fd);
}

TEST(WSocketFlow, GatewayOfTheRouteToAnAddress)
{
    // /proc/net/route: addresses as little-endian hexadecimal numbers.
    const std::string table = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\n"
                              "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\n"
                              "eth0\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\n"
                              "wg0\t000010AC\t010010AC\t0003\t0\t0\t0\t0000FFFF\n";
    auto gw = [&](const char* a) {
        in_addr g{WSocketGatewayTo(inet_addr(a), table)};
        return std::string(inet_ntoa(g));
    };
    EXPECT_EQ(gw("203.0.113.11"), "192.168.1.1");
    EXPECT_EQ(gw("192.168.1.20"), "0.0.0.0");
    EXPECT_EQ(gw("172.16.4.4"), "172.16.0.1");
}
