// Addr, Port and Proto parsing, name lookups, error texts and codes.
#include "nettest.h"

#include <netdb.h>

using namespace nettest;

namespace {

const std::string kAddr = "127.10.4.1";

// A 70-character label: the resolver rejects it without asking the network.
const std::string kUnknownHost = std::string(70, 'q') + ".invalid";

} // namespace

TEST(WSocketAddr, PortTexts)
{
    TWSocket s;
    s.SetPort("2200");
    EXPECT_EQ(s.PortNum(), 2200);
    s.SetPort("70000");
    EXPECT_EQ(s.PortNum(), 4464);
    s.SetPort("80x");
    EXPECT_EQ(s.PortNum(), 80);
    s.SetPort(" 81\t");
    EXPECT_EQ(s.PortNum(), 81);
    EXPECT_EQ(s.Port(), " 81\t"); // reads back as written
    s.SetPort("99999999999999999999");
    EXPECT_EQ(s.PortNum(), 65535); // the number modulo 65536
    s.SetPort("telnet");
    EXPECT_EQ(s.PortNum(), 23);

    EXPECT_SOCKET_ERROR(s.SetPort(""), WSAEINVAL, "SetPort: Cannot convert port ''");
    EXPECT_SOCKET_ERROR(s.SetPort("nosuchservice"), WSANO_DATA, "SetPort: Cannot convert port 'nosuchservice'");
    std::string longName(100, 's');
    EXPECT_SOCKET_ERROR(s.SetPort(longName), WSANO_DATA, "SetPort: Cannot convert port '" + longName + "'");
    // Rejected: Port counts as unassigned.
    s.SetAddr(kAddr);
    EXPECT_SOCKET_ERROR(s.Connect(), 0, "Connect: No Port Specified");
}

TEST(WSocketAddr, ProtoTextsChooseStreamOrDatagram)
{
    TWSocket s;
    EXPECT_EQ(s.Proto(), "tcp");
    s.SetProto("udp");
    s.SetAddr(kAddr);
    s.SetPort("0");
    s.Listen();
    EXPECT_EQ(s.State(), wsConnected); // a datagram socket
    s.Close();
    EXPECT_EQ(s.Proto(), "tcp"); // the close set it back
    s.SetProto("6");
    s.SetAddr(kAddr);
    s.SetPort("0");
    s.Listen();
    EXPECT_EQ(s.State(), wsListening);
    s.Close();

    EXPECT_SOCKET_ERROR(s.SetProto(" "), WSAEINVAL, "SetProto: Cannot convert protocol ' '");
    EXPECT_SOCKET_ERROR(s.SetProto("nosuchproto"), WSANO_DATA, "SetProto: Cannot convert protocol 'nosuchproto'");
    s.SetPort("1");
    s.SetAddr(kAddr);
    EXPECT_SOCKET_ERROR(s.Connect(), 0, "Connect: No Protocol Specified");
}

TEST(WSocketAddr, SettersRefuseWhileOpenButKeepTheText)
{
    Listener l(kAddr);
    EXPECT_SOCKET_ERROR(l.srv.SetPort("2201"), 0, "Cannot change Port if not closed");
    EXPECT_EQ(l.srv.Port(), "2201");
    EXPECT_SOCKET_ERROR(l.srv.SetAddr("127.0.0.1"), 0, "Cannot change Addr if not closed");
    EXPECT_SOCKET_ERROR(l.srv.SetProto("udp"), 0, "Cannot change Proto if not closed");
    // Setting the stored text again while assigned is no change at all.
    l.srv.SetPort("2201");
    EXPECT_EQ(l.srv.State(), wsListening);
}

TEST(WSocketAddr, HostTexts)
{
    EXPECT_EQ(WSocketResolveHost("127.0.0.1"), ::inet_addr("127.0.0.1"));
    EXPECT_EQ(WSocketResolveHost(" 127.10.4.9 "), ::inet_addr("127.10.4.9"));
    EXPECT_EQ(WSocketResolveHost("255.255.255.255"), 0xFFFFFFFFu);
    EXPECT_EQ(WSocketResolveHost("localhost"), ::inet_addr("127.0.0.1"));
    EXPECT_SOCKET_ERROR(WSocketResolveHost(kUnknownHost), 0,
                        "SetAddr: Cannot convert host address '" + kUnknownHost + "'");
    std::string tooLong(300, 'h');
    EXPECT_SOCKET_ERROR(WSocketResolveHost(tooLong), 0, "SetAddr: Cannot convert host address '" + tooLong + "'");
    EXPECT_SOCKET_ERROR(WSocketResolveHost(std::string("127.0.0.1\0x", 11)), 0,
                        "SetAddr: Cannot convert host address '" + std::string("127.0.0.1\0x", 11) + "'");
    TWSocket s;
    EXPECT_SOCKET_ERROR(s.SetAddr(""), 0, "SetAddr: Cannot convert host address ''");
    s.SetPort("1");
    EXPECT_SOCKET_ERROR(s.Connect(), 0, "Connect: No IP Address Specified");
}

TEST(WSocketAddr, DnsLookupOfDottedAddressCompletesInsideTheCall)
{
    TWSocket s;
    std::vector<int> events;
    s.OnDnsLookupDone = [&](TCustomWSocket*, uint16_t e) { events.push_back(e); };
    s.DnsLookup("127.0.0.1");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], 0);
    EXPECT_EQ(s.DnsResult(), "127.0.0.1");
    EXPECT_TRUE(s.DnsResultList().empty());
    EXPECT_SOCKET_ERROR(s.DnsLookup(""), 0, "DNS lookup: invalid host name.");
    EXPECT_SOCKET_ERROR(s.DnsLookup(std::string(300, 'n')), 0, "DNS lookup: invalid host name.");
}

TEST(WSocketAddr, AsynchronousLookupsSupersededAndCancelled)
{
    TWSocket s;
    std::vector<int> events;
    s.OnDnsLookupDone = [&](TCustomWSocket*, uint16_t e) { events.push_back(e); };
    s.DnsLookup("localhost");
    EXPECT_TRUE(events.empty()); // answered later
    ASSERT_TRUE(waitFor([&] { return events.size() == 1; }));
    EXPECT_EQ(events[0], 0);
    EXPECT_EQ(s.DnsResult(), "127.0.0.1");
    ASSERT_FALSE(s.DnsResultList().empty());
    EXPECT_EQ(s.DnsResultList()[0], "127.0.0.1");

    // Only the second of two lookups reports.
    events.clear();
    s.DnsLookup(kUnknownHost);
    s.DnsLookup("localhost");
    ASSERT_TRUE(waitFor([&] { return events.size() == 1; }));
    QTest::qWait(200); // nothing to await: a stale answer would arrive now
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], 0);
    EXPECT_EQ(s.DnsResult(), "127.0.0.1");

    // An unknown name fails through the event, not an exception.
    events.clear();
    s.DnsLookup(kUnknownHost);
    ASSERT_TRUE(waitFor([&] { return events.size() == 1; }));
    EXPECT_GE(events[0], WSAHOST_NOT_FOUND);
    EXPECT_LE(events[0], WSANO_DATA);
    EXPECT_EQ(s.DnsResult(), "");

    // Cancelling reports 10004 at once and nothing later.
    events.clear();
    s.DnsLookup("localhost");
    s.CancelDnsLookup();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], WSAEINTR);
    QTest::qWait(200);
    EXPECT_EQ(events.size(), 1u);
    s.CancelDnsLookup(); // nothing pending: nothing happens
    EXPECT_EQ(events.size(), 1u);

    // Destroyed while a lookup runs: no event, no crash.
    {
        TWSocket t;
        t.OnDnsLookupDone = [&](TCustomWSocket*, uint16_t e) { events.push_back(e); };
        t.DnsLookup("localhost");
    }
    QTest::qWait(200);
    EXPECT_EQ(events.size(), 1u);
}

TEST(WSocketAddr, AddressQueriesNeedTheRightState)
{
    TWSocket s;
    EXPECT_EQ(s.GetPeerAddr(), "error");
    EXPECT_EQ(s.GetXPort(), "error");
    sockaddr_in name{};
    EXPECT_EQ(s.GetPeerName(name, sizeof name), -1);
    Listener l(kAddr);
    EXPECT_EQ(l.srv.GetXPort(), std::to_string(l.port));
    EXPECT_EQ(l.srv.GetPeerAddr(), "error");
    int len = sizeof name;
    EXPECT_EQ(l.srv.GetSockName(name, len), 0);
    EXPECT_EQ(ntohs(name.sin_port), l.port);
}

TEST(WSocketAddr, ErrorDescriptionsAndCodeMapping)
{
    // The edges of the table and just outside them.
    EXPECT_EQ(WSocketErrorDesc(0), "No Error");
    EXPECT_EQ(WSocketErrorDesc(WSAEINTR), "Interrupted system call");
    EXPECT_EQ(WSocketErrorDesc(WSANO_DATA), "No Data");
    for (int code : {int(WSABASEERR), WSANO_DATA + 1, -1})
        EXPECT_EQ(WSocketErrorDesc(code), "Not a WinSock error") << code;
    // System errors: a broken pipe is the peer's reset, a connect under way
    // would block, and one with no WinSock name stays unknown.
    EXPECT_EQ(WSocketErrnoToWsa(EPIPE), WSAECONNRESET);
    EXPECT_EQ(WSocketErrnoToWsa(EINPROGRESS), WSAEWOULDBLOCK);
    EXPECT_EQ(WSocketErrorDesc(WSocketErrnoToWsa(EILSEQ)), "Not a WinSock error");
    EXPECT_EQ(WSocketGaiToWsa(EAI_NONAME), WSAHOST_NOT_FOUND);
}

TEST(WSocketAddr, TimerHelpers)
{
    // The microseconds count as much as the seconds.
    TWSocket s;
    TTimeVal usecOnly{0, 1}, a{1, 0}, b{1, 1};
    EXPECT_TRUE(s.TimerIsSet(usecOnly));
    EXPECT_FALSE(s.TimerCmp(a, b, true));
    EXPECT_TRUE(s.TimerCmp(a, b, false));
    s.TimerClear(b);
    EXPECT_FALSE(s.TimerIsSet(b));
}
