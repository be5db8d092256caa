#pragma once
// The tray icon, where the desktop has a system tray: the program's bubble
// picture, with a red dot while lines arrived unseen; a click shows or hides
// the window; its menu has show/hide and 終了. Without a tray nothing is
// made and nothing changes.

#include <QObject>

class QAction;
class QSystemTrayIcon;
class QWidget;

class TTrayIcon : public QObject {
    Q_OBJECT
public:
    // Null when the desktop has no system tray.
    static TTrayIcon* CreateIfAvailable(QWidget* window);

    TTrayIcon(QWidget* window);
    ~TTrayIcon() override;

    void SetUnseen(int count);
    void ToggleWindow();

    QSystemTrayIcon* Icon() const { return FIcon; }
    bool ShowsUnread() const { return FUnread; }

private:
    QWidget* FWindow;
    QSystemTrayIcon* FIcon;
    QAction* FShowHide;
    bool FUnread = false;
};
