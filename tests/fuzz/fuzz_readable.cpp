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
    const auto [options, pieces, page] = fuzztext::split(data, size);

    const std::string whole = render(page, {}, options);
    if (!validUtf8(whole))
        std::abort();
    if (render(page, pieces, options) != whole)
        std::abort();
    return 0;
}
