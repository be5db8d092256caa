#pragma once
// SIGTERM and SIGINT end the headless hub through its event loop: the
// handler only writes the signal's number into a pipe, whose reading end a
// socket notifier watches, so the hub ends between two events like any other
// command, and an idle hub is not woken by anything but the signal.
//
//   TStopSignals stop([&](int signo) { ...; app.quit(); });

#include <QSocketNotifier>

#include <functional>
#include <memory>

class TStopSignals {
public:
    explicit TStopSignals(std::function<void(int signo)> onStop);
    ~TStopSignals();
    TStopSignals(const TStopSignals&) = delete;
    TStopSignals& operator=(const TStopSignals&) = delete;

private:
    int FPipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> FNotifier;
    std::function<void(int)> FOnStop;
};
