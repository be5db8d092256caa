// Program start: the command line first (--help and --version need no
// display), then the main window (it becomes the main window because it is
// created first), then the six dialogs, then the event loop. The window
// shows itself last, which opens the listener.
#include "application.h"
#include "commandline.h"
#include "desktopsetup.h"
#include "dialogs.h"
#include "exception.h"
#include "instancechannel.h"
#include "justone.h"
#include "mainwindow.h"
#include "notifier.h"
#include "trayicon.h"
#include "unattended.h"

#include <QFileInfo>

#include <cstdio>

TTWSChatForm* TWSChatForm = nullptr;

namespace {

void print(std::FILE* to, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), to);
}

} // namespace

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const TCommandLine line = TCommandLine::Parse(arguments);
    if (!line.run) {
        print(stdout, line.out);
        print(stderr, line.err);
        return line.exitCode;
    }

    GuardDisplayStart(arguments.value(0));
    TApplication app(argc, argv);
    EndDisplayStartGuard();
    SetUpDesktop(app);
    try {
        TTWSChatForm form(line.address);
        const QString exeName = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        // Another instance of this executable runs: ask it to show its
        // window, and end without showing anything.
        if (!form.JustOne1->MutexCreated) {
            TInstanceChannel::AskFirstToShow(exeName);
            return 0;
        }
        TInstanceChannel channel;
        channel.Listen(exeName);
        QObject::connect(&channel, &TInstanceChannel::ShowRequested, &form,
                         [&form] { TNotifier::BringToFront(&form); });
        if (TTrayIcon* tray = TTrayIcon::CreateIfAvailable(&form))
            QObject::connect(form.Notices, &TNotifier::UnseenChanged, tray, &TTrayIcon::SetUnseen);
        TWSChatForm = &form;
        CreateDialogs(&form, form.SirSock1);
        StartUnattended(form);
        form.show();
        app.exec();
        TWSChatForm = nullptr;
    } catch (const Exception& e) {
        TApplication::ShowException(e.Message());
    }
    return 0;
}
