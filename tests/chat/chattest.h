#pragma once
// Helpers of the chat tests: a fake view that records what the core told it
// and answers questions from a script, and raw loopback sockets that play
// peers and hubs byte by byte. Everything is event driven: reads come from
// socket notifiers, waits are QTest::qWaitFor with a time limit.

#include "chatcore.h"
#include "chatview.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <QTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Wait for a condition while the event loop runs; false on time-out. The
// condition is checked after every batch of events (a guard tick makes
// sure the wait wakes up to notice the time limit).
inline bool waitFor(const std::function<bool()>& cond, int ms = 5000)
{
    QDeadlineTimer deadline(ms);
    QTimer guard;
    guard.start(20);
    while (!cond()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

class FakeView : public TChatView {
public:
    std::vector<std::string> lines;
    std::array<std::string, 9> roster;
    std::string caption;
    int rosterShows = 0;
    bool k8 = true, k9 = false, edit = false;
    int focus = 0;
    std::vector<std::string> questions;
    std::deque<int> answers;           // next answers; empty = no (7)
    std::function<void()> whileAsking; // runs while a question is open
    std::vector<std::string> errors;
    int connectResult = 1;
    std::string connectTarget;
    std::string message;
    int cleared = 0;
    bool keepLines = true;
    size_t lineCount = 0;

    void AddLine(const std::string& text) override
    {
        ++lineCount;
        if (keepLines)
            lines.push_back(text);
    }
    void ShowRoster(const std::array<std::string, 9>& names, const std::string& c) override
    {
        roster = names;
        caption = c;
        ++rosterShows;
    }
    void SetConnectEnabled(bool e) override { k8 = e; }
    void SetDisconnectEnabled(bool e) override { k9 = e; }
    void SetMessageEditEnabled(bool e) override { edit = e; }
    void FocusMessageEdit() override { ++focus; }
    int AskQuestion(const std::string& text) override
    {
        questions.push_back(text);
        if (whileAsking)
            whileAsking();
        if (answers.empty())
            return 7;
        int a = answers.front();
        answers.pop_front();
        return a;
    }
    void ShowError(const std::string& text) override { errors.push_back(text); }
    int RunConnectDialog(std::string& target) override
    {
        target = connectTarget;
        return connectResult;
    }
    std::string MessageText() override { return message; }
    void ClearMessageText() override
    {
        message.clear();
        ++cleared;
    }

    bool hasLine(const std::string& s) const
    {
        for (const auto& l : lines)
            if (l == s)
                return true;
        return false;
    }
};

// A raw TCP connection on loopback: what it receives is collected by a
// notifier; what is written is queued and flushed as the socket allows.
class RawClient {
public:
    std::string received;
    bool eof = false;
    bool reset = false;
    bool reading = true; // false: never read (a peer that does not read)

    RawClient() = default;
    explicit RawClient(int fd) { Adopt(fd); }
    ~RawClient() { Close(); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    // Blocking connect from bindAddr to addr:port; loopback completes at once.
    bool Connect(const char* addr, int port, const char* bindAddr = nullptr)
    {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        if (bindAddr) {
            sockaddr_in b{};
            b.sin_family = AF_INET;
            inet_pton(AF_INET, bindAddr, &b.sin_addr);
            if (::bind(fd, reinterpret_cast<sockaddr*>(&b), sizeof b) != 0) {
                ::close(fd);
                return false;
            }
        }
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        inet_pton(AF_INET, addr, &a.sin_addr);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(fd);
            return false;
        }
        Adopt(fd);
        return true;
    }

    void Adopt(int fd)
    {
        FFd = fd;
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        FRead = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(FRead.get(), &QSocketNotifier::activated, [this] { Readable(); });
        FWrite = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
        FWrite->setEnabled(false);
        QObject::connect(FWrite.get(), &QSocketNotifier::activated, [this] { Flush(); });
    }

    void Send(const std::string& bytes)
    {
        FOut += bytes;
        Flush();
    }
    size_t Unsent() const { return FOut.size(); }

    void StopReading()
    {
        reading = false;
        if (FRead)
            FRead->setEnabled(false);
    }

    // Close abortively: the other side sees a reset.
    void Reset()
    {
        if (FFd < 0)
            return;
        linger l{1, 0};
        ::setsockopt(FFd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        Close();
    }

    void Close()
    {
        FRead.reset();
        FWrite.reset();
        if (FFd >= 0)
            ::close(FFd);
        FFd = -1;
    }

    bool Open() const { return FFd >= 0; }

    bool WaitFor(const std::string& bytes, int ms = 5000)
    {
        waitFor([&] { return received.size() >= bytes.size(); }, ms);
        if (received == bytes)
            return true;
        std::fprintf(stderr, "received %zu bytes: %s\n", received.size(), Shown(received).c_str());
        return false;
    }
    // The next bytes received are exactly `bytes`: consume them. Small
    // lines may arrive late (the sender's Nagle and our delayed ACK), so
    // this waits for them.
    bool Expect(const std::string& bytes, int ms = 5000)
    {
        waitFor([&] { return received.size() >= bytes.size(); }, ms);
        if (received.compare(0, bytes.size(), bytes) == 0) {
            received.erase(0, bytes.size());
            return true;
        }
        std::fprintf(stderr, "expected: %s\n", Shown(bytes).c_str());
        std::fprintf(stderr, "received: %s\n", Shown(received).c_str());
        return false;
    }
    // Drop everything up to and including marker.
    bool SkipThrough(const std::string& marker, int ms = 5000)
    {
        waitFor([&] { return received.find(marker) != std::string::npos; }, ms);
        size_t at = received.find(marker);
        if (at == std::string::npos)
            return false;
        received.erase(0, at + marker.size());
        return true;
    }
    static std::string Shown(const std::string& b)
    {
        std::string shown;
        for (unsigned char ch : b.substr(0, 400))
            shown += ch == '\n' ? std::string("\\n") : ch == '\r' ? std::string("\\r") : std::string(1, char(ch));
        return shown;
    }

    bool WaitEof(int ms = 5000)
    {
        return waitFor([&] { return eof || reset; }, ms);
    }
    // Take what arrived so far, including bytes the notifier has not
    // reported yet (the core sends synchronously into loopback).
    std::string Take()
    {
        if (FFd >= 0 && reading && FRead && FRead->isEnabled())
            Readable();
        std::string r;
        r.swap(received);
        return r;
    }

private:
    void Readable()
    {
        char buf[65536];
        for (;;) {
            ssize_t n = ::recv(FFd, buf, sizeof buf, 0);
            if (n > 0) {
                received.append(buf, size_t(n));
                continue;
            }
            if (n == 0)
                eof = true;
            else if (errno != EAGAIN && errno != EWOULDBLOCK)
                reset = true;
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK))
                FRead->setEnabled(false);
            return;
        }
    }

    void Flush()
    {
        while (!FOut.empty() && FFd >= 0) {
            ssize_t n = ::send(FFd, FOut.data(), FOut.size(), MSG_NOSIGNAL);
            if (n > 0) {
                FOut.erase(0, size_t(n));
                continue;
            }
            break;
        }
        if (FWrite)
            FWrite->setEnabled(!FOut.empty());
    }

    int FFd = -1;
    std::string FOut;
    std::unique_ptr<QSocketNotifier> FRead;
    std::unique_ptr<QSocketNotifier> FWrite;
};

// A raw listening socket that plays a hub (or a peer answering with a
// redirect): every accepted connection becomes a RawClient.
class RawServer {
public:
    std::vector<std::unique_ptr<RawClient>> conns;

    bool Listen(const char* addr, int port)
    {
        FFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        int one = 1;
        ::setsockopt(FFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        inet_pton(AF_INET, addr, &a.sin_addr);
        if (::bind(FFd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(FFd, 16) != 0)
            return false;
        FNotifier = std::make_unique<QSocketNotifier>(FFd, QSocketNotifier::Read);
        QObject::connect(FNotifier.get(), &QSocketNotifier::activated, [this] {
            int c;
            while ((c = ::accept4(FFd, nullptr, nullptr, SOCK_CLOEXEC)) >= 0) {
                conns.push_back(std::make_unique<RawClient>(c));
                if (onAccept)
                    onAccept(*conns.back());
            }
        });
        return true;
    }
    std::function<void(RawClient&)> onAccept;

    ~RawServer()
    {
        conns.clear();
        FNotifier.reset();
        if (FFd >= 0)
            ::close(FFd);
    }

    bool WaitConns(size_t n, int ms = 5000)
    {
        return waitFor([&] { return conns.size() >= n; }, ms);
    }

private:
    int FFd = -1;
    std::unique_ptr<QSocketNotifier> FNotifier;
};

// An in-band barrier: the hub speaks a marker line to every seat; each
// client drops what it received up to and including it.
inline bool sync(TChatCore& hub, FakeView& view, const std::vector<RawClient*>& clients)
{
    static int n = 0;
    const std::string marker = "#sync" + std::to_string(++n);
    view.message = marker;
    hub.SendButtonClick();
    bool ok = true;
    for (RawClient* c : clients)
        ok = c->SkipThrough(hub.Name + "> " + marker + "\r\n") && ok;
    return ok;
}

// The port every instance of this test process listens on and joins. The
// system picks one that is free on every address, once per process, so
// copies of the same test run in parallel (other build trees) never meet.
inline int freePort()
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}
inline int testPort()
{
    static const int port = freePort();
    return port;
}
inline std::string testPortText() { return std::to_string(testPort()); }

// A chat core with its fake view, listening on addr:port, own address addr.
struct Node {
    FakeView view;
    TChatCore core;
    Node(const std::string& addr, const std::string& name, const std::string& port = testPortText())
        : core(&view, addr, port, addr)
    {
        core.Name = name;
        core.StartServer();
    }
    int seated() const
    {
        int n = 0;
        for (int k = 1; k <= TChatCore::kSeats; ++k)
            n += core.SeatConnected(k);
        return n;
    }
};
