#pragma once
// The command line, read before anything touches the window system, so that
// --help and --version answer without a display:
//
//   pelmora [-h | --help] [-v | --version] [ADDRESS]
//   pelmora --hub [--address A] [--port P] [--name NICK] [--log-dir DIR] [--quiet]
//                 [--seats-per-address N] [--line-rate N] [--deny ADDR[/BITS]]...
//                 [--allow ADDR[/BITS]]... [--word-file FILE]
//   pelmora --join ADDRESS [--name NICK] [--word-file FILE]
//   pelmora --forget-hub ADDRESS
//
// ADDRESS is the instance to join at start-up; addresses after the first are
// ignored. --hub runs the headless hub instead of the window (headless/hubrun.h);
// the other hub options need it (--name is also the window system's option,
// passed on without --hub or --join). --join runs the console member, a
// member of the group at ADDRESS without a window (headless/memberrun.h).
// --forget-hub removes the key pinned for a hub's address and ends. The window system's own options (-platform
// NAME, -display NAME, -style NAME, ...) pass through to the application
// object untouched.

#include <QString>
#include <QStringList>

struct TCommandLine {
    // Start the chat, or end at once with exitCode after printing.
    bool run = true;
    int exitCode = 0;
    QString address;
    // Hub mode and its options (empty: not given).
    bool hub = false;
    QString listenAddress, port, logDir;
    // Console member mode: the address to join (empty: not given).
    bool join = false;
    QString joinAddress;
    // --word-file, for --hub and --join (empty: not given).
    QString wordFile;
    // The hub address whose pinned key is to be forgotten (empty: none).
    QString forgetHub;
    bool nameGiven = false;
    QString name;
    bool quiet = false;
    int seatsPerAddress = -1; // -1: not given
    int lineRate = -1;
    QStringList deny, allow; // each entry checked: ADDR or ADDR/BITS
    QString out;             // for standard output
    QString err;             // for standard error

    static TCommandLine Parse(const QStringList& arguments);
};

// Exit codes of a command line that is not understood, and of a start
// without a display.
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoDisplay = 1;

// While the application object connects to the display: a platform that
// cannot start makes Qt end the process with an abort; instead say so in one
// line on standard error and exit with kExitNoDisplay. The window system's
// warnings on the way are held back so that the one line is all.
void GuardDisplayStart(const QString& program);
void EndDisplayStartGuard();
