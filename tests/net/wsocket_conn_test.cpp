// Connecting, listening, taking over and closing: states and event order.
#include "nettest.h"

using namespace nettest;

namespace {

const std::string kAddr = "127.10.1.1";

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
    s.OnSessionConnected = [&log](TCustomWSocket*, uint16_t e) { log.push_back("connected " + std::to_string(e)); };
    s.OnSessionClosed = [&log](TCustomWSocket*, uint16_t e) { log.push_back("closed " + std::to_string(e)); };
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
    Listener l(kAddr);
    int port = l.port;
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

// Two seats readable in the same turn, each sending on the other from its
// data handler: the write notification that a handler raises for the other
// seat was raised first, so it is reported first; readiness is handed over
// at once only when none of the seat's posted notifications is waiting.
TEST(WSocketConn, ANotificationPostedEarlierIsReportedBeforeLaterData)
{
    LoopbackPair a(kAddr), b(kAddr);
    ASSERT_TRUE(a.connect());
    ASSERT_TRUE(b.connect());
    std::string log;
    const auto watch = [&log](TWSocket& s, TWSocket& other, const std::string& name) {
        s.OnDataSent = [&log, name](TCustomWSocket*, uint16_t) { log += name + " sent;"; };
        s.OnDataAvailable = [&log, &other, name](TCustomWSocket* self, uint16_t) {
            char buf[16];
            if (self->Receive(buf, sizeof buf) > 0) {
                log += name + " data;";
                other.SendStr("x");
            }
        };
    };
    watch(*a.seat, *b.seat, "a");
    watch(*b.seat, *a.seat, "b");
    a.peerSend("1");
    b.peerSend("2");
    ASSERT_TRUE(waitFor([&] { return log.size() >= 28; }));
    settle();
    EXPECT_TRUE(log == "a data;b sent;b data;a sent;" || log == "b data;a sent;a data;b sent;") << log;
}

TEST(WSocketConn, RefusedConnectGivesConnectedWithErrorThenClosed)
{
    TWSocket c;
    std::vector<std::string> log;
    recordEvents(c, log);
    connectTo(c, kAddr, refusingPort(kAddr));
    ASSERT_TRUE(waitFor([&] { return c.State() == wsClosed; }));
    EXPECT_EQ(stateLog(log), "state 7>1;state 1>3;state 3>4;connected 10061;state 4>7;closed 0;");
    EXPECT_EQ(c.HSocket(), INVALID_SOCKET);
    // The close forgot Port and Addr, but Proto stays assigned.
    EXPECT_SOCKET_ERROR(c.Connect(), 0, "Connect: No Port Specified");
    c.SetPort("1");
    EXPECT_SOCKET_ERROR(c.Connect(), 0, "Connect: No IP Address Specified");
}

TEST(WSocketConn, ConnectPreconditionsAndFailuresOfStartingOperations)
{
    Listener l(kAddr);
    int port = l.port;
    TWSocket c;
    connectTo(c, kAddr, port);
    EXPECT_SOCKET_ERROR(c.Connect(), 0, "Connect: Socket already in use");

    TWSocket u;
    EXPECT_SOCKET_ERROR(u.Listen(), WSAEINVAL, "listen: port not assigned");
    u.SetPort("1");
    EXPECT_SOCKET_ERROR(u.Listen(), WSAEINVAL, "listen: address not assigned");
    EXPECT_SOCKET_ERROR(u.Accept(), WSAEINVAL, "not a listening socket");
    EXPECT_SOCKET_ERROR(u.Dup(-1), WSAEINVAL, "Dup");
    EXPECT_SOCKET_ERROR(u.Wait(1, wsConnected), WSANO_DATA, "TWSocket.Wait");
}

TEST(WSocketConn, FailedListenReleasesItsSocket)
{
    Listener l(kAddr);
    int port = l.port;
    int before = openDescriptors();
    TWSocket second;
    second.SetAddr(kAddr);
    second.SetPort(std::to_string(port));
    EXPECT_SOCKET_ERROR(second.Listen(), WSAEADDRINUSE, "Bind");
    EXPECT_EQ(second.State(), wsClosed);
    EXPECT_EQ(second.HSocket(), INVALID_SOCKET);
    EXPECT_EQ(openDescriptors(), before);
    // The settings survive, so the same object can try again once free.
    l.srv.Close();
    EXPECT_EQ(second.Listen(), 0);
    EXPECT_EQ(second.State(), wsListening);
    EXPECT_EQ(second.GetXPort(), std::to_string(port));
    // Listening again while listening is refused, not a leaked socket.
    int held = openDescriptors();
    EXPECT_SOCKET_ERROR(second.Listen(), WSAEINVAL, "Listen");
    EXPECT_EQ(openDescriptors(), held);
    EXPECT_EQ(second.State(), wsListening);
}

TEST(WSocketConn, PeerCloseDeliversDataFirstThenOneSessionClosed)
{
    Listener l(kAddr);
    int port = l.port;
    std::vector<std::string> log;
    std::string got;
    l.prepare = [&](TWSocket& s) {
        s.OnDataAvailable = [&](TCustomWSocket* sender, uint16_t e) {
            char buf[3];
            int n = sender->Receive(buf, sizeof buf); // small reads: several turns
            log.push_back("data " + std::to_string(e) + " " + std::to_string(n));
            if (n > 0)
                got.append(buf, static_cast<size_t>(n));
        };
        s.OnSessionClosed = [&](TCustomWSocket* sender, uint16_t e) {
            log.push_back("closed " + std::to_string(e));
            sender->Close(); // no second event
        };
        s.OnChangeState = [&](TCustomWSocket*, TSocketState, TSocketState n) {
            log.push_back("state " + std::to_string(n));
        };
    };
    l.prepare = l.prepare;
    int peer = rawConnect(kAddr, port);
    ASSERT_GE(peer, 0);
    ASSERT_TRUE(waitFor([&] { return l.accepted.size() == 1; }));
    log.clear();
    ASSERT_EQ(::send(peer, "abcdefgh", 8, 0), 8);
    ::close(peer);
    ASSERT_TRUE(waitFor([&] { return l.accepted[0]->State() == wsClosed; }));
    settle();
    EXPECT_EQ(got, "abcdefgh");
    // Every data event comes before the single close event, and the close
    // notification itself raises one more data event with its error code.
    ASSERT_GE(log.size(), 3u);
    size_t closedAt = 0;
    int closedCount = 0;
    for (size_t i = 0; i < log.size(); ++i)
        if (log[i].rfind("closed", 0) == 0) {
            closedAt = i;
            ++closedCount;
        }
    EXPECT_EQ(closedCount, 1);
    EXPECT_EQ(log[closedAt], "closed 0");
    EXPECT_EQ(log[closedAt - 1], "data 0 0");
    EXPECT_EQ(log.back(), "state 7");
    for (size_t i = 0; i < closedAt; ++i)
        EXPECT_EQ(log[i].rfind("data", 0), 0u) << log[i];
}

TEST(WSocketConn, DupOverLiveConnectionClosesItSilentlyAndStartsClean)
{
    Listener l(kAddr);
    int port = l.port;
    TWSocket seat;
    int closedEvents = 0;
    std::string got;
    seat.OnSessionClosed = [&](TCustomWSocket*, uint16_t) { ++closedEvents; };
    seat.OnDataAvailable = collectInto(got);
    // Hand every caller to the same seat, as the spare socket is used.
    l.srv.OnSessionAvailable = [&](TCustomWSocket* s, uint16_t) { seat.Dup(s->Accept()); };

    int first = rawConnect(kAddr, port);
    ASSERT_TRUE(waitFor([&] { return seat.State() == wsConnected; }));
    TSocket firstHandle = seat.HSocket();
    // Leave bytes queued for the first caller: fill its kernel buffer.
    std::string chunk(65536, 'A');
    while (seat.SendQueueSize() == 0)
        seat.SendStr(chunk);

    int second = rawConnect(kAddr, port);
    ASSERT_TRUE(waitFor([&] { return seat.HSocket() != firstHandle && seat.HSocket() >= 0; }));
    EXPECT_EQ(seat.State(), wsConnected);
    EXPECT_EQ(closedEvents, 0);
    EXPECT_EQ(seat.SendQueueSize(), 0u); // the first caller's bytes are gone
    seat.SendStr("for the second\r\n");
    char buf[64] = {};
    ASSERT_EQ(::recv(second, buf, sizeof buf, 0), 16);
    EXPECT_EQ(std::string(buf, 16), "for the second\r\n");
    // The first caller sees its connection end.
    std::string drained;
    ssize_t n;
    while ((n = ::recv(first, buf, sizeof buf, 0)) > 0)
        drained.append(buf, static_cast<size_t>(n));
    EXPECT_EQ(drained.find("for the second"), std::string::npos);
    ::close(first);
    ::close(second);
}

TEST(WSocketConn, StaleNotificationForReplacedHandleIsIgnored)
{
    Listener l(kAddr);
    int port = l.port;
    TWSocket seat;
    int closedEvents = 0;
    seat.OnSessionClosed = [&](TCustomWSocket*, uint16_t) { ++closedEvents; };
    l.srv.OnSessionAvailable = [&](TCustomWSocket* s, uint16_t) { seat.Dup(s->Accept()); };

    int first = rawConnect(kAddr, port);
    ASSERT_TRUE(waitFor([&] { return seat.State() == wsConnected; }));
    TSocket oldHandle = seat.HSocket();
    uint32_t oldGeneration = seat.Generation();
    int second = rawConnect(kAddr, port); // accepted only after the close below
    seat.Close();
    EXPECT_EQ(closedEvents, 1);
    ASSERT_TRUE(waitFor([&] { return seat.State() == wsConnected; }));
    // POSIX hands out the freed number again at once.
    EXPECT_EQ(seat.HSocket(), oldHandle);
    seat.Handle()->PostSelect(oldHandle, oldGeneration, FD_CLOSE, 0);
    settle();
    EXPECT_EQ(seat.State(), wsConnected);
    EXPECT_EQ(closedEvents, 1);
    // The current generation is honoured.
    seat.Handle()->PostSelect(seat.HSocket(), seat.Generation(), FD_CLOSE, 0);
    ASSERT_TRUE(waitFor([&] { return seat.State() == wsClosed; }));
    EXPECT_EQ(closedEvents, 2);
    ::close(first);
    ::close(second);
}

TEST(WSocketConn, PauseDropsNotificationsAndResumedListenerNoLongerAccepts)
{
    Listener l(kAddr);
    int port = l.port;
    int peer = rawConnect(kAddr, port);
    ASSERT_TRUE(waitFor([&] { return l.accepted.size() == 1; }));
    TWSocket& seat = *l.accepted[0];
    int dataEvents = 0;
    seat.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) {
        ++dataEvents;
        char buf[16];
        s->Receive(buf, sizeof buf);
    };
    ::send(peer, "x", 1, 0);
    ASSERT_TRUE(waitFor([&] { return dataEvents == 1; }));
    // A notification posted before Pause is dropped, not kept for Resume.
    seat.Handle()->PostSelect(seat.HSocket(), seat.Generation(), FD_READ, 0);
    seat.Pause();
    settle();
    seat.Resume();
    settle();
    EXPECT_EQ(dataEvents, 1);
    ::send(peer, "y", 1, 0);
    ASSERT_TRUE(waitFor([&] { return dataEvents == 2; }));

    l.srv.Pause();
    l.srv.Resume();                     // registers read/write/connect/close only
    int late = rawConnect(kAddr, port); // the kernel still completes it
    ASSERT_GE(late, 0);
    QTest::qWait(200); // nothing to await: give a wrongly reported caller time to show
    EXPECT_EQ(l.accepted.size(), 1u);
    ::close(late);
    ::close(peer);
}

TEST(WSocketConn, WaitForStateWithMultiThreadedAndWithWaitControl)
{
    Listener l(kAddr);
    int port = l.port;
    TWSocket c;
    c.SetMultiThreaded(true);
    EXPECT_FALSE(c.Wait(1, wsClosed)); // already there
    connectTo(c, kAddr, port);
    EXPECT_TRUE(c.Wait(5, wsConnected));
    c.Close();

    TWSocket d;
    FakeWait wait;
    d.SetWaitCtrl(&wait);
    connectTo(d, kAddr, port);
    EXPECT_TRUE(d.Wait(5, wsConnected));
    EXPECT_EQ(wait.caption, "5");
    EXPECT_EQ(wait.shown, 1);
    EXPECT_EQ(wait.hidden, 1);
    EXPECT_EQ(wait.result, 1); // stopped by the state change, not timed out

    // A refused attempt ends a wait for wsConnected at once.
    TWSocket e;
    e.SetMultiThreaded(true);
    connectTo(e, kAddr, refusingPort(kAddr));
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(e.Wait(10, wsConnected));
    EXPECT_LT(t.elapsed(), 5000);
}

TEST(WSocketConn, DatagramListenAndConnectAreConnectedAtOnce)
{
    TWSocket srv;
    std::vector<std::string> log;
    recordEvents(srv, log);
    srv.SetProto("udp");
    srv.SetAddr(kAddr);
    srv.SetPort("0");
    srv.Listen();
    EXPECT_EQ(stateLog(log), "state 7>2;state 2>6;state 6>4;connected 0;");
    int port = std::stoi(srv.GetXPort());
    std::string got;
    sockaddr_in from{};
    srv.OnDataAvailable = [&](TCustomWSocket* s, uint16_t) {
        char buf[64];
        int len = sizeof from;
        int n = s->ReceiveFrom(buf, sizeof buf, from, len);
        if (n > 0)
            got.append(buf, static_cast<size_t>(n));
    };

    TWSocket c;
    std::vector<std::string> clog;
    recordEvents(c, clog);
    c.SetLocalAddr("127.10.1.3");
    c.SetProto("17");
    c.SetAddr(kAddr);
    c.SetPort(std::to_string(port));
    c.Connect();
    EXPECT_EQ(stateLog(clog), "state 7>1;state 1>4;connected 0;");
    EXPECT_NE(c.LocalPort(), 0);
    c.SendStr("datagram");
    ASSERT_TRUE(waitFor([&] { return got == "datagram"; }));
    EXPECT_EQ(from.sin_addr.s_addr, ::inet_addr("127.10.1.3"));
    EXPECT_EQ(ntohs(from.sin_port), c.LocalPort());
    EXPECT_EQ(srv.ReadCount(), 8);
}

TEST(WSocketConn, DestroyingRaisesNoEventsAndHandlerMayDeleteItsSocket)
{
    Listener l(kAddr);
    int port = l.port;
    int events = 0;
    {
        TWSocket c;
        connectTo(c, kAddr, port);
        ASSERT_TRUE(waitFor([&] { return c.State() == wsConnected; }));
        c.OnSessionClosed = [&](TCustomWSocket*, uint16_t) { ++events; };
        c.OnChangeState = [&](TCustomWSocket*, TSocketState, TSocketState) { ++events; };
    }
    EXPECT_EQ(events, 0);

    // A seat whose close handler deletes the seat object itself.
    ASSERT_TRUE(waitFor([&] { return l.accepted.size() == 1; }));
    bool deleted = false;
    l.accepted[0]->OnSessionClosed = [&](TCustomWSocket*, uint16_t) {
        deleted = true;
        l.accepted[0].reset(); // the last thing the handler does
    };
    ASSERT_TRUE(waitFor([&] { return deleted; }));
    settle();
}

TEST(WSocketConn, ManyCyclesLeaveNoDescriptorOpen)
{
    int before = openDescriptors();
    {
        Listener l(kAddr);
        int port = l.port;
        std::string got;
        l.prepare = [&](TWSocket& s) { s.OnDataAvailable = collectInto(got); };
        TWSocket c;
        for (int i = 0; i < 200; ++i) {
            connectTo(c, kAddr, port);
            ASSERT_TRUE(waitFor([&] { return c.State() == wsConnected; })) << i;
            c.SendStr("x");
            ASSERT_TRUE(waitFor([&] { return got.size() == static_cast<size_t>(i + 1); })) << i;
            c.Close();
            ASSERT_TRUE(waitFor([&] { return l.accepted.back()->State() == wsClosed; })) << i;
            l.accepted.clear();
        }
    }
    settle();
    EXPECT_EQ(openDescriptors(), before);
}

TEST(WSocketConn, ThrowingCloseHandlerStillEndsTheConnection)
{
    std::vector<std::string> reported;
    auto saved = WSocketExceptionHandler;
    WSocketExceptionHandler = [&](const std::exception& e) { reported.push_back(e.what()); };
    Listener l(kAddr);
    l.prepare = [](TWSocket& s) {
        s.OnSessionClosed = [](TCustomWSocket*, uint16_t) { throw Exception("handler failed"); };
    };
    int peer = rawConnect(kAddr, l.port);
    ASSERT_TRUE(waitFor([&] { return l.accepted.size() == 1; }));
    ::close(peer);
    ASSERT_TRUE(waitFor([&] { return !reported.empty(); }));
    EXPECT_EQ(reported[0], "handler failed");
    EXPECT_EQ(l.accepted[0]->State(), wsClosed);
    EXPECT_EQ(l.accepted[0]->HSocket(), INVALID_SOCKET);
    WSocketExceptionHandler = saved;
}

TEST(WSocketConn, AcceptOutOfDescriptorsIsRetriedLaterNotInALoop)
{
    // Only the exception object is kept while descriptors are short: the
    // sanitizers' own checks need descriptors too.
    std::vector<std::exception_ptr> reported;
    auto saved = WSocketExceptionHandler;
    WSocketExceptionHandler = [&](const std::exception&) { reported.push_back(std::current_exception()); };
    Listener l(kAddr);
    int peer = rawConnect(kAddr, l.port); // waits in the backlog
    rlimit old{};
    ::getrlimit(RLIMIT_NOFILE, &old);
    rlimit low = old;
    int lowestFree = ::dup(0);
    ::close(lowestFree);
    low.rlim_cur = static_cast<rlim_t>(lowestFree); // no room for one more
    ::setrlimit(RLIMIT_NOFILE, &low);
    bool gotReport = waitFor([&] { return !reported.empty(); });
    QTest::qWait(300); // nothing to await: a retry loop would report again here
    size_t reports = reported.size();
    ::setrlimit(RLIMIT_NOFILE, &old);
    ASSERT_TRUE(gotReport);
    EXPECT_EQ(reports, 1u);
    EXPECT_SOCKET_ERROR(std::rethrow_exception(reported[0]), WSAEMFILE, "Accept");
    // Once descriptors are free again the caller is taken after all.
    EXPECT_TRUE(waitFor([&] { return l.accepted.size() == 1; }, 3000));
    ::close(peer);
    WSocketExceptionHandler = saved;
}

TEST(WSocketConn, ConnectionTakenOverInsideCloseHandlerReportsItsOwnClose)
{
    Listener l(kAddr);
    TWSocket seat;
    int closed = 0;
    TSocket waiting = INVALID_SOCKET;
    seat.OnSessionClosed = [&](TCustomWSocket* s, uint16_t) {
        ++closed;
        if (waiting != INVALID_SOCKET) {
            s->Dup(waiting); // the next caller takes the seat at once
            waiting = INVALID_SOCKET;
        }
    };
    int handed = 0;
    l.srv.OnSessionAvailable = [&](TCustomWSocket* s, uint16_t) {
        TSocket h = s->Accept();
        if (handed++ == 0)
            seat.Dup(h);
        else
            waiting = h;
    };
    int first = rawConnect(kAddr, l.port);
    ASSERT_TRUE(waitFor([&] { return seat.State() == wsConnected; }));
    int second = rawConnect(kAddr, l.port);
    ASSERT_TRUE(waitFor([&] { return waiting != INVALID_SOCKET; }));
    ::close(first);
    ASSERT_TRUE(waitFor([&] { return closed == 1; }));
    settle();
    EXPECT_EQ(seat.State(), wsConnected); // the new connection was not closed too
    ::close(second);
    ASSERT_TRUE(waitFor([&] { return closed == 2; })); // and its end is reported
}

TEST(WSocketConn, PeerAddressOfAnEndedConnectionLeavesTheCloseToItsEvent)
{
    Listener l(kAddr);
    int closed = 0;
    l.prepare = [&](TWSocket& s) { s.OnSessionClosed = [&](TCustomWSocket*, uint16_t) { ++closed; }; };
    TWSocket c;
    c.SetLocalAddr("127.10.1.4");
    connectTo(c, kAddr, l.port);
    ASSERT_TRUE(waitFor([&] { return l.accepted.size() == 1; }));
    TWSocket& seat = *l.accepted[0];
    seat.Pause(); // hold the close notification back
    c.Close();    // abortive: the seat's connection is reset
    std::string addr = seat.GetPeerAddr();
    EXPECT_EQ(addr, "error"); // the reset already ended it
    EXPECT_EQ(seat.State(), wsConnected);
    seat.Resume();
    ASSERT_TRUE(waitFor([&] { return closed == 1; }));
    EXPECT_EQ(seat.State(), wsClosed);
}
