#include "unattended.h"

#include "application.h"
#include "mainwindow.h"
#include "modaldialog.h"
#include "questiondialog.h"
#include "sjis.h"

#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int gSignalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(gSignalPipe[1], &byte, 1);
}

void note(const QString& text)
{
    std::fprintf(stderr, "unattended: %s\n", text.toUtf8().constData());
    std::fflush(stderr);
}

} // namespace

bool StartUnattended(TTWSChatForm& form)
{
    const QString mode = qEnvironmentVariable("PELMORA_UNATTENDED").trimmed().toLower();
    if (mode.isEmpty())
        return false;
    const bool yes = mode != QLatin1String("no");

    TModalDialog::Answerer = [yes](QDialog* d) {
        if (auto* question = qobject_cast<TDialog*>(d)) {
            QString text = sjis::decode(question->Text());
            text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
            note(QStringLiteral("asked: ") + text);
            note(yes ? QStringLiteral("answered: yes") : QStringLiteral("answered: no"));
            return int(yes ? mrOk : mrNo);
        }
        note(QStringLiteral("dismissed: ") + d->windowTitle());
        return int(mrOk);
    };
    TApplication::ExceptionReporter = [](const std::string& message) {
        QString text = sjis::decode(message);
        text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        note(QStringLiteral("error: ") + text);
    };

    // The signal only writes a byte; the event loop does the rest.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gSignalPipe) != 0)
        return true;
    auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, &form);
    QObject::connect(notifier, &QSocketNotifier::activated, &form, [&form, notifier] {
        notifier->setEnabled(false);
        form.K5Click();
        note(QStringLiteral("log saved"));
        form.close();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    return true;
}
