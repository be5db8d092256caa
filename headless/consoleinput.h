#pragma once
// Standard input as lines, read through the event loop: a notifier on the
// descriptor (a terminal, a pipe or a file) and one read per notification,
// so typing never blocks the chat and an idle terminal wakes nothing. Each
// line goes on as UTF-8 text without its LF (nor a CR before it); the end
// of input is told once. A line that passes kMaxBytes without an LF is
// dropped whole and told as too long, so input without line ends cannot
// grow memory.
//
//   TConsoleInput in(0);
//   in.OnLine = [](const QString& text) { ... };
//   in.OnTooLong = [](const QString& start) { ... };
//   in.OnEnd = [] { ... };
//
// The descriptor is left blocking: a terminal shares its mode with the
// shell, which must not find it non-blocking afterwards.

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class QSocketNotifier;

class TConsoleInput {
public:
    static constexpr int kMaxBytes = 64 * 1024;

    explicit TConsoleInput(int fd);
    ~TConsoleInput();
    TConsoleInput(const TConsoleInput&) = delete;
    TConsoleInput& operator=(const TConsoleInput&) = delete;

    // Read nothing more (the end of input is not told).
    void Stop();
    // Read nothing for now (while what was read waits to be said), or again.
    void Pause(bool paused);
    bool Ended() const { return !FNotifier; }

    std::function<void(const QString&)> OnLine;
    std::function<void(const QString&)> OnTooLong;
    std::function<void()> OnEnd;

private:
    void readable();
    void cutLines();

    int FFd;
    std::unique_ptr<QSocketNotifier> FNotifier;
    QByteArray FPending;
    bool FDropping = false; // inside a line that was too long: skip to its LF
};
