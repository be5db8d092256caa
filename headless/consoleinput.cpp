#include "consoleinput.h"

#include <QSocketNotifier>

#include <cerrno>
#include <unistd.h>

TConsoleInput::TConsoleInput(int fd) : FFd(fd), FNotifier(std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read))
{
    QObject::connect(FNotifier.get(), &QSocketNotifier::activated, [this] { readable(); });
}

TConsoleInput::~TConsoleInput() = default;

void TConsoleInput::Stop()
{
    FNotifier.reset();
}

void TConsoleInput::Pause(bool paused)
{
    if (FNotifier)
        FNotifier->setEnabled(!paused);
}

void TConsoleInput::readable()
{
    char buf[16 * 1024];
    ssize_t n;
    do
        n = ::read(FFd, buf, sizeof buf);
    while (n < 0 && errno == EINTR);
    if (n < 0 && errno == EAGAIN)
        return;
    if (n <= 0) {
        // The last line may lack its LF: it is still a line.
        if (!FPending.isEmpty() && !FDropping)
            FPending.append('\n');
        cutLines();
        Stop();
        if (OnEnd)
            OnEnd();
        return;
    }
    FPending.append(buf, int(n));
    cutLines();
}

void TConsoleInput::cutLines()
{
    int start = 0;
    for (int lf; FNotifier && (lf = FPending.indexOf('\n', start)) >= 0; start = lf + 1) {
        if (FDropping) {
            FDropping = false;
            continue;
        }
        QByteArray line = FPending.mid(start, lf - start);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > kMaxBytes) {
            if (OnTooLong)
                OnTooLong(QString::fromUtf8(line.left(40)));
        } else if (OnLine) {
            OnLine(QString::fromUtf8(line));
        }
    }
    FPending.remove(0, start);
    if (FPending.size() > kMaxBytes && !FDropping) {
        if (OnTooLong)
            OnTooLong(QString::fromUtf8(FPending.left(40)));
        FDropping = true;
    }
    if (FDropping)
        FPending.clear();
}
