#pragma once
// TSignalWatch: the signals that end a session (SIGTERM at logout, shutdown
// or from the service manager, SIGINT from a terminal, SIGHUP when the
// terminal goes) reach the event loop as the Qt signal Received, so the
// program ends between two events like any other command: the window as
// closing it does (settings written, spool removed, sockets closed), the
// headless hub by closing its seats. The handler only writes a byte into a
// socket pair; a notifier on the other end does the rest, so an idle program
// is woken by nothing but the signal. A SIGHUP that was ignored when the
// watch began (nohup, a service manager) stays ignored. One watch per process.
//
// Usage:
//   TSignalWatch watch;
//   connect(&watch, &TSignalWatch::Received, &form, [&] { form.EndSession(); });

#include <QObject>

class QSocketNotifier;

class TSignalWatch : public QObject {
    Q_OBJECT
public:
    explicit TSignalWatch(QObject* parent = nullptr);
    ~TSignalWatch() override;

signals:
    void Received(int signal);

private:
    void drain();

    QSocketNotifier* FNotifier = nullptr;
};
