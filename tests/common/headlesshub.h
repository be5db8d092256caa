#pragma once
// The program without a window as a child process, started with no display
// variable and no platform named, so it must run without any: `pelmora
// --hub` (HeadlessHub) and `pelmora --join` (ConsoleMember). Its journal
// (standard output, UTF-8) and errors are collected while the test waits;
// stopping it by a signal, or waiting for its own end, gives its exit code.
// Needs PELMORA_PATH, the program built beside the test.

#include "testkit.h"

#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <string>

namespace testkit {

class HeadlessChild {
public:
    std::string journal; // standard output so far
    std::string errors;  // standard error so far
    QStringList env;     // more of the environment ("NAME=value") for Launch

    virtual ~HeadlessChild() { Stop(SIGKILL); }

    // Starts the program with args, the environment's PELMORA_ and display
    // variables replaced by env ("NAME=value"). Its key and pinned keys
    // live in a data folder of its own (DataDir) unless env names one.
    bool Launch(const QStringList& args, const QStringList& env = {})
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "PELMORA_ADDRESS", "PELMORA_PORT",
                              "PELMORA_HUB_NAME", "PELMORA_ENCRYPT"})
            e.remove(QLatin1String(v));
        e.insert(QStringLiteral("XDG_DATA_HOME"), FData.path());
        for (const QString& v : env + this->env)
            e.insert(v.section(QLatin1Char('='), 0, 0), v.section(QLatin1Char('='), 1));
        FProcess.setProcessEnvironment(e);
        QObject::connect(&FProcess, &QProcess::readyReadStandardOutput,
                         [this] { journal += FProcess.readAllStandardOutput().toStdString(); });
        QObject::connect(&FProcess, &QProcess::readyReadStandardError,
                         [this] { errors += FProcess.readAllStandardError().toStdString(); });
        FProcess.start(QStringLiteral(PELMORA_PATH), args);
        return FProcess.waitForStarted(10000);
    }

    // A journal line reads exactly text after its time stamp.
    bool Shows(const std::string& text, int ms = 5000)
    {
        // An arrival's line ends in the member's address, in brackets.
        return waitFor(
            [&] {
                return journal.find(" " + text + "\n") != std::string::npos ||
                    journal.find(" " + text + " (") != std::string::npos;
            },
            ms);
    }

    // Standard input: UTF-8 text, and its end.
    void Type(const std::string& text) { FProcess.write(text.data(), qint64(text.size())); }
    void EndInput() { FProcess.closeWriteChannel(); }

    // Sends signo (0: none) and waits for the end: the exit code, -1 for a
    // crash or a kill, -2 when it did not end.
    int Stop(int signo = SIGTERM, int ms = 10000)
    {
        if (Running() && signo)
            ::kill(static_cast<pid_t>(FProcess.processId()), signo);
        if (!waitFor([&] { return FProcess.state() == QProcess::NotRunning; }, ms))
            return -2;
        return FProcess.exitStatus() == QProcess::NormalExit ? FProcess.exitCode() : -1;
    }

    void Signal(int signo)
    {
        if (Running())
            ::kill(static_cast<pid_t>(FProcess.processId()), signo);
    }

    bool Running() const { return FProcess.state() == QProcess::Running; }
    // Its XDG_DATA_HOME: pelmora/identity.pem and pelmora/known_hubs.
    QString DataDir() const { return FData.path(); }

protected:
    QTemporaryDir FData;
    QProcess FProcess;
};

class HeadlessHub : public HeadlessChild {
public:
    // Starts it on addr:port as nick (UTF-8) with the extra arguments, and
    // waits until it listens (its first journal line) or has ended.
    bool Start(const std::string& addr, int port, const std::string& nick, const QStringList& extra = {})
    {
        return Launch(QStringList{QStringLiteral("--hub"), QStringLiteral("--address"), QString::fromStdString(addr),
                                  QStringLiteral("--port"), QString::number(port), QStringLiteral("--name"),
                                  QString::fromStdString(nick)} +
                      extra) &&
            waitFor([&] { return !journal.empty() || !Running(); }, 10000) && Running();
    }
};

class ConsoleMember : public HeadlessChild {
public:
    // Starts `pelmora --join target --name nick` on addr:port; the test
    // waits for what it expects to see.
    bool Join(const std::string& addr, int port, const std::string& target, const std::string& nick,
              const QStringList& env = {})
    {
        return Launch({QStringLiteral("--join"), QString::fromStdString(target), QStringLiteral("--name"),
                       QString::fromStdString(nick)},
                      QStringList{QStringLiteral("PELMORA_ADDRESS=") + QString::fromStdString(addr),
                                  QStringLiteral("PELMORA_PORT=") + QString::number(port)} +
                          env);
    }
};

} // namespace testkit
