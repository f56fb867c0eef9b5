// The archive road's readers on any bytes: the input framing (plain or
// gzip), the WARC records, the HTTP head and the body decoders. Whatever
// the bytes, no crash, no read out of bounds, and every record read either
// ends sound or is reported damaged.
#include "archive/archive_input.h"
#include "archive/http_message.h"
#include "archive/warc_reader.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

using namespace quillan::archive;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const int fd = ::memfd_create("fuzz-warc", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    if (size > 0 && ::write(fd, data, size) != ssize_t(size)) {
        ::close(fd);
        return 0;
    }
    ::lseek(fd, 0, SEEK_SET);
    try {
        ArchiveInput input(fd);
        WarcReader reader(input, [](const RecordOffset &, const std::string &) {});
        char buffer[4096];
        while (reader.next()) {
            // Copied and in place by turns.
            std::string block;
            for (bool copied = true; block.size() < 1 << 20; copied = !copied) {
                if (copied) {
                    const std::size_t n = reader.readBlock(buffer, sizeof buffer);
                    if (n == 0)
                        break;
                    block.append(buffer, n);
                } else {
                    const std::string_view bytes = reader.readBlockView(sizeof buffer + 123);
                    if (bytes.empty())
                        break;
                    block.append(bytes);
                }
            }
            reader.finish();
            const std::optional<std::size_t> end = httpHeadEnd(block);
            if (!end)
                continue;
            const std::optional<HttpHead> head = parseHttpHead(std::string_view(block).substr(0, *end));
            if (!head)
                continue;
            (void)charsetOf(head->field("Content-Type"));
            try {
                std::size_t out = 0;
                BodyDecoder body(head->field("Transfer-Encoding"), head->field("Content-Encoding"),
                                 [&out](std::string_view bytes) {
                                     out += bytes.size();
                                     if (out > (std::size_t(1) << 24))
                                         throw BodyFault{"too large"};
                                 });
                body.feed(std::string_view(block).substr(*end));
                body.finish();
            } catch (const BodyFault &) {
            }
        }
    } catch (const InputFailure &) {
    }
    ::close(fd);
    return 0;
}
