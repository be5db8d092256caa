#pragma once
// Helpers of the socket tests on top of the shared kit: a listening
// component, a refusing port and a wait control without a window.
#include "socketerror.h"
#include "testkit.h"
#include "wsocket.h"
#include "wsockendpoint.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace nettest {

using namespace testkit;

// A listening component with OnSessionAvailable handing each caller to a
// fresh TWSocket in `accepted`.
struct Listener {
    TWSocket srv;
    std::vector<std::unique_ptr<TWSocket>> accepted;
    std::function<void(TWSocket&)> prepare; // called before Dup

    int port = 0;

    // Port 0 lets the system choose, so that two copies of a test binary
    // (other worktrees) never meet; `port` is the one chosen.
    explicit Listener(const std::string& addr, int wantedPort = 0)
    {
        srv.SetAddr(addr);
        srv.SetPort(std::to_string(wantedPort));
        srv.SetProto("tcp");
        srv.OnSessionAvailable = [this](TCustomWSocket* sender, uint16_t) {
            auto s = std::make_unique<TWSocket>();
            if (prepare)
                prepare(*s);
            s->Dup(sender->Accept());
            accepted.push_back(std::move(s));
        };
        srv.Listen();
        port = std::stoi(srv.GetXPort());
    }
};

// A seat (the TWSocket the listener handed the caller to) and the caller, a
// raw blocking socket the test writes and reads byte by byte.
struct LoopbackPair {
    Listener l;
    int peer = -1;
    TWSocket* seat = nullptr;

    explicit LoopbackPair(const std::string& addr) : l(addr), FAddr(addr) { }
    ~LoopbackPair()
    {
        if (peer >= 0)
            ::close(peer);
    }
    // prepare runs on the seat before it takes the connection.
    ::testing::AssertionResult connect(const std::function<void(TWSocket&)>& prepare = nullptr)
    {
        l.prepare = prepare;
        peer = rawConnect(FAddr, l.port);
        if (peer < 0)
            return ::testing::AssertionFailure() << "the caller could not connect";
        if (!waitFor([&] { return l.accepted.size() == 1; }))
            return ::testing::AssertionFailure() << "the listener did not take the caller";
        seat = l.accepted[0].get();
        settle(); // the first write notification of the new connection
        return ::testing::AssertionSuccess();
    }
    void peerSend(const std::string& s) { ASSERT_EQ(::send(peer, s.data(), s.size(), 0), (ssize_t)s.size()); }

private:
    std::string FAddr;
};

// A port on addr where nobody listens (held bound, so nobody can).
inline int refusingPort(const std::string& addr)
{
    static std::vector<int> held;
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = ipv4(addr, 0);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    held.push_back(s);
    return ntohs(a.sin_port);
}

inline void connectTo(TWSocket& c, const std::string& addr, int port)
{
    c.SetAddr(addr);
    c.SetPort(std::to_string(port));
    c.SetProto("tcp");
    c.Connect();
}

// Read everything currently available into a string (Receive inside
// OnDataAvailable), for use as an OnDataAvailable handler.
inline TDataAvailable collectInto(std::string& out)
{
    return [&out](TCustomWSocket* s, uint16_t) {
        char buf[4096];
        int n = s->Receive(buf, sizeof buf);
        if (n > 0)
            out.append(buf, static_cast<size_t>(n));
    };
}

} // namespace nettest

namespace nettest {

// A wait control without a window: counts down the caption's seconds on a
// timer and records what the component asked of it.
struct FakeWait : TWaitControl {
    std::string caption;
    int shown = 0, hidden = 0, started = 0, stopped = 0;
    bool running = false;
    int result = 0;

    void SetCaption(const std::string& c) override { caption = c; }
    void Show() override { ++shown; }
    void Hide() override { ++hidden; }
    void Start() override
    {
        ++started;
        running = true;
    }
    void Stop() override
    {
        ++stopped;
        running = false;
        result = 1;
    }
    bool Running() const override { return running; }
    int StartModal() override
    {
        result = 0;
        Start();
        QDeadlineTimer deadline(std::stoi(caption) * 1000, Qt::PreciseTimer);
        while (running && !deadline.hasExpired())
            TCustomWSocket::WaitForEvents(deadline);
        if (running) {
            running = false;
            result = 2;
        }
        return result;
    }
};

} // namespace nettest
