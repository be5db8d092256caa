// The negotiation's parser fed arbitrary lines: it never crashes, and every
// line it takes for a step is exactly the line built for that step and
// version (so nothing else, no CR, no padding, no other spelling, passes).
#include "negotiation.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const negotiation::TLine parsed = negotiation::Parse(line);
    if (parsed.step == negotiation::TStep::None)
        return 0;
    const bool versioned = parsed.text.empty();
    if (versioned && (parsed.version < 1 || parsed.version > negotiation::kMaxVersion))
        std::abort();
    const std::string built =
        versioned ? negotiation::Build(parsed.step, parsed.version) : negotiation::Build(parsed.step, parsed.text);
    if (std::string_view(built).substr(0, built.size() - 1) != line)
        std::abort();
    return 0;
}
