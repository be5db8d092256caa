#pragma once
// The window's persisted settings: QSettings("tovanit", "pelmora") with the
// groups "position" (Left, Top, Width, Height), "user" (name; notify: 0 turns
// the desktop notices of new lines off), "pane"
// (Scrollback: lines the conversation pane keeps, 1 to 100 000), "view" (Zoom:
// font steps from the 13-pixel default; Times: 1 shows the time of day),
// "log" (Auto: 1 keeps the automatic log), "link" (AutoRejoin: 1 answers a
// regroup's questions yes without asking) and "connect" (Address1..Address10,
// the addresses joined last, newest first). The keys other parts of the
// program read too are named in chat/settingskeys.h. Numbers are stored as decimal
// text. Read once at creation; written at close, when the session ends, and
// whenever the user changes one of them from the menu, so no choice is lost
// to a session that ends without closing the window.

#include <QRect>
#include <QStringList>
#include <string>

struct TWindowSettings {
    QRect bounds{100, 100, 490, 369};
    std::string name; // own nick name, CP932
    int scrollback = 10000;
    int zoom = 0;
    bool showTimes = false;
    bool notify = true;
    bool autoLog = false;
    bool autoRejoin = false;
    QStringList recentAddresses;

    static constexpr int kRecentAddresses = 10;

    // Missing values and values that are not decimal numbers give the
    // defaults; a stored empty name stays empty.
    static TWindowSettings Read();
    // Returns false when the settings could not be written.
    bool Write() const;
};

// Keeps a stored rectangle usable: a window that would open off every
// screen, or at a size no one can use, is brought back within reach.
QRect fitOnScreen(const QRect& stored);
