#include "negotiation.h"

#include "knownhubs.h"

namespace negotiation {

namespace {

constexpr struct {
    TStep step;
    std::string_view verb;
    bool versioned;
} kVerbs[] = {{TStep::Offer, "offer", true},  {TStep::Accept, "accept", true}, {TStep::Go, "go", true},
              {TStep::Word, "word", true},    {TStep::Wrong, "wrong", true},   {TStep::Key, "key", false},
              {TStep::Proof, "proof", false}, {TStep::Plain, "plain", false}};

bool isProof(std::string_view s)
{
    if (s.size() != kProofDigits)
        return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

bool isName(std::string_view s)
{
    return !s.empty() && s.find('\r') == std::string_view::npos && s.find('\0') == std::string_view::npos;
}

bool fits(TStep step, std::string_view text)
{
    switch (step) {
    case TStep::Key: return TKnownHubs::IsFingerprint(std::string(text));
    case TStep::Proof: return isProof(text);
    case TStep::Plain: return isName(text);
    default: return false;
    }
}

// "1" .. "999" without a leading zero; 0 for anything else.
int parseVersion(std::string_view s)
{
    if (s.empty() || s.size() > 3 || s[0] == '0')
        return 0;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return 0;
        v = v * 10 + (c - '0');
    }
    return v;
}

} // namespace

TLine Parse(std::string_view line)
{
    if (line.empty() || line[0] != kKind)
        return {};
    line.remove_prefix(1);
    const size_t space = line.find(' ');
    if (space == std::string_view::npos)
        return {};
    const std::string_view verb = line.substr(0, space);
    const std::string_view rest = line.substr(space + 1);
    for (const auto& v : kVerbs) {
        if (v.verb != verb)
            continue;
        if (!v.versioned)
            return fits(v.step, rest) ? TLine{v.step, 0, std::string(rest)} : TLine{};
        const int version = parseVersion(rest);
        return version == 0 ? TLine{} : TLine{v.step, version, {}};
    }
    return {};
}

std::string Build(TStep step, int version)
{
    for (const auto& v : kVerbs)
        if (v.step == step && v.versioned)
            return kKind + std::string(v.verb) + ' ' + std::to_string(version) + '\n';
    return {};
}

std::string Build(TStep step, std::string_view text)
{
    if (!fits(step, text))
        return {};
    for (const auto& v : kVerbs)
        if (v.step == step)
            return kKind + std::string(v.verb) + ' ' + std::string(text) + '\n';
    return {};
}

} // namespace negotiation
