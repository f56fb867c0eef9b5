#pragma once
// What the readable and article fuzz targets share: how an input splits into
// options, piece sizes and page, the conversion of a page fed in pieces, the
// check that text is valid UTF-8, and the switch for a comparison that make
// test leaves to its seeds.
#include "text/conversion.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace fuzztext {

class StringSink : public quillan::text::readable::TextSink {
public:
    void write(std::string_view utf8) override { text.append(utf8); }
    std::string text;
};

// An input as the targets read it: the first byte chooses the options, the
// next up to four the piece sizes, the rest is the page.
struct Input {
    quillan::text::Options options;
    std::vector<std::size_t> pieces;
    std::string_view page;
};

inline Input split(const std::uint8_t *data, std::size_t size)
{
    Input input;
    std::size_t used = 0;
    input.options.kind = quillan::text::Kind::Readable;
    if (used < size) {
        input.options.links = data[used] & 1;
        input.options.width = (data[used] >> 1) & 1 ? 8 + (data[used] >> 2) : 0;
        ++used;
    }
    while (used < size && input.pieces.size() < 4)
        input.pieces.push_back(data[used++] % 23 + 1);
    input.page = std::string_view(reinterpret_cast<const char *>(data) + used, size - used);
    return input;
}

inline bool validUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

// The text of `page` fed in `pieces` (none: whole); what the conversion
// learnt in `*result` when given.
inline std::string render(std::string_view page, const std::vector<std::size_t> &pieces,
                          const quillan::text::Options &o, quillan::text::Result *result = nullptr)
{
    StringSink out;
    const auto text = quillan::text::makeConverter(o, out);
    std::size_t at = 0, k = 0;
    while (at < page.size()) {
        const std::size_t n = pieces.empty() ? page.size() : std::min(pieces[k++ % pieces.size()], page.size() - at);
        text->feed(page.substr(at, n));
        at += n;
    }
    quillan::text::Result learnt = text->finish();
    if (result)
        *result = std::move(learnt);
    return out.text;
}

// Whether a comparison with another reading of the page is on: it is unless
// the environment variable `name` is "0". make test fuzzes with it off (for
// memory faults and the target's own invariants) and replays the seeds with
// it on, so that a new finding fails a run by hand rather than a build.
inline bool comparing(const char *name)
{
    const char *value = std::getenv(name);
    return !value || std::string_view(value) != "0";
}

} // namespace fuzztext
