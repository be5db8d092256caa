#include "trayicon.h"

#include "artwork.h"
#include "notifier.h"
#include "sjis.h"
#include "texts.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QWidget>

namespace {

QString q(const std::string& cp932)
{
    return sjis::decode(cp932);
}

QIcon bubblesIcon(bool unread)
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(QPixmap::fromImage(art::bubblesImage(size, unread)));
    return icon;
}

} // namespace

TTrayIcon* TTrayIcon::CreateIfAvailable(QWidget* window)
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return nullptr;
    return new TTrayIcon(window);
}

TTrayIcon::TTrayIcon(QWidget* window) : QObject(window), FWindow(window)
{
    setObjectName(QStringLiteral("TrayIcon"));
    FIcon = new QSystemTrayIcon(bubblesIcon(false), this);
    FIcon->setToolTip(q(txt::kAppCaption));
    auto* menu = new QMenu(window);
    FShowHide = menu->addAction(q(txt::kTrayHide), this, &TTrayIcon::ToggleWindow);
    menu->addSeparator();
    menu->addAction(q(txt::kMenuExit), window, &QWidget::close);
    // The item says what a click would do.
    connect(menu, &QMenu::aboutToShow, this, [this] {
        FShowHide->setText(q(FWindow->isVisible() && !FWindow->isMinimized() ? txt::kTrayHide : txt::kTrayShow));
    });
    FIcon->setContextMenu(menu);
    connect(FIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
        if (why == QSystemTrayIcon::Trigger)
            ToggleWindow();
    });
    FIcon->show();
}

TTrayIcon::~TTrayIcon() = default;

void TTrayIcon::SetUnseen(int count)
{
    const bool unread = count > 0;
    if (unread == FUnread)
        return;
    FUnread = unread;
    FIcon->setIcon(bubblesIcon(unread));
}

void TTrayIcon::ToggleWindow()
{
    // A window in front goes away; one hidden, minimised or behind others
    // comes to the front.
    if (FWindow->isVisible() && !FWindow->isMinimized() && FWindow->isActiveWindow())
        FWindow->hide();
    else
        TNotifier::BringToFront(FWindow);
}
