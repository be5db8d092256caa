#pragma once
// The settings file shared by the window and the headless hub, and the keys
// that more than one part of the program reads: the window writes them, the
// headless hub (or the chat core) reads them. Keys only one part uses stay
// with that part (app/settings.*). Values are stored as text.
//
//   QSettings s = settingskeys::Open();   // not copyable: use in place
//   s.value(QLatin1String(settingskeys::kUserName));

#include <QSettings>
#include <QString>
#include <QVariant>

namespace settingskeys {

inline constexpr char kOrganisation[] = "tovanit";
inline constexpr char kApplication[] = "pelmora";

// The own nick name (group "user"): the window's name dialog writes it, the
// headless hub takes it when no other nick is given.
inline constexpr char kUserName[] = "user/name";
// 1: the questions of a regroup (the hub is gone, join the named instance)
// are answered yes without asking; 0 or missing: they are asked.
inline constexpr char kAutoRejoin[] = "link/AutoRejoin";

// The stored value of key, invalid when it is missing.
inline QVariant Stored(const char* key)
{
    return QSettings(QLatin1String(kOrganisation), QLatin1String(kApplication)).value(QLatin1String(key));
}

// The hub's guards (the window hub reads them; pelmora --hub takes its
// options instead and falls back to these).
// Seats one address may hold; 0: no limit.
inline constexpr const char* kHubSeatsPerAddress = "hub/SeatsPerAddress";
// Lines a second a seat may send after a burst of three seconds' worth; 0: no limit.
inline constexpr const char* kHubLineRate = "hub/LineRate";
// Addresses and networks (ADDR or ADDR/BITS) whose callers are closed at
// once, and those alone admitted when the list is not empty.
inline constexpr const char* kHubDeny = "hub/Deny";
inline constexpr const char* kHubAllow = "hub/Allow";
// 1: the window hub's group word is in the desktop's keyring (the word
// itself never is in the settings).
inline constexpr const char* kHubWordKept = "hub/WordKept";

} // namespace settingskeys
