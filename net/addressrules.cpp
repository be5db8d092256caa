#include "addressrules.h"

#include <algorithm>
#include <arpa/inet.h>

namespace {

std::string trimmed(const std::string& s)
{
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return std::string();
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// A dotted IPv4 address, host byte order; inet_pton takes exactly four
// decimal parts.
bool parseAddress(const std::string& text, uint32_t& hostOrder)
{
    in_addr a{};
    if (::inet_pton(AF_INET, text.c_str(), &a) != 1)
        return false;
    hostOrder = ntohl(a.s_addr);
    return true;
}

std::vector<std::string> texts(const std::vector<TAddressRange>& list)
{
    std::vector<std::string> out;
    for (const TAddressRange& r : list)
        out.push_back(r.Text());
    return out;
}

} // namespace

bool TAddressRange::Parse(const std::string& text, TAddressRange& out)
{
    const std::string t = trimmed(text);
    const size_t slash = t.find('/');
    uint32_t addr = 0;
    if (!parseAddress(t.substr(0, slash), addr))
        return false;
    int bits = 32;
    if (slash != std::string::npos) {
        const std::string b = t.substr(slash + 1);
        if (b.empty() || b.size() > 2 || !std::all_of(b.begin(), b.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        bits = std::stoi(b);
        if (bits > 32)
            return false;
    }
    out.mask = bits == 0 ? 0 : ~uint32_t(0) << (32 - bits);
    out.net = addr & out.mask;
    return true;
}

std::string TAddressRange::Text() const
{
    in_addr a{};
    a.s_addr = htonl(net);
    char buf[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &a, buf, sizeof buf);
    std::string text = buf;
    if (mask != ~uint32_t(0))
        text += "/" + std::to_string(__builtin_popcount(mask));
    return text;
}

bool TAddressRules::add(std::vector<TAddressRange>& list, const std::string& text)
{
    TAddressRange r;
    if (!TAddressRange::Parse(text, r))
        return false;
    if (std::find(list.begin(), list.end(), r) == list.end())
        list.push_back(r);
    return true;
}

bool TAddressRules::Deny(const std::string& text)
{
    return add(FDenied, text);
}

bool TAddressRules::Allow(const std::string& text)
{
    return add(FAllowed, text);
}

bool TAddressRules::Undeny(const std::string& text)
{
    TAddressRange r;
    if (!TAddressRange::Parse(text, r))
        return false;
    const auto it = std::find(FDenied.begin(), FDenied.end(), r);
    if (it == FDenied.end())
        return false;
    FDenied.erase(it);
    return true;
}

void TAddressRules::Clear()
{
    FDenied.clear();
    FAllowed.clear();
}

bool TAddressRules::Admits(const std::string& dottedAddress) const
{
    if (Empty())
        return true;
    uint32_t a = 0;
    if (!parseAddress(dottedAddress, a))
        return false;
    auto holds = [a](const TAddressRange& r) { return r.Contains(a); };
    if (std::any_of(FDenied.begin(), FDenied.end(), holds))
        return false;
    return FAllowed.empty() || std::any_of(FAllowed.begin(), FAllowed.end(), holds);
}

std::vector<std::string> TAddressRules::DeniedTexts() const
{
    return texts(FDenied);
}

std::vector<std::string> TAddressRules::AllowedTexts() const
{
    return texts(FAllowed);
}
