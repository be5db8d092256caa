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
#include "groupword.h"
#include "hubguard.h"

#include <string>
#include <vector>

struct THubOptions {
    TChatPlace place; // PELMORA_ADDRESS / PELMORA_PORT, then --address / --port
    bool nameGiven = false;
    std::string name;                     // --name, UTF-8
    std::string logDir;                   // --log-dir; empty: no log
    bool quiet = false;                   // --quiet
    int seatsPerAddress = -1;             // --seats-per-address; -1: not given
    int lineRate = -1;                    // --line-rate; -1: not given
    std::vector<std::string> deny, allow; // --deny, --allow (checked entries)
    // --word-file: its first line is the group word every caller must prove
    // (the hub then encrypts); empty: an open hub.
    std::string wordFile;
};

inline constexpr int kExitListenFailed = 3;
// A start option that cannot be used (a word file that cannot be read).
inline constexpr int kExitBadStart = 2;

// The hub's nick, CP932: --name, else PELMORA_HUB_NAME, else the window's
// stored nick (settingskeys.h), else the default.
std::string HubNick(const THubOptions& options);

// The hub's guards: each option given, else the window's setting
// (settingskeys.h: hub/SeatsPerAddress, hub/LineRate, hub/Deny, hub/Allow),
// else the default. Deny and allow entries from the options replace those
// of the settings; a stored entry that is not one is skipped.
THubGuard HubGuard(const THubOptions& options);

// The key of the group word in the first line of the file at path; null,
// with a message (UTF-8) in error, when the file cannot be read or that
// line is empty. The word itself is not kept.
groupword::TKeyRef ReadGroupWord(const std::string& path, std::string* error);

// The service's credential that holds the group word (systemd's
// LoadCredential=, found in $CREDENTIALS_DIRECTORY).
inline constexpr char kWordCredential[] = "pelmora-hub-word";
// The word file: --word-file, else the service's credential when it was
// given one, else none.
std::string WordFileOf(const THubOptions& options);

int RunHub(int& argc, char** argv, const THubOptions& options);
