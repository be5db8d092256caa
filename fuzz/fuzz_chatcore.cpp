// The chat core's handling of received lines, in both roles, over in-memory
// connections: a hub with nine peers seated by its own admission over
// loopback, and a peer whose link to a hub is a socket pair taken over with
// Dup. The input is a series of records: a
// selector byte, a length byte and that many bytes. Selector % 12: 0 feeds
// the peer's link, 1..9 feed seat k of the hub, 10 types a text on the hub
// and sends it, 11 sets the hub's nick. After every input, every byte the
// core sent must form well-formed protocol lines: a known kind, no NUL, at
// most 1022 bytes before the LF.
#include "chatcore.h"
#include "chatview.h"
#include "wsocket.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

// A screen that keeps nothing and says no to every question.
class NullView : public TChatView {
public:
    void ShowEvent(const TChatEvent&) override { }
    void ShowError(const std::string&) override { }
};

// The far end of one connection: what the core sent is read and checked
// line by line; a partial line is kept for the next record.
struct Far {
    int fd = -1;
    std::string partial;

    void take(int newFd)
    {
        if (fd >= 0)
            ::close(fd);
        fd = newFd;
        partial.clear();
    }
    void write(const uint8_t* p, size_t n)
    {
        while (n > 0) {
            ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
            if (w <= 0)
                return; // the core hung up or is full: the rest is lost
            p += w;
            n -= static_cast<size_t>(w);
        }
    }
    void drainAndCheck()
    {
        char buf[65536];
        ssize_t n;
        while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0)
            partial.append(buf, static_cast<size_t>(n));
        size_t start = 0, lf;
        while ((lf = partial.find('\n', start)) != std::string::npos) {
            checkLine(std::string_view(partial).substr(start, lf - start));
            start = lf + 1;
        }
        partial.erase(0, start);
        check(partial.size() <= 1022);
    }
    static void checkLine(std::string_view line)
    {
        check(!line.empty() && std::strchr("uc1snr", line[0]) != nullptr);
        check(line.size() <= 1022);
        check(line.find('\0') == std::string_view::npos);
    }
};

struct World {
    NullView hubView, peerView;
    TChatCore hub{&hubView, "127.0.0.1", "0", "127.0.0.1"};
    TChatCore peer{&peerView, "127.0.0.2", "0", "127.0.0.2"};
    Far seats[TChatCore::kSeats];
    Far link;
    int hubPort = 0;

    World()
    {
        hub.Name = "Hub";
        peer.Name = "Peer";
        // All nine callers come from one loopback address: no per-address
        // share, or the fifth would be turned away.
        hub.Guard.seatsPerAddress = 0;
        hub.StartServer();
        hubPort = std::stoi(hub.SrvWSocket->GetXPort());
        for (int k = 1; k <= TChatCore::kSeats; ++k)
            seat(k);
    }
    // A caller for the free seat k, seated by the hub's own admission.
    void seat(int k)
    {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(hubPort));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        check(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0);
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
        seats[k - 1].take(fd);
        // Bounded: a caller the hub turned away must end the run, not hang it.
        QDeadlineTimer deadline(2000);
        while (hub.Cli(k).State() != wsConnected && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        check(hub.Cli(k).State() == wsConnected);
    }
    void relink()
    {
        int sv[2];
        check(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, sv) == 0);
        link.take(sv[0]);
        peer.CliWSocket->Dup(sv[1]);
        peer.rbServer = false;
    }
};

World* world;

// Let the core read everything waiting on a connection, as the
// data-available loop would.
template <class F>
void deliver(TWSocket& s, F&& handler)
{
    for (int i = 0; i < 8 && s.State() == wsConnected; ++i) {
        int waiting = 0;
        if (::ioctl(s.HSocket(), FIONREAD, &waiting) != 0 || waiting <= 0)
            break;
        handler();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    world = new World;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    World& w = *world;
    for (size_t i = 0; i + 2 <= size;) {
        const int sel = data[i] % 12;
        const size_t n = std::min<size_t>(data[i + 1], size - i - 2);
        const uint8_t* p = data + i + 2;
        i += 2 + n;
        if (sel == 0) {
            if (!w.peer.LinkConnected())
                w.relink();
            w.link.write(p, n);
            deliver(*w.peer.CliWSocket, [&] { w.peer.CliWSocketDataAvailable(0); });
        } else if (sel <= TChatCore::kSeats) {
            for (int k = 1; k <= TChatCore::kSeats; ++k)
                if (w.hub.Cli(k).State() != wsConnected)
                    w.seat(k); // the hub fills its first free seat
            w.seats[sel - 1].write(p, n);
            deliver(w.hub.Cli(sel), [&] { w.hub.CliNWSocketDataAvailable(sel, 0); });
        } else if (sel == 10) {
            w.hub.Say(std::string(reinterpret_cast<const char*>(p), n));
        } else {
            w.hub.Name.assign(reinterpret_cast<const char*>(p), n);
        }
    }
    // The notifications the sends posted (and any readiness) are handled
    // here, so nothing piles up between inputs; endpoints released inside a
    // handler are deleted as the event loop would delete them. What the
    // core sent is checked once per input: the far ends keep partial lines,
    // so the check is the same as after every record.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (Far& f : w.seats)
        f.drainAndCheck();
    w.link.drainAndCheck();
    return 0;
}
