#pragma once
// Notices of new lines while the user looks elsewhere.
//
// While no window of the program is the active window, each line of somebody
// else that reaches the pane (a chat line, an arrival, a departure; not one's
// own lines, the arrivals told at one's own join, nor the program's own
// notes) and each question
// of the chat (the hub is gone, the joined instance is a peer) marks the
// window for attention and shows a desktop notification: the sender's nick
// as its title, the line as its body. A burst is coalesced: at most one
// notification per interval, the latest line, updating the one already
// shown. Nothing happens while the program is active. Activating the
// notification brings the window back. SetEnabled(false) (the window's
// 設定 menu item) turns the notifications off; the unseen count goes on.
//
// The desktop side is an interface so that tests record what would be shown;
// the real one talks to org.freedesktop.Notifications on the session bus,
// and without a session bus or a notification daemon it does nothing.

#include "chatevent.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

class QWidget;

class TDesktopNotices {
public:
    virtual ~TDesktopNotices() = default;
    // Marks the window in the task bar.
    virtual void Alert(QWidget* window) = 0;
    // Shows the notification, or updates the one still shown.
    virtual void Show(const QString& title, const QString& body) = 0;
    // The user has seen the window: the notification may go.
    virtual void Seen() = 0;

    // Set by the notifier: the user activated the notification.
    std::function<void()> Activated;
};

// The session bus's notification service and QApplication::alert().
std::unique_ptr<TDesktopNotices> MakeDesktopNotices();

class TNotifier : public QObject {
    Q_OBJECT
public:
    // Notices for window, the program's main window.
    explicit TNotifier(QWidget* window);
    ~TNotifier() override;

    // Something was added to the conversation: a chat line is told with
    // its sender's nick as the title.
    void EventShown(const TChatEvent& event);
    // A question of the chat, as CP932 bytes.
    void QuestionAsked(const std::string& text);
    void SetEnabled(bool on) { FEnabled = on; }
    bool Enabled() const { return FEnabled; }

    void SetDesktop(std::unique_ptr<TDesktopNotices> desktop);
    TDesktopNotices* Desktop() const { return FDesktop.get(); }
    void SetInterval(int ms) { FInterval = ms; }

    // Lines that arrived since the program was last active.
    int Unseen() const { return FUnseen; }

    // Shows, raises and activates the window.
    static void BringToFront(QWidget* window);

signals:
    void UnseenChanged(int count);

private:
    bool userIsAway() const;
    void arrived(const QString& title, const QString& body);
    void showPending();
    void backInView();

    QWidget* FWindow;
    bool FEnabled = true;
    std::unique_ptr<TDesktopNotices> FDesktop;
    int FInterval = 1000;
    int FUnseen = 0;
    QElapsedTimer FLastShown;
    QTimer FHold;
    QString FTitle, FBody;
    bool FPending = false;
};
