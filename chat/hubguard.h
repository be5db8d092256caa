#pragma once
// What keeps a hub on the open Internet usable for its group: how many
// seats one address may hold, how fast a seat may send, who may call at
// all, and the time limits for callers that never name themselves and
// members that never read. The window hub fills it from its settings
// (settingskeys.h), pelmora --hub from its options.

#include "addressrules.h"

#include <cstddef>
#include <string>
#include <vector>

struct THubGuard {
    static constexpr int kDefaultSeatsPerAddress = 4;
    static constexpr int kDefaultLineRate = 10;
    // A caller that has not sent its name line by then is closed.
    static constexpr int kNameWaitMs = 10000;
    // A member whose queued bytes have not moved for that long is dropped.
    static constexpr int kStallMs = 10000;
    // While a member's unsent bytes are above the high mark, the seats
    // that feed it are not read; below the low mark they are again.
    static constexpr size_t kHighWater = 256 * 1024;
    static constexpr size_t kLowWater = 64 * 1024;

    int seatsPerAddress = kDefaultSeatsPerAddress; // 0: no limit
    int lineRate = kDefaultLineRate;               // lines a second; 0: no limit
    TAddressRules rules;

    // The guard as given (a count below 0 and empty lists: not given), else
    // as stored in the settings (settingskeys.h), else the defaults. Given
    // lists replace the stored ones.
    static THubGuard Stored(int seatsGiven = -1, int rateGiven = -1, const std::vector<std::string>& deny = {},
                            const std::vector<std::string>& allow = {});
};
