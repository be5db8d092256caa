// Dead-link detection: the kernel options on both kinds of chat connection.
#include "nettest.h"
#include "wsockkeepalive.h"

#include <netinet/in.h>
#include <netinet/tcp.h>

using namespace nettest;

namespace {

const std::string kAddr = "127.10.9.1";

int option(int socket, int level, int name)
{
    int value = -1;
    socklen_t len = sizeof value;
    if (::getsockopt(socket, level, name, &value, &len) != 0)
        return -1;
    return value;
}

// What the kernel holds for a socket, as one readable value.
std::string watch(int socket)
{
    return "keepalive " + std::to_string(option(socket, SOL_SOCKET, SO_KEEPALIVE)) + " idle " +
        std::to_string(option(socket, IPPROTO_TCP, TCP_KEEPIDLE)) + " intvl " +
        std::to_string(option(socket, IPPROTO_TCP, TCP_KEEPINTVL)) + " cnt " +
        std::to_string(option(socket, IPPROTO_TCP, TCP_KEEPCNT)) + " user " +
        std::to_string(option(socket, IPPROTO_TCP, TCP_USER_TIMEOUT));
}

int gWarnings = 0;
void countWarnings(QtMsgType type, const QMessageLogContext&, const QString&)
{
    if (type == QtWarningMsg)
        ++gWarnings;
}

} // namespace

// The outgoing link and the accepted seat both get the watch; the variable
// shortens it for tests and a value out of range is ignored.
TEST(WSocketDeadLink, BothEndsCarryTheWatch)
{
    struct Row {
        const char* env; // nullptr: unset
        const char* expected;
    };
    const Row rows[] = {
        {nullptr, "keepalive 1 idle 8 intvl 2 cnt 6 user 19000"},
        {"2", "keepalive 1 idle 1 intvl 1 cnt 1 user 1500"},
        {"1", "keepalive 1 idle 8 intvl 2 cnt 6 user 19000"},
        {"oops", "keepalive 1 idle 8 intvl 2 cnt 6 user 19000"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.env ? row.env : "(unset)");
        if (row.env)
            qputenv("PELMORA_DEADLINK_SECONDS", row.env);
        else
            qunsetenv("PELMORA_DEADLINK_SECONDS");
        Listener l(kAddr);
        TWSocket c;
        connectTo(c, kAddr, l.port);
        ASSERT_TRUE(waitFor([&] { return c.State() == wsConnected && l.accepted.size() == 1; }));
        EXPECT_EQ(watch(c.HSocket()), row.expected);
        EXPECT_EQ(watch(l.accepted[0]->HSocket()), row.expected);
    }
    qunsetenv("PELMORA_DEADLINK_SECONDS");
}

// A socket that refuses the options is left working, with one warning for
// the whole run rather than one per connection.
TEST(WSocketDeadLink, RefusalWarnsOnce)
{
    int udp = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(udp, 0);
    gWarnings = 0;
    QtMessageHandler previous = qInstallMessageHandler(countWarnings);
    EXPECT_FALSE(WSocketWatchDeadLink(udp));
    EXPECT_FALSE(WSocketWatchDeadLink(udp));
    qInstallMessageHandler(previous);
    ::close(udp);
    EXPECT_EQ(gWarnings, 1);
}
