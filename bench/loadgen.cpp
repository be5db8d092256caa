// Load generator for a chat relay: nine clients on one thread (epoll) join a
// hub, either this chat's hub ("pelmora") or an IRC server ("irc", one
// channel), and send lines that carry their send time. Every client reads
// everything; a line counts as one delivery at each client that receives it.
//
//   loadgen --proto pelmora|irc --host 127.0.0.1 --port 2200 [--tls]
//           [--clients 9] [--size 64] [--mode flood|single] [--lines N]
//           [--window W] [--pid PID] [--block-log FILE] [--timeout S]
//   loadgen --probe HOST PORT [--realtime]
//                                 wait until HOST:PORT accepts; print the
//                                 time in ns (monotonic, or the wall clock
//                                 that `date +%s%N` reads) when it did
//
// flood:  every client sends N lines, at most W of them not yet received by
//         all the others; reports deliveries per second over the whole run.
// single: N lines in total, one at a time, the clients taking turns; the next
//         line goes when every other client has the previous one.
// --tls:  every client answers the hub's offer of an encrypted link (the
//         lines of chat/negotiation.h) and speaks TLS 1.3 through OpenSSL
//         with a throwaway certificate from then on, as a Pelmora member does.
// Output: one line of "key=value" fields: deliveries, seconds, per_s, p50_us,
// p99_us, max_us, and with --pid the target's CPU time in ms (cpu_ms) and
// per delivery (cpu_ns_per_delivery) and its resident memory in KiB before
// the first client called (rss0_kib) and with every client seated
// (rss_joined_kib), with --block-log the longest event-loop
// block that the hub logged during the run (block_max_us).
#include "negotiation.h"
#include "tlsidentity.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <string_view>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

int64_t nowNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

[[noreturn]] void die(const std::string& what)
{
    std::fprintf(stderr, "loadgen: %s%s%s\n", what.c_str(), errno ? ": " : "", errno ? std::strerror(errno) : "");
    std::exit(1);
}

struct Options {
    std::string proto = "pelmora";
    std::string host = "127.0.0.1";
    int port = 2200;
    int clients = 9;
    int size = 64;
    std::string mode = "flood";
    long lines = 5000;
    int window = 100;
    int pid = 0;
    std::string blockLog;
    int timeout = 120;
    bool tls = false;
};

struct Client {
    int fd = -1;
    int id = 0;
    std::string in;  // bytes not yet cut into lines
    std::string out; // bytes not yet taken by the kernel
    long sent = 0;   // lines sent
    long names = 0;  // pelmora: name lines received; irc: JOINs seen
    bool welcomed = false;
    // --tls: the session once the hub said go; secure once its handshake
    // is over. OpenSSL reads and writes the socket itself.
    SSL* ssl = nullptr;
    bool secure = false;
    bool wantWrite = false; // TLS must write before it can go on
    bool readWaits = false; // a read that must write first
};

struct Run {
    Options o;
    std::shared_ptr<SSL_CTX> ctx;
    std::vector<Client> c;
    int ep = -1;
    std::vector<long> deliveredFrom; // per sender: deliveries of its lines
    std::vector<int64_t> lat;        // ns
    long deliveries = 0;
    int64_t deadline = 0;

    int connectTo()
    {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(uint16_t(o.port));
        if (inet_pton(AF_INET, o.host.c_str(), &a.sin_addr) != 1)
            die("bad host " + o.host);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            die("connect");
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
        return fd;
    }

    void queue(Client& k, const std::string& bytes)
    {
        k.out += bytes;
        flushOut(k);
    }

    void flushOut(Client& k)
    {
        if (k.secure)
            tlsWrite(k);
        while (!k.secure && !k.out.empty()) {
            ssize_t n = ::send(k.fd, k.out.data(), k.out.size(), MSG_NOSIGNAL);
            if (n < 0) {
                if (errno == EAGAIN || errno == EINTR)
                    break;
                die("send");
            }
            k.out.erase(0, size_t(n));
        }
        watch(k);
    }

    void watch(Client& k)
    {
        epoll_event ev{};
        ev.events = EPOLLIN | (k.out.empty() && !k.wantWrite && !k.readWaits ? 0u : uint32_t(EPOLLOUT));
        ev.data.u32 = uint32_t(k.id);
        ::epoll_ctl(ep, EPOLL_CTL_MOD, k.fd, &ev);
    }

    [[noreturn]] void tlsDie(const Client& k, const char* what)
    {
        char reason[256] = "the server closed the connection";
        if (unsigned long e = ERR_get_error())
            ERR_error_string_n(e, reason, sizeof reason);
        errno = 0;
        die("client " + std::to_string(k.id) + ": " + what + ": " + reason);
    }

    // What TLS takes of k.out, a record at most per call. A write that
    // waits for the socket is retried with the same bytes in front (the
    // buffer may move and grow meanwhile: both allowed by its modes).
    void tlsWrite(Client& k)
    {
        k.wantWrite = false;
        while (!k.out.empty()) {
            ERR_clear_error();
            const int n = SSL_write(k.ssl, k.out.data(), int(std::min<size_t>(k.out.size(), 16384)));
            if (n > 0) {
                k.out.erase(0, size_t(n));
                continue;
            }
            const int e = SSL_get_error(k.ssl, n);
            if (e != SSL_ERROR_WANT_WRITE && e != SSL_ERROR_WANT_READ)
                tlsDie(k, "TLS write");
            break;
        }
    }

    // As recv: bytes, 0 at the end, -1 with EAGAIN when nothing is there.
    ssize_t tlsRead(Client& k, char* buf, size_t size)
    {
        ERR_clear_error();
        const int n = SSL_read(k.ssl, buf, int(size));
        if (n > 0)
            return n;
        const int e = SSL_get_error(k.ssl, n);
        if (e == SSL_ERROR_ZERO_RETURN)
            return 0;
        if (e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE)
            tlsDie(k, "TLS read");
        if (e == SSL_ERROR_WANT_WRITE) {
            k.readWaits = true;
            watch(k);
        }
        errno = EAGAIN;
        return -1;
    }

    // The lines before TLS: the hub's offer is answered, its go starts TLS.
    void negotiate(Client& k, std::string_view line)
    {
        const negotiation::TLine n = negotiation::Parse(line);
        if (n.step == negotiation::TStep::Offer && negotiation::Answer(n.version) > 0) {
            queue(k, negotiation::Build(negotiation::TStep::Accept, negotiation::Answer(n.version)));
        } else if (n.step == negotiation::TStep::Go) {
            k.ssl = SSL_new(ctx.get());
            if (!k.ssl || SSL_set_fd(k.ssl, k.fd) != 1)
                tlsDie(k, "TLS setup");
            SSL_set_mode(k.ssl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
            SSL_set_connect_state(k.ssl);
        } else {
            errno = 0;
            die("client " + std::to_string(k.id) + ": the hub offered no encrypted link: " + std::string(line));
        }
    }

    void handshake(Client& k)
    {
        ERR_clear_error();
        const int r = SSL_do_handshake(k.ssl);
        const int e = r == 1 ? SSL_ERROR_NONE : SSL_get_error(k.ssl, r);
        if (e != SSL_ERROR_NONE && e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE)
            tlsDie(k, "TLS handshake");
        k.secure = r == 1;
        k.wantWrite = e == SSL_ERROR_WANT_WRITE;
        watch(k);
    }

    // A payload of the chosen line size: "@sender seq time " padded with x.
    std::string line(int sender, long seq)
    {
        char head[64];
        int h = std::snprintf(head, sizeof head, "@%d %ld %lld ", sender, seq, static_cast<long long>(nowNs()));
        std::string payload(head, size_t(h));
        int overhead = o.proto == "irc" ? int(std::strlen("PRIVMSG #bench :\r\n")) : 3;
        int pad = o.size - overhead - h;
        if (pad > 0)
            payload.append(size_t(pad), 'x');
        if (o.proto == "irc")
            return "PRIVMSG #bench :" + payload + "\r\n";
        return "1" + payload + "\r\n";
    }

    void onLine(Client& k, const char* s, size_t n)
    {
        if (o.tls && !k.ssl) {
            negotiate(k, std::string_view(s, n));
            return;
        }
        const char* at = static_cast<const char*>(std::memchr(s, '@', n));
        if (o.proto == "pelmora") {
            if (n > 0 && s[0] == 'u')
                ++k.names;
            if (n == 0 || s[0] != '1' || !at || at != s + 1)
                return;
        } else {
            std::string l(s, n);
            if (l.rfind("PING", 0) == 0) {
                queue(k, "PONG" + l.substr(4) + "\r\n");
                return;
            }
            if (l.find(" 001 ") != std::string::npos)
                k.welcomed = true;
            if (l.find(" JOIN ") != std::string::npos)
                ++k.names;
            size_t p = l.find(" PRIVMSG #bench :@");
            if (p == std::string::npos)
                return;
            at = s + p + std::strlen(" PRIVMSG #bench :");
        }
        int sender = 0;
        long seq = 0;
        long long ts = 0;
        if (std::sscanf(at, "@%d %ld %lld", &sender, &seq, &ts) != 3 || sender < 0 || sender >= o.clients)
            return;
        lat.push_back(nowNs() - ts);
        ++deliveredFrom[size_t(sender)];
        ++deliveries;
    }

    void readFrom(Client& k)
    {
        char buf[65536];
        for (;;) {
            ssize_t n = k.secure ? tlsRead(k, buf, sizeof buf) : ::recv(k.fd, buf, sizeof buf, 0);
            if (n < 0) {
                if (errno == EAGAIN || errno == EINTR)
                    break;
                die("recv");
            }
            if (n == 0) {
                errno = 0;
                die("client " + std::to_string(k.id) + ": the server closed the connection");
            }
            // Acknowledge at once: a delayed ACK would hold the server's next
            // small write behind Nagle's algorithm for up to 40 ms.
            int one = 1;
            ::setsockopt(k.fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
            k.in.append(buf, size_t(n));
            size_t start = 0;
            for (;;) {
                size_t lf = k.in.find('\n', start);
                if (lf == std::string::npos)
                    break;
                size_t end = lf;
                if (end > start && k.in[end - 1] == '\r' && o.proto == "irc")
                    --end;
                onLine(k, k.in.data() + start, end - start);
                start = lf + 1;
            }
            k.in.erase(0, start);
            if (k.ssl && !k.secure) {
                // The hub said go and waits for our hello; it sends nothing
                // in the clear after go, so nothing of TLS was read here.
                if (!k.in.empty()) {
                    errno = 0;
                    die("client " + std::to_string(k.id) + ": bytes after the go");
                }
                handshake(k);
                break;
            }
            // TLS may hold more than the kernel: read it dry.
            if (!k.secure && size_t(n) < sizeof buf)
                break;
        }
    }

    // Handle events for up to ms milliseconds.
    void poll(int ms)
    {
        epoll_event evs[32];
        int n = ::epoll_wait(ep, evs, 32, ms);
        for (int i = 0; i < n; ++i) {
            Client& k = c[evs[i].data.u32];
            if (k.ssl && !k.secure) {
                handshake(k);
                continue;
            }
            if (evs[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR))
                readFrom(k);
            if (evs[i].events & EPOLLOUT)
                flushOut(k);
            if (k.readWaits && (evs[i].events & EPOLLOUT)) {
                k.readWaits = false;
                readFrom(k);
            }
        }
        if (nowNs() > deadline) {
            errno = 0;
            die("timed out");
        }
    }

    template <class F>
    void until(F done)
    {
        while (!done())
            poll(50);
    }

    void join()
    {
        ep = ::epoll_create1(EPOLL_CLOEXEC);
        c.resize(size_t(o.clients));
        deliveredFrom.assign(size_t(o.clients), 0);
        for (int i = 0; i < o.clients; ++i) {
            Client& k = c[size_t(i)];
            k.id = i;
            k.fd = connectTo();
            epoll_event ev{};
            ev.events = EPOLLIN;
            ev.data.u32 = uint32_t(i);
            ::epoll_ctl(ep, EPOLL_CTL_ADD, k.fd, &ev);
            std::string nick = "bench" + std::to_string(i);
            if (o.proto == "irc") {
                queue(k, "NICK " + nick + "\r\nUSER " + nick + " 0 * :" + nick + "\r\n");
                until([&] { return k.welcomed; });
                queue(k, "JOIN #bench\r\n");
                // Everyone joined so far, this one included, sees this JOIN.
                until([&] {
                    for (int j = 0; j <= i; ++j)
                        if (c[size_t(j)].names < i - j + 1)
                            return false;
                    return true;
                });
            } else {
                if (o.tls)
                    until([&] { return k.secure; });
                queue(k, "u" + nick + "\n");
                // Seated: the hub's name and the earlier seats' arrived here,
                // and this one's name reached every earlier seat.
                until([&] {
                    if (k.names < 1 + i)
                        return false;
                    for (int j = 0; j < i; ++j)
                        if (c[size_t(j)].names < 1 + i)
                            return false;
                    return true;
                });
            }
        }
        // Let the last announcements (next candidate) arrive.
        int64_t settle = nowNs() + 100000000;
        while (nowNs() < settle)
            poll(10);
    }

    long inFlight(int s) const { return c[size_t(s)].sent - deliveredFrom[size_t(s)] / (o.clients - 1); }

    void flood()
    {
        long target = o.lines * o.clients * (o.clients - 1);
        while (deliveries < target) {
            for (Client& k : c) {
                std::string batch;
                while (k.sent < o.lines && inFlight(k.id) < o.window && k.out.size() < 65536) {
                    batch += line(k.id, k.sent);
                    ++k.sent;
                }
                if (!batch.empty())
                    queue(k, batch);
            }
            poll(5);
        }
    }

    void single()
    {
        const long others = o.clients - 1;
        for (long i = 0; i < o.lines; ++i) {
            Client& k = c[size_t(i % o.clients)];
            long want = deliveries + others;
            queue(k, line(k.id, k.sent++));
            while (deliveries < want)
                poll(50);
        }
    }
};

long rssKiB(int pid)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    long kib = -1;
    while (f >> key)
        if (key == "VmRSS:" && f >> kib)
            break;
    return kib;
}

long cpuMs(int pid)
{
    if (pid <= 0)
        return -1;
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string s((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    size_t p = s.rfind(')');
    if (p == std::string::npos)
        return -1;
    // Fields after the command: state is field 3; utime 14, stime 15.
    std::vector<std::string> fields;
    size_t i = p + 2;
    while (i < s.size()) {
        size_t j = s.find(' ', i);
        if (j == std::string::npos)
            j = s.size();
        fields.push_back(s.substr(i, j - i));
        i = j + 1;
    }
    if (fields.size() < 13)
        return -1;
    long ticks = std::atol(fields[11].c_str()) + std::atol(fields[12].c_str());
    return ticks * 1000 / sysconf(_SC_CLK_TCK);
}

// Longest block logged by the hub ("end_ns duration_us" per line) that ended
// within [from, to].
long longestBlock(const std::string& path, int64_t from, int64_t to)
{
    std::ifstream f(path);
    long long end = 0, us = 0;
    long best = 0;
    while (f >> end >> us)
        if (end >= from && end <= to && us > best)
            best = long(us);
    return best;
}

int probe(const char* host, int port, bool realtime)
{
    int64_t deadline = nowNs() + 10 * 1000000000LL;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    inet_pton(AF_INET, host, &a.sin_addr);
    while (nowNs() < deadline) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
            timespec ts;
            clock_gettime(realtime ? CLOCK_REALTIME : CLOCK_MONOTONIC, &ts);
            std::printf("%lld\n", static_cast<long long>(ts.tv_sec) * 1000000000 + ts.tv_nsec);
            ::close(fd);
            return 0;
        }
        ::close(fd);
        timespec pause{0, 200000};
        nanosleep(&pause, nullptr);
    }
    std::fprintf(stderr, "loadgen: %s:%d never listened\n", host, port);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                errno = 0;
                die("missing value for " + a);
            }
            return argv[++i];
        };
        if (a == "--probe" && i + 2 < argc)
            return probe(argv[i + 1], std::atoi(argv[i + 2]), i + 3 < argc && std::string(argv[i + 3]) == "--realtime");
        if (a == "--proto")
            o.proto = next();
        else if (a == "--host")
            o.host = next();
        else if (a == "--port")
            o.port = std::stoi(next());
        else if (a == "--clients")
            o.clients = std::stoi(next());
        else if (a == "--size")
            o.size = std::stoi(next());
        else if (a == "--mode")
            o.mode = next();
        else if (a == "--lines")
            o.lines = std::stol(next());
        else if (a == "--window")
            o.window = std::stoi(next());
        else if (a == "--pid")
            o.pid = std::stoi(next());
        else if (a == "--block-log")
            o.blockLog = next();
        else if (a == "--timeout")
            o.timeout = std::stoi(next());
        else if (a == "--tls")
            o.tls = true;
        else {
            errno = 0;
            die("unknown option " + a);
        }
    }
    if (o.clients < 2 || o.size < 40 || o.size > 1000 || o.window < 1 || (o.proto != "pelmora" && o.proto != "irc") ||
        (o.mode != "flood" && o.mode != "single") || (o.tls && o.proto != "pelmora")) {
        errno = 0;
        die("bad options (clients >= 2, 40 <= size <= 1000, window >= 1, --tls with pelmora)");
    }
    Run r;
    r.o = o;
    if (o.tls && !(r.ctx = MakeTlsContext(TTlsIdentity::Create()))) {
        errno = 0;
        die("no TLS context");
    }
    r.deadline = nowNs() + int64_t(o.timeout) * 1000000000;
    const long rss0 = o.pid > 0 ? rssKiB(o.pid) : -1;
    r.join();
    const long rssJoined = o.pid > 0 ? rssKiB(o.pid) : -1;
    r.lat.reserve(size_t(o.lines) * size_t(o.clients) * size_t(o.clients));
    long cpu0 = cpuMs(o.pid);
    int64_t t0 = nowNs();
    if (o.mode == "flood")
        r.flood();
    else
        r.single();
    int64_t t1 = nowNs();
    long cpu1 = cpuMs(o.pid);

    std::sort(r.lat.begin(), r.lat.end());
    auto pct = [&](double q) -> double {
        if (r.lat.empty())
            return 0;
        size_t i = std::min(r.lat.size() - 1, size_t(q * double(r.lat.size())));
        return double(r.lat[i]) / 1000.0;
    };
    double secs = double(t1 - t0) / 1e9;
    std::printf("mode=%s proto=%s deliveries=%ld seconds=%.3f per_s=%.0f p50_us=%.1f "
                "p99_us=%.1f max_us=%.1f",
                o.mode.c_str(), o.proto.c_str(), r.deliveries, secs, double(r.deliveries) / secs, pct(0.50), pct(0.99),
                r.lat.empty() ? 0.0 : double(r.lat.back()) / 1000.0);
    if (cpu0 >= 0 && cpu1 >= 0)
        std::printf(" cpu_ms=%ld cpu_ns_per_delivery=%.1f", cpu1 - cpu0,
                    double(cpu1 - cpu0) * 1e6 / double(std::max(1L, r.deliveries)));
    if (rss0 >= 0 && rssJoined >= 0)
        std::printf(" rss0_kib=%ld rss_joined_kib=%ld", rss0, rssJoined);
    if (!o.blockLog.empty())
        std::printf(" block_max_us=%ld", longestBlock(o.blockLog, t0, t1 + 50000000));
    std::printf("\n");
    for (Client& k : r.c) {
        SSL_free(k.ssl);
        ::close(k.fd);
    }
    return 0;
}
