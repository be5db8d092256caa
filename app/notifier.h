#pragma once
// Notices of new lines while the user looks elsewhere.
//
// While no window of the program is the active window, each line that
// reaches the pane (a chat line, an arrival, a departure) and each question
// of the chat (the hub is gone, the joined instance is a peer) marks the
// window for attention and shows a desktop notification: the sender's nick
// as its title, the line as its body. A burst is coalesced: at most one
// notification per interval, the latest line, updating the one already
// shown. Nothing happens while the program is active. Activating the
// notification brings the window back. The 設定 menu's checkable item turns
// the notifications off; it is kept in the settings file ("user/notify").
//
// The desktop side is an interface so that tests record what would be shown;
// the real one talks to org.freedesktop.Notifications on the session bus,
// and without a session bus or a notification daemon it does nothing.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

class QAction;
class QMenu;
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
    // Adds its checkable item to settingsMenu and reads the setting.
    TNotifier(QWidget* window, QMenu* settingsMenu);
    ~TNotifier() override;

    // A pane line, as CP932 bytes; a chat line reads "nick> text".
    void LineArrived(const std::string& text);
    // A question of the chat, as CP932 bytes.
    void QuestionAsked(const std::string& text);

    void SetDesktop(std::unique_ptr<TDesktopNotices> desktop);
    TDesktopNotices* Desktop() const { return FDesktop.get(); }
    void SetInterval(int ms) { FInterval = ms; }

    // Lines that arrived since the program was last active.
    int Unseen() const { return FUnseen; }
    QAction* EnableAction() const { return FEnable; }

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
    QAction* FEnable;
    std::unique_ptr<TDesktopNotices> FDesktop;
    int FInterval = 1000;
    int FUnseen = 0;
    QElapsedTimer FLastShown;
    QTimer FHold;
    QString FTitle, FBody;
    bool FPending = false;
};
