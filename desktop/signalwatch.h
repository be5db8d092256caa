#pragma once
// TSignalWatch: the signals that end a desktop session (SIGTERM at logout or
// shutdown, SIGINT from a terminal, SIGHUP when the terminal goes) reach the
// event loop as the Qt signal Received, so the program ends the way closing
// its window does: settings written, spool removed, sockets closed. The
// handler only writes a byte into a socket pair; a notifier on the other end
// does the rest between events. One watch per process.
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
