// libFuzzer target: the readable conversion (decoder, tokenizer, renderer)
// on any bytes. The input fed in pieces chosen by the input itself must give
// exactly the text it gives fed whole, and that text must be valid UTF-8.
//
// By hand, for longer:  build-asan/bin/fuzz_readable -max_total_time=600 CORPUS_DIR
#include "conversion/readable_converter.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

class StringSink : public quillan::readable::TextSink {
public:
    void write(std::string_view utf8) override { text.append(utf8); }
    std::string text;
};

bool validUtf8(std::string_view s)
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

std::string render(std::string_view page, const std::vector<std::size_t> &pieces, const quillan::ReadableOptions &o)
{
    StringSink out;
    quillan::ReadableText text(out, o);
    std::size_t at = 0, k = 0;
    while (at < page.size()) {
        const std::size_t n = pieces.empty() ? page.size() : std::min(pieces[k++ % pieces.size()], page.size() - at);
        text.feed(page.substr(at, n));
        at += n;
    }
    text.finish();
    return out.text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The first byte chooses the options, the next up to four the piece sizes.
    std::size_t used = 0;
    quillan::ReadableOptions options;
    if (used < size) {
        options.links = data[used] & 1;
        options.width = (data[used] >> 1) & 1 ? 8 + (data[used] >> 2) : 0;
        ++used;
    }
    std::vector<std::size_t> pieces;
    while (used < size && pieces.size() < 4)
        pieces.push_back(data[used++] % 23 + 1);
    const std::string_view page(reinterpret_cast<const char *>(data) + used, size - used);

    const std::string whole = render(page, {}, options);
    if (!validUtf8(whole))
        std::abort();
    if (render(page, pieces, options) != whole)
        std::abort();
    return 0;
}
