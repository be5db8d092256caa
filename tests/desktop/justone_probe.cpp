// A stand-in program for the single-instance tests: it takes the guard as
// the real program does, says whether it holds it, and then runs its event
// loop until its standard input closes (or the guard's quit request ends it).
// The first one also listens for a second start's request to show itself
// and says "raise" when it gets one.
#include "instancechannel.h"
#include "justone.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    TJustOne guard(&app);
    std::printf("%s\n", guard.MutexCreated ? "first" : "second");
    std::fflush(stdout);
    TInstanceChannel channel;
    if (guard.MutexCreated)
        channel.Listen(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    QObject::connect(&channel, &TInstanceChannel::ShowRequested, [] {
        std::printf("raise\n");
        std::fflush(stdout);
    });
    QSocketNotifier in(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&in, &QSocketNotifier::activated, &app, [&] {
        char buf[64];
        if (::read(STDIN_FILENO, buf, sizeof buf) <= 0)
            app.quit();
    });
    return app.exec() == 0 ? 0 : 1;
}
