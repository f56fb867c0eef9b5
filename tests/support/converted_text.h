#pragma once
// A page converted in memory by a kind of text (text/conversion.h), fed in
// pieces of one size, for the tests of the kinds and of what uses them.

#include "text/conversion.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace testsupport {

class StringSink final : public quillan::text::Sink {
public:
    void write(std::string_view piece) override { text.append(piece); }
    std::string text;
};

struct ConvertedText {
    std::string text;
    quillan::text::Result result;
};

// `page` fed in pieces of `piece` bytes (0: whole), its size not told.
inline ConvertedText convertInPieces(std::string_view page, const quillan::text::Options &options,
                                     std::size_t piece = 0)
{
    StringSink out;
    const auto converter = quillan::text::makeConverter(options, out);
    if (piece == 0)
        piece = page.size() + 1;
    for (std::size_t i = 0; i < page.size(); i += piece)
        converter->feed(page.substr(i, piece));
    quillan::text::Result result = converter->finish();
    return {std::move(out.text), std::move(result)};
}

} // namespace testsupport
