#include "hubguard.h"

#include "settingskeys.h"

#include <QStringList>

THubGuard THubGuard::Stored(int seatsGiven, int rateGiven, const std::vector<std::string>& deny,
                            const std::vector<std::string>& allow)
{
    auto count = [](int given, const char* key, int fallback) {
        if (given >= 0)
            return given;
        bool ok = false;
        const int stored = settingskeys::Stored(key).toInt(&ok);
        return ok && stored >= 0 ? stored : fallback;
    };
    THubGuard g;
    g.seatsPerAddress = count(seatsGiven, settingskeys::kHubSeatsPerAddress, kDefaultSeatsPerAddress);
    g.lineRate = count(rateGiven, settingskeys::kHubLineRate, kDefaultLineRate);
    const bool listsGiven = !deny.empty() || !allow.empty();
    auto entries = [listsGiven](const std::vector<std::string>& given, const char* key) {
        if (listsGiven)
            return given;
        std::vector<std::string> stored;
        for (const QString& e : settingskeys::Stored(key).toStringList())
            stored.push_back(e.toStdString());
        return stored;
    };
    for (const std::string& e : entries(deny, settingskeys::kHubDeny))
        g.rules.Deny(e);
    for (const std::string& e : entries(allow, settingskeys::kHubAllow))
        g.rules.Allow(e);
    return g;
}

bool TWordMisses::Banned(const std::string& address, int64_t now)
{
    const auto it = FEntries.find(address);
    return it != FEntries.end() && it->second.bannedUntil > now;
}

bool TWordMisses::Miss(const std::string& address, int64_t now)
{
    if (FEntries.size() >= kMaxAddresses && FEntries.find(address) == FEntries.end()) {
        expire(now);
        if (FEntries.size() >= kMaxAddresses)
            return false;
    }
    TEntry& e = FEntries[address];
    while (!e.misses.empty() && e.misses.front() <= now - windowMs)
        e.misses.pop_front();
    e.misses.push_back(now);
    if (int(e.misses.size()) < limit)
        return false;
    e.misses.clear();
    e.bannedUntil = now + banMs;
    return true;
}

void TWordMisses::expire(int64_t now)
{
    for (auto it = FEntries.begin(); it != FEntries.end();) {
        TEntry& e = it->second;
        while (!e.misses.empty() && e.misses.front() <= now - windowMs)
            e.misses.pop_front();
        if (e.misses.empty() && e.bannedUntil <= now)
            it = FEntries.erase(it);
        else
            ++it;
    }
}
