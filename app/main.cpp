// Program start, and the only place that wires the program together: the
// command line first (--help and --version need no display; --hub runs the
// headless hub and --join the console member, before any GUI application
// object exists), then the
// single-instance guard (a second start asks the first to show itself and
// ends before any window exists), then the main window (it becomes the main
// window because it is created first), the desktop's parts connected to it,
// the six dialogs, and the event loop. The window shows itself last, which
// opens the listener; then it says where the conversations of runs that did
// not end cleanly went. The signals that end a desktop session close the
// window as the user would, without its question; the session manager's save
// request writes the settings.
#include "appearance.h"
#include "application.h"
#include "commandline.h"
#include "desktopsetup.h"
#include "dialogs.h"
#include "exception.h"
#include "hubrun.h"
#include "instancechannel.h"
#include "justone.h"
#include "logfile.h"
#include "logspool.h"
#include "memberrun.h"
#include "mainwindow.h"
#include "notifier.h"
#include "signalwatch.h"
#include "spoolrecovery.h"
#include "trayicon.h"
#include "unattended.h"

#include <QFileInfo>
#include <QSessionManager>

#include <cstdio>

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
    if (!line.forgetHub.isEmpty())
        return ForgetHub(QFileInfo(arguments.value(0)).fileName().toStdString(), line.forgetHub.toStdString());
    if (line.hub) {
        THubOptions hub;
        hub.place = TChatPlace::FromEnvironment();
        hub.place.Override(line.listenAddress.toStdString(), line.port.toStdString());
        hub.nameGiven = line.nameGiven;
        hub.name = line.name.toStdString();
        hub.logDir = line.logDir.toStdString();
        hub.quiet = line.quiet;
        hub.seatsPerAddress = line.seatsPerAddress;
        hub.lineRate = line.lineRate;
        hub.wordFile = line.wordFile.toStdString();
        for (const QString& e : line.deny)
            hub.deny.push_back(e.toStdString());
        for (const QString& e : line.allow)
            hub.allow.push_back(e.toStdString());
        return RunHub(argc, argv, hub);
    }
    if (line.join) {
        TMemberOptions member;
        member.place = TChatPlace::FromEnvironment();
        member.target = line.joinAddress.toStdString();
        member.nameGiven = line.nameGiven;
        member.name = line.name.toStdString();
        member.wordFile = line.wordFile.toStdString();
        return RunMember(argc, argv, member);
    }

    GuardDisplayStart(arguments.value(0));
    TApplication app(argc, argv);
    EndDisplayStartGuard();
    SetUpDesktop(app);
    look::UseOwnLook();

    // One instance per executable file name: another one runs, so ask it to
    // show its window and end without showing anything.
    const QString exeName = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    TJustOne guard(&app);
    if (!guard.MutexCreated) {
        TInstanceChannel::AskFirstToShow(exeName);
        return 0;
    }
    TSignalWatch endOfSession;
    try {
        TTWSChatForm form(line.address);

        TNotifier notices(&form);
        notices.SetEnabled(form.NotifyOn());
        QObject::connect(&form, &TTWSChatForm::NotifyChanged, &notices, &TNotifier::SetEnabled);
        QObject::connect(&form, &TTWSChatForm::EventShown, &notices, &TNotifier::EventShown);
        QObject::connect(&form, &TTWSChatForm::QuestionAsked, &notices, &TNotifier::QuestionAsked);
        if (TTrayIcon* tray = TTrayIcon::CreateIfAvailable(&form))
            QObject::connect(&notices, &TNotifier::UnseenChanged, tray, &TTrayIcon::SetUnseen);

        TInstanceChannel channel;
        channel.Listen(exeName);
        QObject::connect(&channel, &TInstanceChannel::ShowRequested, &form,
                         [&form] { TNotifier::BringToFront(&form); });

        CreateDialogs(&form, form.OwnAddressSource());
        const bool unattended = StartUnattended(form);
        QObject::connect(&endOfSession, &TSignalWatch::Received, &form, [&form, unattended] {
            if (form.isVisible() && unattended)
                SaveLogUnattended(form);
            form.EndSession();
            // Also out of a modal dialog's loop that may be running: its
            // window would otherwise keep the program up.
            QCoreApplication::exit(0);
        });
        QObject::connect(&app, &QGuiApplication::commitDataRequest, &form,
                         [&form](QSessionManager&) { form.WriteSettings(); });
        form.show();
        form.ShowRecovery(RecoverSpools(TLogSpool::DefaultFolders(), exeName, LogFolder()));
        app.exec();
    } catch (const Exception& e) {
        TApplication::ShowException(e.Message());
    }
    return 0;
}
