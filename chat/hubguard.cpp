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
