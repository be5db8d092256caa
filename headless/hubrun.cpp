#include "hubrun.h"

#include "chatcore.h"
#include "exception.h"
#include "hubview.h"
#include "ownaddress.h"
#include "settingskeys.h"
#include "sjis.h"
#include "signalwatch.h"
#include "texts.h"
#include "tlsidentity.h"
#include "wsocket.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QFileInfo>

#include <csignal>
#include <cstdio>

namespace {

std::string messageOf(const std::exception& e)
{
    if (const auto* own = dynamic_cast<const Exception*>(&e))
        return own->Message();
    return e.what();
}

std::string utf8(const std::string& cp932)
{
    return sjis::decode(cp932).toStdString();
}

// A message of several lines as one line.
std::string oneLine(std::string text)
{
    for (char& c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
    return text;
}

} // namespace

std::string HubNick(const THubOptions& o)
{
    if (o.nameGiven)
        return sjis::encode(QString::fromStdString(o.name));
    const QString fromEnvironment = qEnvironmentVariable("PELMORA_HUB_NAME");
    if (!fromEnvironment.isEmpty())
        return sjis::encode(fromEnvironment);
    const QVariant stored = settingskeys::Stored(settingskeys::kUserName);
    return stored.isValid() ? sjis::encode(stored.toString()) : txt::kDefaultNick;
}

groupword::TKeyRef ReadGroupWord(const std::string& path, std::string* error)
{
    std::string word, reason;
    if (!groupword::ReadWordFile(path, word, &reason)) {
        *error = reason.empty() ? utf8(txt::kWordFileEmpty) + path
                                : utf8(txt::kWordFileUnreadable) + path + " (" + reason + ")";
        return nullptr;
    }
    groupword::TKeyRef key = groupword::Derive(word);
    groupword::Forget(word);
    if (!key)
        *error = utf8(txt::kWordFileUnreadable) + path;
    return key;
}

std::string WordFileOf(const THubOptions& o)
{
    if (!o.wordFile.empty())
        return o.wordFile;
    const QString folder = qEnvironmentVariable("CREDENTIALS_DIRECTORY");
    const QString credential = folder + QLatin1Char('/') + QLatin1String(kWordCredential);
    return !folder.isEmpty() && QFileInfo::exists(credential) ? credential.toStdString() : std::string();
}

THubGuard HubGuard(const THubOptions& o)
{
    return THubGuard::Stored(o.seatsPerAddress, o.lineRate, o.deny, o.allow);
}

int RunHub(int& argc, char** argv, const THubOptions& o)
{
    // Qt's own poll loop rather than GLib's: the hub watches nothing but its
    // sockets, and the plain loop turns faster (the single-line latency
    // tail of the relay is about a third of GLib's on this machine).
    if (qEnvironmentVariableIsEmpty("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    const std::string program = QFileInfo(QCoreApplication::applicationFilePath()).fileName().toStdString();
    groupword::TKeyRef word;
    const std::string wordFile = WordFileOf(o);
    if (!wordFile.empty()) {
        std::string why;
        word = ReadGroupWord(wordFile, &why);
        if (!word) {
            std::fprintf(stderr, "%s: %s\n", program.c_str(), why.c_str());
            return kExitBadStart;
        }
    }
    // A journal that nobody reads any more must not end the hub.
    std::signal(SIGPIPE, SIG_IGN);

    THubView view(o.quiet, o.logDir);
    WSocketExceptionHandler = [&view](const std::exception& e) { view.ShowError(messageOf(e)); };
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, &app,
                     [&view] { view.Flush(); });

    std::string own = o.place.ownAddr;
    if (own.empty())
        own = TSirSock().SelfIPAddress();
    TChatCore core(&view, o.place.listenAddr, o.place.port, own);
    core.Name = HubNick(o);
    core.Guard = HubGuard(o);
    std::string tlsError;
    const bool plainForNoKey = (o.place.encrypt || word) && !core.EncryptWithOwnIdentity(&tlsError);
    if (word) {
        // A word is proved inside the encrypted link only: no link, no hub.
        if (plainForNoKey) {
            std::fprintf(stderr, "%s: %s\n", program.c_str(), tlsError.c_str());
            WSocketExceptionHandler = nullptr;
            return kExitBadStart;
        }
        core.HubWord = word;
    }
    try {
        core.StartServer();
    } catch (const std::exception& e) {
        view.Flush();
        const std::string line = program + ": " + utf8(txt::kListenFailed) + " (" + o.place.listenAddr + ":" +
            o.place.port + ") " + oneLine(utf8(messageOf(e))) + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
        WSocketExceptionHandler = nullptr;
        return kExitListenFailed;
    }
    view.Note(sjis::decode(txt::kHubListening)
                  .arg(QString::fromStdString(o.place.listenAddr), QString::fromStdString(o.place.port),
                       sjis::decode(core.Name))
                  .toStdString());
    if (plainForNoKey)
        view.Note(
            sjis::decode(txt::kPlainForNoKey).arg(QString::fromStdString(TTlsIdentity::DefaultPath())).toStdString());
    else if (core.Encrypt.On()) // for members to check what they were shown
        view.Note(sjis::decode(txt::kHubKeyIs)
                      .arg(QString::fromStdString(core.Encrypt.own), QString::fromStdString(o.place.listenAddr))
                      .toStdString());
    view.Flush();

    TSignalWatch stop;
    QObject::connect(&stop, &TSignalWatch::Received, [&view] {
        view.Note(utf8(txt::kHubStopping));
        QCoreApplication::quit();
    });
    app.exec();
    WSocketExceptionHandler = nullptr;
    return 0;
}
