// Connecting, listening, taking over and closing: states and event order.
#include "nettest.h"

using namespace nettest;

namespace {

const std::string kAddr = "127.10.1.1";
int nextPort = 23100;

std::string stateLog(std::vector<std::string>& log)
{
    std::string all;
    for (auto& s : log)
        all += s + ";";
    return all;
}

void recordEvents(TWSocket& s, std::vector<std::string>& log)
{
    s.OnChangeState = [&log](TCustomWSocket*, TSocketState o, TSocketState n) {
        log.push_back("state " + std::to_string(o) + ">" + std::to_string(n));
    };
    s.OnSessionConnected = [&log](TCustomWSocket*, uint16_t e) {
        log.push_back("connected " + std::to_string(e));
    };
    s.OnSessionClosed = [&log](TCustomWSocket*, uint16_t e) {
        log.push_back("closed " + std::to_string(e));
    };
}

} // namespace

TEST(WSocketConn, NewObjectIsClosedAndCloseDoesNothing)
{
    TWSocket s;
    std::vector<std::string> log;
    recordEvents(s, log);
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(s.HSocket(), INVALID_SOCKET);
    s.Close();
    EXPECT_TRUE(log.empty());
}

TEST(WSocketConn, ConnectAcceptSendReceiveClose)
{
    int port = nextPort++;
    Listener l(kAddr, port);
    EXPECT_EQ(l.srv.State(), wsListening);

    TWSocket c;
    std::vector<std::string> log;
    recordEvents(c, log);
    std::string got;
    c.SetLocalAddr("127.10.1.2"); // the hub sees the caller under this address
    connectTo(c, kAddr, port);
    EXPECT_EQ(c.State(), wsConnecting);
    ASSERT_TRUE(waitFor([&] { return c.State() == wsConnected && l.accepted.size() == 1; }));
    EXPECT_EQ(stateLog(log), "state 7>1;state 1>3;state 3>4;connected 0;");

    TWSocket& seat = *l.accepted[0];
    EXPECT_EQ(seat.State(), wsConnected);
    EXPECT_EQ(seat.GetPeerAddr(), "127.10.1.2");
    seat.OnDataAvailable = collectInto(got);
    EXPECT_EQ(c.SendStr("hello\r\n"), 7);
    ASSERT_TRUE(waitFor([&] { return got == "hello\r\n"; }));

    log.clear();
    c.Close();
    // Raised inside Close, once.
    EXPECT_EQ(stateLog(log), "state 4>7;closed 0;");
    EXPECT_EQ(c.State(), wsClosed);
    EXPECT_EQ(c.HSocket(), INVALID_SOCKET);
    settle();
    EXPECT_EQ(stateLog(log), "state 4>7;closed 0;");
}
