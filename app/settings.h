#pragma once
// The window's persisted settings: QSettings("tovanit", "pelmora") with the
// groups "position" (Left, Top, Width, Height), "user" (name) and "pane"
// (Scrollback: lines the conversation pane keeps, at least 1). Numbers
// are stored as decimal text. Read once at creation, written once at close.

#include <QRect>
#include <string>

struct TWindowSettings {
    QRect bounds{100, 100, 490, 369};
    std::string name; // own nick name, CP932
    int scrollback = 10000;

    // Missing values and values that are not decimal numbers give the
    // defaults; a stored empty name stays empty.
    static TWindowSettings Read();
    // Returns false when the settings could not be written.
    bool Write() const;
};

// Keeps a stored rectangle usable: a window that would open off every
// screen, or at a size no one can use, is brought back within reach.
QRect fitOnScreen(const QRect& stored);
