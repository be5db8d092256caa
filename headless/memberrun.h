#pragma once
// pelmora --join ADDRESS: a member of a group with no window and no display,
// for terminals and scripts. main() calls RunMember before any application
// object exists; it makes a core application (no widgets, no platform
// plugin), listens on the chat port like every instance, joins ADDRESS and
// says each line of standard input, writing what happens to standard
// output in the headless hub's journal format.
//
// It is the chat core with another view: a caller while it is a member
// gets the redirect line; when its hub is lost it regroups as the window
// does, and as the named candidate it waits as the hub and seats the others.
// Every question is answered yes.
//
// Lines typed before the join completes, or while a regroup is under way,
// wait and go out in order once it can talk. At the end of input, SIGTERM or
// SIGINT, what was said goes out, the link is closed (the group sees the
// departure) and the exit code is 0. A join that fails (nobody answers, the
// hub is full or turns the caller away, a redirect leads nowhere) or a group
// that is gone ends it with kExitMemberFailed and the reason on standard
// error.
//
// A hub that shows another key than the one pinned for its address is
// refused: the member ends with kExitMemberFailed and says on standard
// error how to accept the new key (ForgetHub). The hub's key is noted in
// the journal once for each hub it joins.
//
// A port in use does not end it: it says so and stays a member that cannot
// be called. It then never takes itself for the named candidate: whoever
// listens at its address (the user's window, most likely) is what the group
// regroups around, and it follows the group there as any other member does.

#include "chatplace.h"

#include <string>

struct TMemberOptions {
    TChatPlace place;   // PELMORA_ADDRESS / PELMORA_PORT
    std::string target; // --join, as typed
    bool nameGiven = false;
    std::string name; // --name, UTF-8
    // --word-file: its first line is proved to a hub that asks for a word
    // (the member then encrypts). Without one such a hub ends the member
    // with kExitMemberFailed; a wrong word does too.
    std::string wordFile;
};

inline constexpr int kExitMemberFailed = 1;

// The member's nick, CP932: --name, else the window's stored nick, else
// the default.
std::string MemberNick(const TMemberOptions& options);

int RunMember(int& argc, char** argv, const TMemberOptions& options);

// pelmora --forget-hub ADDRESS: removes the key pinned for that hub and
// prints it (0); kExitMemberFailed when none was pinned or the file could
// not be written.
int ForgetHub(const std::string& program, const std::string& address);
