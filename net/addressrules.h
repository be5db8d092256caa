#pragma once
// Who may call a hub: lists of IPv4 addresses and networks to deny and to
// allow, each entry written "ADDR" or "ADDR/BITS" (192.0.2.7,
// 198.51.100.0/24). A caller is admitted when no deny entry holds its
// address and, if the allow list has entries, one of them does.
//
//   TAddressRules rules;
//   rules.Deny("198.51.100.0/24");      // false for a text that is no entry
//   rules.Admits("198.51.100.9");       // false

#include <cstdint>
#include <string>
#include <vector>

// One entry: a network and its mask, in host byte order.
struct TAddressRange {
    uint32_t net = 0;
    uint32_t mask = 0;

    // "ADDR" (a /32) or "ADDR/BITS", BITS 0 to 32, spaces around allowed.
    // Host bits under the mask are cleared (192.0.2.7/24 is 192.0.2.0/24).
    static bool Parse(const std::string& text, TAddressRange& out);
    // "a.b.c.d" for a /32, "a.b.c.d/BITS" otherwise.
    std::string Text() const;
    bool Contains(uint32_t hostOrder) const { return (hostOrder & mask) == net; }
    bool operator==(const TAddressRange& o) const { return net == o.net && mask == o.mask; }
};

class TAddressRules {
public:
    // Add an entry (once); false, and nothing added, for a text that is
    // not one.
    bool Deny(const std::string& text);
    bool Allow(const std::string& text);
    // Take an entry off the deny list; false when it was not there.
    bool Undeny(const std::string& text);
    void Clear();

    // A caller from this dotted address may be seated. A text that is not
    // an address is refused while any rule is set.
    bool Admits(const std::string& dottedAddress) const;
    bool Empty() const { return FDenied.empty() && FAllowed.empty(); }

    std::vector<std::string> DeniedTexts() const;
    std::vector<std::string> AllowedTexts() const;

private:
    static bool add(std::vector<TAddressRange>& list, const std::string& text);
    std::vector<TAddressRange> FDenied;
    std::vector<TAddressRange> FAllowed;
};
