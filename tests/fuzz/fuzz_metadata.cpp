// libFuzzer target: the page's metadata. The strict JSON reader must refuse
// or read any input without a fault; the metadata of a page must not depend
// on where the pieces fed to the scan end, and every field must be valid
// UTF-8 with its white space collapsed.
//
// By hand, for longer:  build-asan/bin/fuzz_metadata -max_total_time=600 CORPUS_DIR
#include "html/encoding/utf8.h"
#include "text/metadata/json.h"
#include "text/metadata/metadata_scan.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace quillan::text::metadata;
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    (void)json::parse(input);

    const Metadata whole = pageMetadata(input, {}, "http://example.com/a/b");
    MetadataScan scan({}, "http://example.com/a/b");
    const std::size_t piece = size == 0 ? 1 : data[0] % 17 + 1;
    for (std::size_t at = 0; at < size; at += piece)
        scan.feed(input.substr(at, piece));
    if (!(scan.finish() == whole))
        std::abort();
    for (const NamedField &field : kFields) {
        const std::string &value = whole.*field.member;
        if (quillan::html::utf8::validPrefix(value) != value.size() || value.starts_with(' ') || value.ends_with(' ') ||
            value.find("  ") != std::string::npos)
            std::abort();
    }
    return 0;
}
