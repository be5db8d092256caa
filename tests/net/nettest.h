#pragma once
// Helpers shared by the socket tests: bounded waits on the real event loop
// and a listener/caller pair on a loopback address of the test's own.
#include "wsocket.h"

#include <QCoreApplication>
#include <QTest>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <functional>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace nettest {

// Turn the event loop until cond() holds; false after timeoutMs.
inline bool waitFor(const std::function<bool()>& cond, int timeoutMs = 5000)
{
    return QTest::qWaitFor(cond, timeoutMs);
}

// Let already posted notifications run (no sleeping involved).
inline void settle(int turns = 20)
{
    for (int i = 0; i < turns; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

inline int openDescriptors()
{
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (::readdir(d))
            ++n;
        ::closedir(d);
    }
    return n;
}

// A listening component with OnSessionAvailable handing each caller to a
// fresh TWSocket in `accepted`.
struct Listener {
    TWSocket srv;
    std::vector<std::unique_ptr<TWSocket>> accepted;
    std::function<void(TWSocket&)> prepare; // called before Dup

    Listener(const std::string& addr, int port)
    {
        srv.SetAddr(addr);
        srv.SetPort(std::to_string(port));
        srv.SetProto("tcp");
        srv.OnSessionAvailable = [this](TCustomWSocket* sender, uint16_t) {
            auto s = std::make_unique<TWSocket>();
            if (prepare)
                prepare(*s);
            s->Dup(sender->Accept());
            accepted.push_back(std::move(s));
        };
        srv.Listen();
    }
};

// A plain blocking POSIX socket connected to addr:port, for peers whose
// behaviour the test controls byte by byte.
inline int rawConnect(const std::string& addr, int port)
{
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = ::inet_addr(addr.c_str());
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(s);
        return -1;
    }
    return s;
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
