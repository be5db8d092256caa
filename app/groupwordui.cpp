#include "groupwordui.h"

#include "chatcore.h"
#include "exception.h"
#include "mainwindow.h"
#include "settingskeys.h"
#include "sjis.h"
#include "texts.h"
#include "worddialog.h"

#include <qt6keychain/keychain.h>

#include <QAction>
#include <QDBusConnection>
#include <QMenu>
#include <QSettings>
#include <QThread>
#include <QTimer>

#include <random>

namespace {

const QString kService = QStringLiteral("pelmora");
const QString kHubEntry = QStringLiteral("hub");

QString memberEntry(const std::string& hub)
{
    return QStringLiteral("member ") + QString::fromStdString(hub);
}

QSettings settings()
{
    return QSettings(QLatin1String(settingskeys::kOrganisation), QLatin1String(settingskeys::kApplication));
}

// The keyring is reached over the session bus: without one (a session with
// no desktop, the tests) there is none to ask.
bool keyringReachable()
{
    static const bool reachable = QDBusConnection::sessionBus().isConnected();
    return reachable;
}

bool keyringMissing(QKeychain::Error e)
{
    return e == QKeychain::NoBackendAvailable || e == QKeychain::NotImplemented || e == QKeychain::OtherError;
}

} // namespace

TGroupWordUi::TGroupWordUi(TTWSChatForm& form, QMenu* settingsMenu) : QObject(&form), FForm(form)
{
    QAction* item = settingsMenu->addAction(sjis::decode(txt::kWordMenu));
    item->setObjectName(QStringLiteral("KWord"));
    connect(item, &QAction::triggered, this, &TGroupWordUi::SetHubWord);
    if (settingskeys::Stored(settingskeys::kHubWordKept).toBool())
        loadHubWord();
}

void TGroupWordUi::Derive(std::string word, std::function<void(groupword::TKeyRef)> done)
{
    auto result = std::make_shared<groupword::TKeyRef>();
    auto held = std::make_shared<std::string>(std::move(word));
    QThread* worker = QThread::create([result, held] {
        *result = groupword::Derive(*held);
        groupword::Forget(*held);
    });
    connect(worker, &QThread::finished, this, [result, done] { done(*result); });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
}

bool TGroupWordUi::AskWord(const std::string& hub)
{
    const auto known = FKeys.find(hub);
    if (known != FKeys.end()) {
        const groupword::TKeyRef key = known->second;
        QTimer::singleShot(0, this, [this, hub, key] { prove(hub, key); });
        return true;
    }
    fromKeyring(hub);
    return true;
}

void TGroupWordUi::fromKeyring(const std::string& hub)
{
    if (!keyringReachable()) {
        noKeyring();
        QTimer::singleShot(0, this, [this, hub] { askUser(hub, false); });
        return;
    }
    auto* job = new QKeychain::ReadPasswordJob(kService, this);
    job->setKey(memberEntry(hub));
    connect(job, &QKeychain::Job::finished, this, [this, job, hub] {
        if (job->error() == QKeychain::NoError && !job->textData().isEmpty()) {
            std::string word = job->textData().toStdString();
            Derive(std::move(word), [this, hub](groupword::TKeyRef key) {
                if (key)
                    prove(hub, key);
                else
                    askUser(hub, false);
            });
            return;
        }
        if (keyringMissing(job->error()))
            noKeyring();
        askUser(hub, false);
    });
    job->start();
}

void TGroupWordUi::askUser(const std::string& hub, bool again)
{
    TWordDialog dialog(&FForm);
    dialog.SetMessage(again ? txt::kWordAskAgain
                            : sjis::encode(sjis::decode(txt::kWordAsk).arg(QString::fromStdString(hub))));
    const int answer = dialog.ShowModal();
    std::string word = dialog.Word();
    dialog.Clear();
    if (answer != mrOk || word.empty()) {
        groupword::Forget(word);
        if (FForm.Chat->WordAwaited())
            FForm.Chat->K9Click(); // no word: no join
        return;
    }
    keep(memberEntry(hub), word);
    Derive(std::move(word), [this, hub](groupword::TKeyRef key) {
        if (key)
            prove(hub, key);
    });
}

void TGroupWordUi::prove(const std::string& hub, const groupword::TKeyRef& key)
{
    FKeys[hub] = key;
    TChatCore& chat = *FForm.Chat;
    if (chat.WordAwaited() && chat.IPName == hub) {
        chat.ProveWord(key);
        return;
    }
    if (chat.LinkConnected() || !chat.rbServer)
        return; // joined elsewhere meanwhile
    // The hub gave up waiting while the user typed: join it again.
    try {
        chat.CommandLineJoin(hub);
    } catch (const Exception& e) {
        FForm.ShowError(e.Message());
    }
}

void TGroupWordUi::WordRefused(const std::string& hub)
{
    FKeys.erase(hub);
    forget(memberEntry(hub));
    // Once the link's end has been handled.
    QTimer::singleShot(0, this, [this, hub] { askUser(hub, true); });
}

void TGroupWordUi::SetHubWord()
{
    TWordDialog dialog(&FForm);
    dialog.SetMessage(txt::kWordHubPrompt);
    const int answer = dialog.ShowModal();
    std::string word = dialog.Word();
    dialog.Clear();
    if (answer != mrOk) {
        groupword::Forget(word);
        return;
    }
    if (word.empty()) {
        setHubKey(nullptr);
        settings().remove(QLatin1String(settingskeys::kHubWordKept));
        forget(kHubEntry);
        return;
    }
    keep(kHubEntry, word);
    Derive(std::move(word), [this](groupword::TKeyRef key) {
        if (key)
            setHubKey(key);
    });
}

void TGroupWordUi::setHubKey(const groupword::TKeyRef& key)
{
    TChatCore& chat = *FForm.Chat;
    std::string error;
    if (key && !chat.Encrypt.On() && !chat.EncryptWithOwnIdentity(&error)) {
        FForm.ShowError(error);
        return;
    }
    chat.HubWord = key;
}

void TGroupWordUi::loadHubWord()
{
    // Until the word is read and stretched, callers are asked for a word
    // nobody knows: the hub is never open by mistake meanwhile.
    auto placeholder = std::make_shared<groupword::TKey>();
    std::random_device random;
    for (unsigned char& b : *placeholder)
        b = static_cast<unsigned char>(random());
    setHubKey(placeholder);
    if (!keyringReachable()) {
        noKeyring();
        return;
    }
    auto* job = new QKeychain::ReadPasswordJob(kService, this);
    job->setKey(kHubEntry);
    connect(job, &QKeychain::Job::finished, this, [this, job] {
        if (job->error() != QKeychain::NoError || job->textData().isEmpty()) {
            noKeyring(); // the word is not to be had: the hub stays closed
            return;
        }
        Derive(job->textData().toStdString(), [this](groupword::TKeyRef key) {
            if (key)
                setHubKey(key);
        });
    });
    job->start();
}

void TGroupWordUi::keep(const QString& entry, const std::string& word)
{
    if (!keyringReachable()) {
        noKeyring();
        return;
    }
    auto* job = new QKeychain::WritePasswordJob(kService, this);
    job->setKey(entry);
    job->setTextData(QString::fromStdString(word));
    connect(job, &QKeychain::Job::finished, this, [this, job, entry] {
        if (job->error() != QKeychain::NoError) {
            noKeyring();
            return;
        }
        if (entry == kHubEntry)
            settings().setValue(QLatin1String(settingskeys::kHubWordKept), 1);
    });
    job->start();
}

void TGroupWordUi::forget(const QString& entry)
{
    if (!keyringReachable())
        return;
    auto* job = new QKeychain::DeletePasswordJob(kService, this);
    job->setKey(entry);
    job->start();
}

void TGroupWordUi::noKeyring()
{
    if (FToldNoKeyring)
        return;
    FToldNoKeyring = true;
    FForm.ShowEvent(TChatEvent::Note(txt::kWordNoKeyring));
}
