#include "signalwatch.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <iterator>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int gPipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
// Whether each of kSignals was ignored when the watch began, so the watch
// neither catches it nor puts it back to the default afterwards.
bool gIgnored[std::size(kSignals)] = {};

void onSignal(int signal)
{
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(gPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

TSignalWatch::TSignalWatch(QObject* parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gPipe) != 0)
        return;
    FNotifier = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TSignalWatch::drain);
    struct sigaction action { };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        // A hang-up ignored by whoever started us (nohup, a service
        // manager) stays ignored: the program is meant to outlive its
        // terminal. The others end the session however they were set.
        struct sigaction before { };
        ::sigaction(kSignals[i], nullptr, &before);
        gIgnored[i] = kSignals[i] == SIGHUP && before.sa_handler == SIG_IGN;
        if (!gIgnored[i])
            ::sigaction(kSignals[i], &action, nullptr);
    }
}

TSignalWatch::~TSignalWatch()
{
    if (!FNotifier)
        return;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        if (!gIgnored[i])
            std::signal(kSignals[i], SIG_DFL);
    delete FNotifier;
    ::close(gPipe[0]);
    ::close(gPipe[1]);
    gPipe[0] = gPipe[1] = -1;
}

void TSignalWatch::drain()
{
    char bytes[16];
    ssize_t n;
    while ((n = ::read(gPipe[0], bytes, sizeof bytes)) > 0 || (n < 0 && errno == EINTR))
        for (ssize_t i = 0; i < n; ++i)
            emit Received(bytes[i]);
}
