// libFuzzer target: the decoder, fed in chunks chosen by the input itself,
// must give exactly what it gives for the whole input at once, and always
// well-formed UTF-8.
//
// By hand, for longer:  build-asan/bin/fuzz_html_decoder -max_total_time=600 CORPUS_DIR
#include "html/encoding/decoder.h"
#include "html/encoding/encoding.h"
#include "html/encoding/utf8.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The first byte picks the HTTP charset (none, or one encoding of the
    // list); the next four the chunk sizes, used in turn.
    if (size < 5)
        return 0;
    const std::size_t count = quillan::html::encodingCount();
    const std::size_t pick = data[0] % (count + 1);
    const std::string_view http = pick == count ? std::string_view{} : quillan::html::encodingAt(pick).name;
    std::vector<std::size_t> sizes;
    for (std::size_t i = 1; i < 5; ++i)
        sizes.push_back(data[i] % 23 + 1);
    const std::string_view input(reinterpret_cast<const char *>(data) + 5, size - 5);

    quillan::html::EncodingChoice wholeChoice;
    const std::string whole = quillan::html::decodeToUtf8(input, http, &wholeChoice);

    quillan::html::Decoder decoder(http);
    std::string streamed;
    std::size_t at = 0;
    for (std::size_t k = 0; at < input.size(); ++k) {
        const std::size_t n = sizes[k % sizes.size()];
        decoder.decode(input.substr(at, n), streamed);
        at += n;
    }
    decoder.finish(streamed);

    if (streamed != whole || decoder.choice().name != wholeChoice.name || decoder.choice().source != wholeChoice.source)
        std::abort();
    if (quillan::html::utf8::validPrefix(whole) != whole.size())
        std::abort();
    return 0;
}
