#include "negotiation.h"

namespace negotiation {

namespace {

constexpr struct {
    TStep step;
    std::string_view verb;
} kVerbs[] = {{TStep::Offer, "offer"}, {TStep::Accept, "accept"}, {TStep::Go, "go"}};

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
    const int version = parseVersion(line.substr(space + 1));
    if (version == 0)
        return {};
    for (const auto& v : kVerbs)
        if (v.verb == verb)
            return {v.step, version};
    return {};
}

std::string Build(TStep step, int version)
{
    for (const auto& v : kVerbs)
        if (v.step == step)
            return kKind + std::string(v.verb) + ' ' + std::to_string(version) + '\n';
    return {};
}

} // namespace negotiation
