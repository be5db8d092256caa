// A bare line relay, the practical limit of this machine for what a hub
// does: one thread, epoll, accept, read, and write every whole line of a
// read to every other client as one block. It greets a newcomer with a name
// line and the first line of each earlier client, so the load generator
// sees it seated as on a hub; it keeps no seats, roster or limits.
//
//   barerelay ADDRESS PORT
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <unordered_map>

namespace {

struct Conn {
    std::string in, out, name;
};
int ep = -1;
std::unordered_map<int, Conn> conns;

void watch(int fd, bool out)
{
    epoll_event ev{};
    ev.events = EPOLLIN | (out ? uint32_t(EPOLLOUT) : 0u);
    ev.data.fd = fd;
    ::epoll_ctl(ep, EPOLL_CTL_MOD, fd, &ev);
}

void send(int fd, Conn& c, const char* p, size_t n)
{
    if (c.out.empty()) {
        const ssize_t m = ::send(fd, p, n, MSG_NOSIGNAL);
        const size_t sent = m > 0 ? size_t(m) : 0;
        if (sent == n)
            return;
        p += sent;
        n -= sent;
        watch(fd, true);
    }
    c.out.append(p, n);
}

void flush(int fd, Conn& c)
{
    const ssize_t m = ::send(fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
    if (m > 0)
        c.out.erase(0, size_t(m));
    if (c.out.empty())
        watch(fd, false);
}

void drop(int fd)
{
    ::close(fd);
    conns.erase(fd);
}

void readFrom(int fd, Conn& c)
{
    char buf[65536];
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
        return drop(fd);
    if (n < 0)
        return;
    c.in.append(buf, size_t(n));
    const size_t end = c.in.rfind('\n');
    if (end == std::string::npos)
        return;
    if (c.name.empty() && c.in[0] == 'u')
        c.name = c.in.substr(0, c.in.find('\n') + 1);
    for (auto& [other, o] : conns)
        if (other != fd)
            send(other, o, c.in.data(), end + 1);
    c.in.erase(0, end + 1);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: barerelay ADDRESS PORT\n");
        return 2;
    }
    const int lfd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(lfd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(std::atoi(argv[2])));
    ::inet_pton(AF_INET, argv[1], &a.sin_addr);
    if (::bind(lfd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(lfd, 64) != 0) {
        std::perror("barerelay: listen");
        return 1;
    }
    ep = ::epoll_create1(EPOLL_CLOEXEC);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = lfd;
    ::epoll_ctl(ep, EPOLL_CTL_ADD, lfd, &ev);
    epoll_event evs[64];
    for (;;) {
        const int n = ::epoll_wait(ep, evs, 64, -1);
        for (int i = 0; i < n; ++i) {
            const int fd = evs[i].data.fd;
            if (fd == lfd) {
                const int c = ::accept4(lfd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (c < 0)
                    continue;
                ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                std::string greeting = "ubare\n";
                for (auto& [_, o] : conns)
                    greeting += o.name;
                Conn& conn = conns[c];
                epoll_event e{};
                e.events = EPOLLIN;
                e.data.fd = c;
                ::epoll_ctl(ep, EPOLL_CTL_ADD, c, &e);
                send(c, conn, greeting.data(), greeting.size());
                continue;
            }
            auto it = conns.find(fd);
            if (it == conns.end())
                continue;
            if (evs[i].events & EPOLLOUT)
                flush(fd, it->second);
            if (evs[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR))
                readFrom(fd, it->second);
        }
    }
}
