#include "chatplace.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace {

bool validPort(const QString& text, int& port)
{
    bool ok = false;
    port = text.trimmed().toInt(&ok);
    return ok && port > 0 && port < 65536;
}

} // namespace

TChatPlace TChatPlace::FromEnvironment()
{
    TChatPlace p;
    const QByteArray addr = qgetenv("PELMORA_ADDRESS").trimmed();
    if (!addr.isEmpty()) {
        p.listenAddr = addr.toStdString();
        p.ownAddr = p.listenAddr;
    }
    int port = 0;
    if (validPort(qEnvironmentVariable("PELMORA_PORT"), port))
        p.port = std::to_string(port);
    p.encrypt = qgetenv("PELMORA_ENCRYPT").trimmed() != "0";
    return p;
}

bool TChatPlace::Override(const std::string& address, const std::string& portText)
{
    if (!address.empty()) {
        listenAddr = address;
        ownAddr = address;
    }
    if (portText.empty())
        return true;
    int port = 0;
    if (!validPort(QString::fromStdString(portText), port))
        return false;
    this->port = std::to_string(port);
    return true;
}
