// libFuzzer target: the readable conversion (decoder, tokenizer, renderer)
// on any bytes. The input fed in pieces chosen by the input itself must give
// exactly the text it gives fed whole, and that text must be valid UTF-8.
//
// By hand, for longer:  build-asan/bin/fuzz_readable -max_total_time=600 CORPUS_DIR
#include "fuzz_text.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using fuzztext::render;
using fuzztext::validUtf8;

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
