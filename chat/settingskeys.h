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

} // namespace settingskeys
