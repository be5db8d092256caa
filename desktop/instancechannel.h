#pragma once
// The second start of the program raises the first one's window.
//
// The running instance listens on a local socket named after the
// executable's file name in the user's runtime folder (beside the guard's
// lock file). A second start, refused by the guard, connects there, asks for
// the window and ends. The guard's lock stays the only authority on who is
// first: only its holder listens, so it may remove a socket file left behind
// by an instance that was killed.
//
//   TInstanceChannel channel;                      // in the first instance
//   channel.Listen(exeName);
//   connect(&channel, &TInstanceChannel::ShowRequested, ...);
//   TInstanceChannel::AskFirstToShow(exeName);     // in the second one

#include <QObject>
#include <QString>

class QLocalServer;

class TInstanceChannel : public QObject {
    Q_OBJECT
public:
    explicit TInstanceChannel(QObject* parent = nullptr);
    ~TInstanceChannel() override;

    // Opens the socket; false when it cannot be opened (the program runs on
    // without it).
    bool Listen(const QString& exeFileName);

    // Asks the running instance to show its window; true when it took the
    // request. Waits at most timeoutMs.
    static bool AskFirstToShow(const QString& exeFileName, int timeoutMs = 3000);

    static QString SocketPath(const QString& exeFileName);

signals:
    void ShowRequested();

private:
    void readRequest();
    QLocalServer* FServer = nullptr;
};
