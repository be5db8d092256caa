#pragma once
// The shared test kit (Qt Core and POSIX only, so the net and chat tests can
// use it): one bounded wait on the real event loop, loopback peers played
// byte by byte, and small readers of the process's own state.
//
// Every helper returns bool or an AssertionResult and the caller asserts, so a
// failed wait fails the test instead of crashing the run.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testkit {

// Where a render for a person to look at goes: name under build/review/
// (its folder made).
inline QString ReviewFile(const QString& name)
{
    const QString path = qEnvironmentVariable("PELMORA_TEST_BINARY_DIR") + QStringLiteral("/review/") + name;
    QDir().mkpath(QFileInfo(path).path());
    return path;
}

// Turn the event loop until cond() holds; false once timeoutMs has passed.
// Sleeps in the loop between events: a precise single-shot timer is the only
// extra wake-up, at the deadline (no polling tick).
inline bool waitFor(const std::function<bool()>& cond, int timeoutMs = 5000)
{
    QDeadlineTimer deadline(timeoutMs, Qt::PreciseTimer);
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(timeoutMs + 1);
    while (!cond()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
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

// User plus system CPU time of this process, in seconds.
inline double cpuSeconds()
{
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

inline sockaddr_in ipv4(const std::string& addr, int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, addr.c_str(), &a.sin_addr);
    return a;
}

// A plain blocking socket connected to addr:port (from bindAddr when given);
// -1 when refused. Loopback connects complete at once.
inline int rawConnect(const std::string& addr, int port, const char* bindAddr = nullptr)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in b = ipv4(bindAddr ? bindAddr : "", 0);
    sockaddr_in a = ipv4(addr, port);
    if ((bindAddr && ::bind(fd, reinterpret_cast<sockaddr*>(&b), sizeof b) != 0) ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

#ifdef PELMORA_TEST_BLOCK
// Loopback address `host` (1 to 254) of this test file's own block,
// 127.<100 + block>.<net>.<host>: the build gives every test executable its
// own block, so test files started together never listen on the same
// address and port.
inline std::string address(int host, int net = 0)
{
    return "127." + std::to_string(100 + PELMORA_TEST_BLOCK) + "." + std::to_string(net) + "." + std::to_string(host);
}
#endif

// A port that every address of this machine leaves free, chosen by the system,
// so parallel runs of one test binary (other build trees) never meet.
inline int freePort()
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = ipv4("0.0.0.0", 0);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

// A raw peer on loopback: what it receives is collected by a notifier; what is
// written is queued and flushed as the socket allows.
class RawClient {
public:
    std::string received;
    bool eof = false;
    bool reset = false;
    bool reading = true; // false: never read (a peer that does not read)
    // Lines of kind 'e' (an encrypting instance's negotiation) are dropped
    // unread, as an instance that speaks only the six kinds drops them;
    // false keeps every byte.
    bool dropNegotiation = true;

    RawClient() = default;
    explicit RawClient(int fd) { Adopt(fd); }
    ~RawClient() { Close(); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool Connect(const char* addr, int port, const char* bindAddr = nullptr)
    {
        int fd = rawConnect(addr, port, bindAddr);
        if (fd >= 0)
            Adopt(fd);
        return fd >= 0;
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

    // Everything received so far is exactly `bytes`.
    bool WaitFor(const std::string& bytes, int ms = 5000)
    {
        waitFor([&] { return received.size() >= bytes.size(); }, ms);
        return Report(received == bytes, bytes);
    }
    // The next bytes received are exactly `bytes`: consume them. Small lines
    // may arrive late (the sender's Nagle and our delayed ACK), so this waits.
    bool Expect(const std::string& bytes, int ms = 5000)
    {
        waitFor([&] { return received.size() >= bytes.size(); }, ms);
        if (!Report(received.compare(0, bytes.size(), bytes) == 0, bytes))
            return false;
        received.erase(0, bytes.size());
        return true;
    }
    // Drop everything up to and including marker.
    bool SkipThrough(const std::string& marker, int ms = 5000)
    {
        waitFor([&] { return received.find(marker) != std::string::npos; }, ms);
        size_t at = received.find(marker);
        if (!Report(at != std::string::npos, "..." + marker))
            return false;
        received.erase(0, at + marker.size());
        return true;
    }
    bool WaitEof(int ms = 5000)
    {
        return waitFor([&] { return eof || reset; }, ms);
    }
    // Take what arrived so far, including bytes the notifier has not reported
    // yet (the code under test sends synchronously into loopback).
    std::string Take()
    {
        if (FFd >= 0 && reading && FRead && FRead->isEnabled())
            Readable();
        std::string r;
        r.swap(received);
        return r;
    }

    static std::string Shown(const std::string& b)
    {
        std::string shown;
        for (unsigned char ch : b.substr(0, 400))
            shown += ch == '\n' ? std::string("\\n") : ch == '\r' ? std::string("\\r") : std::string(1, char(ch));
        return shown;
    }

private:
    bool Report(bool ok, const std::string& wanted) const
    {
        if (!ok)
            std::fprintf(stderr, "expected: %s\nreceived: %s\n", Shown(wanted).c_str(), Shown(received).c_str());
        return ok;
    }

    void Readable()
    {
        char buf[65536];
        for (;;) {
            ssize_t n = ::recv(FFd, buf, sizeof buf, 0);
            if (n > 0) {
                keep(buf, size_t(n));
                continue;
            }
            bool again = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
            if (n == 0)
                eof = true;
            else if (!again)
                reset = true;
            if (!again)
                FRead->setEnabled(false);
            return;
        }
    }

    void keep(const char* bytes, size_t n)
    {
        if (!dropNegotiation) {
            received.append(bytes, n);
            return;
        }
        for (size_t i = 0; i < n; ++i) {
            const char c = bytes[i];
            if (FLineStart)
                FDropping = c == 'e';
            if (!FDropping)
                received += c;
            FLineStart = c == '\n';
        }
    }

    void Flush()
    {
        while (!FOut.empty() && FFd >= 0) {
            ssize_t n = ::send(FFd, FOut.data(), FOut.size(), MSG_NOSIGNAL);
            if (n <= 0)
                break;
            FOut.erase(0, size_t(n));
        }
        if (FWrite)
            FWrite->setEnabled(!FOut.empty());
    }

    int FFd = -1;
    std::string FOut;
    bool FLineStart = true, FDropping = false;
    std::unique_ptr<QSocketNotifier> FRead;
    std::unique_ptr<QSocketNotifier> FWrite;
};

// A raw listening socket that plays a hub (or a peer answering with a
// redirect): every accepted connection becomes a RawClient in `conns`.
class RawServer {
public:
    std::vector<std::unique_ptr<RawClient>> conns;
    std::function<void(RawClient&)> onAccept;

    bool Listen(const char* addr, int port)
    {
        FFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        int one = 1;
        ::setsockopt(FFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a = ipv4(addr, port);
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

} // namespace testkit
