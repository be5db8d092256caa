#pragma once
// Keys of the settings file (QSettings "tovanit"/"pelmora") that more than
// one part of the program reads: the window and the headless hub.

namespace settingskeys {

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

} // namespace settingskeys
