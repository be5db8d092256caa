#pragma once
// `pelmora --hub` as a child process, started with no display variable and
// no platform named, so it must run without any: its journal (standard
// output, UTF-8) is collected while the test waits; stopping it by a signal
// gives its exit code. Needs PELMORA_PATH, the program built beside the test.

#include "testkit.h"

#include <QProcess>

#include <csignal>
#include <string>

namespace testkit {

class HeadlessHub {
public:
    std::string journal; // standard output so far
    std::string errors;  // standard error so far

    ~HeadlessHub() { Stop(SIGKILL); }

    // Starts it on addr:port as nick (UTF-8) with the extra arguments, and
    // waits until it listens (its first journal line) or has ended.
    bool Start(const std::string& addr, int port, const std::string& nick, const QStringList& extra = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "PELMORA_ADDRESS", "PELMORA_PORT",
                              "PELMORA_HUB_NAME"})
            env.remove(QLatin1String(v));
        FProcess.setProcessEnvironment(env);
        QObject::connect(&FProcess, &QProcess::readyReadStandardOutput,
                         [this] { journal += FProcess.readAllStandardOutput().toStdString(); });
        QObject::connect(&FProcess, &QProcess::readyReadStandardError,
                         [this] { errors += FProcess.readAllStandardError().toStdString(); });
        FProcess.start(QStringLiteral(PELMORA_PATH),
                       QStringList{QStringLiteral("--hub"), QStringLiteral("--address"), QString::fromStdString(addr),
                                   QStringLiteral("--port"), QString::number(port), QStringLiteral("--name"),
                                   QString::fromStdString(nick)} +
                           extra);
        return waitFor([&] { return !journal.empty() || FProcess.state() == QProcess::NotRunning; }, 10000) &&
               FProcess.state() == QProcess::Running;
    }

    // A journal line reads exactly text after its time stamp.
    bool Shows(const std::string& text, int ms = 5000)
    {
        return waitFor([&] { return journal.find(" " + text + "\n") != std::string::npos; }, ms);
    }

    // Sends signo and waits for the end: the exit code, -1 for a crash or
    // a kill, -2 when it did not end.
    int Stop(int signo = SIGTERM)
    {
        if (Running() && signo)
            ::kill(static_cast<pid_t>(FProcess.processId()), signo);
        if (!waitFor([&] { return FProcess.state() == QProcess::NotRunning; }, 10000))
            return -2;
        return FProcess.exitStatus() == QProcess::NormalExit ? FProcess.exitCode() : -1;
    }

    void Signal(int signo)
    {
        if (Running())
            ::kill(static_cast<pid_t>(FProcess.processId()), signo);
    }

    bool Running() const { return FProcess.state() == QProcess::Running; }

private:
    QProcess FProcess;
};

} // namespace testkit
