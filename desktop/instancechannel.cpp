#include "instancechannel.h"

#include "justone.h"

#include <QLocalServer>
#include <QLocalSocket>

namespace {
// One request, one answer; nothing else is ever read or written.
const QByteArray kShowRequest = QByteArrayLiteral("show\n");
const QByteArray kShowAnswer = QByteArrayLiteral("ok\n");
} // namespace

TInstanceChannel::TInstanceChannel(QObject* parent) : QObject(parent) { }

TInstanceChannel::~TInstanceChannel() = default;

QString TInstanceChannel::SocketPath(const QString& exeFileName)
{
    QString path = TJustOne::LockPath(exeFileName);
    path.chop(int(qstrlen(".lock")));
    return path + QStringLiteral(".raise");
}

bool TInstanceChannel::Listen(const QString& exeFileName)
{
    const QString path = SocketPath(exeFileName);
    delete FServer;
    FServer = new QLocalServer(this);
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the guard's lock, so a socket file here is a dead instance's.
    QLocalServer::removeServer(path);
    if (!FServer->listen(path))
        return false;
    connect(FServer, &QLocalServer::newConnection, this, &TInstanceChannel::readRequest);
    return true;
}

void TInstanceChannel::readRequest()
{
    while (QLocalSocket* s = FServer->nextPendingConnection()) {
        connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        // A caller that says anything but the request, or too much, is dropped.
        connect(s, &QLocalSocket::readyRead, this, [this, s] {
            if (s->bytesAvailable() > kShowRequest.size() || !s->canReadLine()) {
                if (s->bytesAvailable() > kShowRequest.size())
                    s->abort();
                return;
            }
            const bool asked = s->readLine() == kShowRequest;
            if (asked)
                s->write(kShowAnswer);
            s->disconnectFromServer();
            if (asked)
                emit ShowRequested();
        });
    }
}

bool TInstanceChannel::AskFirstToShow(const QString& exeFileName, int timeoutMs)
{
    QLocalSocket s;
    s.connectToServer(SocketPath(exeFileName));
    if (!s.waitForConnected(timeoutMs))
        return false;
    s.write(kShowRequest);
    if (!s.waitForBytesWritten(timeoutMs))
        return false;
    while (!s.canReadLine()) {
        if (!s.waitForReadyRead(timeoutMs))
            return false;
    }
    return s.readLine() == kShowAnswer;
}
