// libFuzzer target: the HTML tokenizer, fed in chunks chosen by the input
// itself and with states switched as a tree builder would, must give the same
// tokens as when it gets the input in one piece, and end it exactly once.
//
// By hand, for longer:  build-asan/bin/fuzz_html_tokenizer -max_total_time=600 CORPUS_DIR
#include "html/tokenizer/token_recorder.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The first bytes choose the chunk sizes.
    std::vector<std::size_t> sizes;
    std::size_t used = 0;
    while (used < size && used < 3)
        sizes.push_back(data[used++] % 23 + 1);
    const std::string_view input(reinterpret_cast<const char *>(data) + used, size - used);

    tokentest::Options options;
    options.treeBuilder = true;
    const tokentest::Result whole = tokentest::tokenizeChunks(input, {}, options);
    const tokentest::Result cut = tokentest::tokenizeChunks(input, sizes, options);
    if (whole.endOfFileCalls != 1 || cut.endOfFileCalls != 1 || whole.tokens != cut.tokens)
        std::abort();
    return 0;
}
