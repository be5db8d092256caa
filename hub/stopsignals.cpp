#include "stopsignals.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int gWriteEnd = -1;
const int kSignals[] = {SIGTERM, SIGINT};

void onSignal(int signo)
{
    const int saved = errno;
    const unsigned char b = static_cast<unsigned char>(signo);
    if (gWriteEnd >= 0)
        (void)!::write(gWriteEnd, &b, 1);
    errno = saved;
}

} // namespace

TStopSignals::TStopSignals(std::function<void(int)> onStop) : FOnStop(std::move(onStop))
{
    if (::pipe2(FPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // no pipe: the signals keep their default, which ends the process
    gWriteEnd = FPipe[1];
    FNotifier = std::make_unique<QSocketNotifier>(FPipe[0], QSocketNotifier::Read);
    QObject::connect(FNotifier.get(), &QSocketNotifier::activated, [this] {
        unsigned char b = 0;
        int signo = 0;
        while (::read(FPipe[0], &b, 1) == 1)
            signo = b;
        if (signo && FOnStop)
            FOnStop(signo);
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : kSignals)
        ::sigaction(s, &sa, nullptr);
}

TStopSignals::~TStopSignals()
{
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    for (int s : kSignals)
        ::sigaction(s, &sa, nullptr);
    gWriteEnd = -1;
    FNotifier.reset();
    for (int fd : FPipe)
        if (fd >= 0)
            ::close(fd);
}
