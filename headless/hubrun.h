#pragma once
// pelmora --hub: the hub role with no window and no display. main() calls
// RunHub before any application object exists; it makes a core application
// (no widgets, no platform plugin), listens, relays until SIGTERM or SIGINT,
// then closes the seats, so the peers see their hub leave and regroup.
//
// It never joins anyone and never asks. Its guard against a second hub is
// the listener itself: a port already in use on that address ends it at
// once with a message on standard error and kExitListenFailed.

#include "chatplace.h"

#include <string>

struct THubOptions {
    TChatPlace place;   // PELMORA_ADDRESS / PELMORA_PORT, then --address / --port
    bool nameGiven = false;
    std::string name;   // --name, UTF-8
    std::string logDir; // --log-dir; empty: no log
    bool quiet = false; // --quiet
};

inline constexpr int kExitListenFailed = 3;

// The hub's nick, CP932: --name, else PELMORA_HUB_NAME, else the window's
// stored nick (settingskeys.h), else the default.
std::string HubNick(const THubOptions& options);

int RunHub(int& argc, char** argv, const THubOptions& options);
