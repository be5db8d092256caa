#pragma once
// What keeps a hub on the open Internet usable for its group: how many
// seats one address may hold, how fast a seat may send, who may call at
// all, and the time limits for callers that never name themselves and
// members that never read. The window hub fills it from its settings
// (settingskeys.h), pelmora --hub from its options.

#include "addressrules.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

// Wrong group words per address: `limit` of them within `windowMs` shut the
// address out for `banMs`. Entries expire on their own; the table holds at
// most kMaxAddresses, so callers from ever new addresses cannot grow it
// without bound (past it, a new address's misses are not counted).
class TWordMisses {
public:
    static constexpr int kDefaultLimit = 10;
    static constexpr int64_t kDefaultWindowMs = 120 * 1000;
    static constexpr int64_t kDefaultBanMs = 300 * 1000;
    static constexpr size_t kMaxAddresses = 4096;

    int limit = kDefaultLimit;
    int64_t windowMs = kDefaultWindowMs;
    int64_t banMs = kDefaultBanMs;

    // The address is shut out at time now (ms of a steady clock).
    bool Banned(const std::string& address, int64_t now);
    // One more wrong word from address: true when it shuts the address out.
    bool Miss(const std::string& address, int64_t now);

private:
    struct TEntry {
        std::deque<int64_t> misses;
        int64_t bannedUntil = 0;
    };
    void expire(int64_t now);
    std::unordered_map<std::string, TEntry> FEntries;
};

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
    TWordMisses wordMisses;

    // The guard as given (a count below 0 and empty lists: not given), else
    // as stored in the settings (settingskeys.h), else the defaults. Given
    // lists replace the stored ones.
    static THubGuard Stored(int seatsGiven = -1, int rateGiven = -1, const std::vector<std::string>& deny = {},
                            const std::vector<std::string>& allow = {});
};
