// libFuzzer target: the streaming filter, fed in chunks chosen by the input
// itself, must give exactly what the whole-input reference gives.
//
// By hand, for longer:  build-asan/bin/fuzz_tag_stripper -max_total_time=600 CORPUS_DIR
#include "support/reference_stripper.h"
#include "text/strip/strip_helpers.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The first bytes choose the read sizes and the output buffer size.
    std::vector<std::size_t> sizes;
    std::size_t used = 0;
    while (used < size && used < 4)
        sizes.push_back(data[used++] % 17 + 1);
    const std::size_t outBuffer = 16 + (used < size ? data[used++] : 0);
    const std::string_view input(reinterpret_cast<const char *>(data) + used, size - used);

    const std::string streamed = stripChunked(input, sizes, outBuffer);
    const std::string expected = reference::strip(std::string(input));
    if (streamed != expected)
        std::abort();
    return 0;
}
