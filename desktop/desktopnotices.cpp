// The desktop's notification service (org.freedesktop.Notifications on the
// session bus) and the task bar's attention mark. Every call is
// asynchronous: a missing service never blocks the chat, and a missing bus
// is found once and then left alone. Nothing is printed either way.
#include "desktopid.h"
#include "notifier.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusMessage>
#include <QVariantMap>
#include <QWidget>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

class TBusNotices : public QObject, public TDesktopNotices {
    Q_OBJECT
public:
    void Alert(QWidget* window) override { QApplication::alert(window); }

    void Show(const QString& title, const QString& body) override
    {
        if (!busReady())
            return;
        QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
        QVariantMap hints;
        hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(kDesktopId));
        hints.insert(QStringLiteral("sound-name"), QStringLiteral("message-new-instant"));
        hints.insert(QStringLiteral("category"), QStringLiteral("im.received"));
        // Body text is markup to some servers: show it as it is.
        QString plain = body.toHtmlEscaped();
        call << QStringLiteral("pelmora") << FId << QString::fromLatin1(kDesktopId) << title << plain
             << QStringList{QStringLiteral("default"), QString()} << hints << qint32(-1);
        auto* watcher = new QDBusPendingCallWatcher(FBus.asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
            QDBusPendingReply<uint> reply = *w;
            if (!reply.isError())
                FId = reply.value();
            w->deleteLater();
        });
    }

    void Seen() override
    {
        if (!FId || !busReady())
            return;
        QDBusMessage call =
            QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CloseNotification"));
        call << FId;
        FBus.asyncCall(call);
        FId = 0;
    }

private:
    bool busReady()
    {
        if (FChecked)
            return FBus.isConnected();
        FChecked = true;
        // Without a session bus address there is no desktop to tell; do not
        // let the bus library try to launch one.
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            return false;
        FBus = QDBusConnection::sessionBus();
        if (!FBus.isConnected())
            return false;
        FBus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                     SLOT(actionInvoked(uint, QString)));
        FBus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                     SLOT(notificationClosed(uint, uint)));
        return true;
    }

    bool FChecked = false;
    QDBusConnection FBus{QString()};
    uint FId = 0;

private slots:
    void actionInvoked(uint id, const QString&)
    {
        if (id && id == FId && Activated)
            Activated();
    }
    void notificationClosed(uint id, uint)
    {
        if (id == FId)
            FId = 0;
    }
};

} // namespace

std::unique_ptr<TDesktopNotices> MakeDesktopNotices()
{
    return std::make_unique<TBusNotices>();
}

#include "desktopnotices.moc"
