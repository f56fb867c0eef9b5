#pragma once
#include "text/strip/tag_stripper.h"

#include <string>
#include <string_view>
#include <vector>

// Runs the streaming filter over `input` cut at the given chunk sizes
// (cycling through them), with a small output buffer so that buffer
// hand-overs happen often too.
inline std::string stripChunked(std::string_view input, const std::vector<std::size_t> &sizes,
                                std::size_t outBuffer = 64 * 1024)
{
    std::string out;
    quillan::text::strip::TagStripper stripper([&out](std::string_view piece) { out.append(piece); }, outBuffer);
    std::size_t i = 0;
    std::size_t k = 0;
    while (i < input.size()) {
        std::size_t n = sizes.empty() ? input.size() : sizes[k++ % sizes.size()];
        if (n == 0)
            n = 1;
        n = std::min(n, input.size() - i);
        stripper.feed(input.substr(i, n));
        i += n;
    }
    stripper.finish();
    return out;
}

inline std::string strip(std::string_view input)
{
    return stripChunked(input, {});
}
