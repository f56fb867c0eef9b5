// The archive road's readers on any bytes: the input framing (plain or
// gzip), the WARC records, the HTTP head and the body decoders. Whatever
// the bytes, no crash, no read out of bounds, and every record read either
// ends sound or is reported damaged.
//
// Two properties besides:
// - gzip member boundaries do not matter: the bytes read as a plain
//   archive, and the same bytes compressed as gzip members cut at places
//   the input chooses, give the same records and the same damage;
// - a record whose Content-Length lies (too short, too long, past the end
//   of the file) loses no record after it: records built from the input's
//   pieces, one of them given a wrong length, are all read but that one.
#include "archive/archive_input.h"
#include "archive/http_message.h"
#include "archive/warc_reader.h"

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

using namespace quillan::archive;

namespace {

struct Records {
    std::vector<std::string> blocks;  // of the sound records
    std::vector<std::string> reasons; // of the damage reported
};

// Reads every record of `bytes`; the HTTP bodies are decoded too when
// `decode`.
Records readAll(const std::string &bytes, bool decode)
{
    Records out;
    const int fd = ::memfd_create("fuzz-warc", MFD_CLOEXEC);
    if (fd < 0)
        std::abort();
    if (!bytes.empty() && ::write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()))
        std::abort();
    ::lseek(fd, 0, SEEK_SET);
    try {
        ArchiveInput input(fd);
        WarcReader reader(input, [&out](const Damage &damage) {
            out.reasons.push_back(damage.reason);
            (void)damage.skipped();
        });
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
                    const std::string_view piece = reader.readBlockView(sizeof buffer + 123);
                    if (piece.empty())
                        break;
                    block.append(piece);
                }
            }
            if (reader.finish())
                out.blocks.push_back(block);
            if (!decode)
                continue;
            const std::optional<std::size_t> end = httpHeadEnd(block);
            if (!end)
                continue;
            const std::optional<HttpHead> head = parseHttpHead(std::string_view(block).substr(0, *end));
            if (!head)
                continue;
            (void)charsetOf(head->field("Content-Type"));
            try {
                std::size_t size = 0;
                BodyDecoder body(head->field("Transfer-Encoding"), head->field("Content-Encoding"),
                                 [&size](std::string_view piece) {
                                     size += piece.size();
                                     if (size > (std::size_t(1) << 24))
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
    return out;
}

std::string gzipMember(std::string_view bytes)
{
    z_stream z{};
    // A small window and little memory: members are many and short.
    if (deflateInit2(&z, 1, Z_DEFLATED, 16 + 9, 1, Z_DEFAULT_STRATEGY) != Z_OK)
        std::abort();
    std::string out(deflateBound(&z, uLong(bytes.size())) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.data()));
    z.avail_in = unsigned(bytes.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = unsigned(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END)
        std::abort();
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    return out;
}

// `plain` as gzip members whose sizes come from `cuts` in turn.
std::string blockedGzip(const std::string &plain, std::string_view cuts)
{
    std::string out;
    std::size_t at = 0;
    for (std::size_t i = 0; at < plain.size(); ++i) {
        const std::size_t size = cuts.empty() ? plain.size() : 1 + std::uint8_t(cuts[i % cuts.size()]) % 97;
        out += gzipMember(std::string_view(plain).substr(at, size));
        at += size;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    const Records plain = readAll(bytes, true);
    if (size < 4 || (data[0] == 0x1f && data[1] == 0x8b))
        return 0;

    // The same bytes in gzip members cut where the input's first bytes say.
    const std::string_view cuts = std::string_view(bytes).substr(0, 1 + data[0] % 8);
    const Records blocked = readAll(blockedGzip(bytes, cuts), false);
    if (blocked.blocks != plain.blocks || blocked.reasons != plain.reasons)
        std::abort();

    // Records of the input's pieces (one line each, without "WARC/1.", so
    // that no record is found inside another), one of them with a wrong
    // length.
    std::vector<std::string> bodies;
    for (std::size_t at = 4; at <= size && bodies.size() < 16;) {
        std::size_t end = bytes.find('\0', at);
        if (end == std::string::npos)
            end = size;
        std::string body = bytes.substr(at, end - at);
        for (char &c : body)
            if (c == 'W' || c == '\r' || c == '\n')
                c = '_';
        bodies.push_back(std::move(body));
        at = end + 1;
    }
    const std::size_t liar = data[1] % bodies.size();
    std::string archive;
    std::size_t liarBlockAt = 0;
    std::size_t liarLength = 0;
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        std::size_t length = bodies[i].size();
        if (i == liar) {
            switch (data[2] % 3) {
            case 0: length = length / 2; break;
            case 1: length += 1 + data[3]; break;
            default: length += 1 << 20; break; // past the end
            }
        }
        archive += "WARC/1.0\r\nWARC-Type: resource\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n";
        if (i == liar) {
            liarBlockAt = archive.size();
            liarLength = length;
        }
        archive += bodies[i] + "\r\n\r\n";
    }
    // What the liar's block is, should its wrong length frame a record.
    const std::string liarBlock = archive.substr(liarBlockAt, liarLength);
    for (const bool gzip : {false, true}) {
        const Records read = readAll(gzip ? blockedGzip(archive, cuts) : archive, false);
        if (read.blocks.size() > liar && read.blocks[liar] == liarBlock && liarBlock.size() == liarLength)
            continue; // the wrong length happened to frame a record, as it may
        // The liar was damaged: every record after it is read, in order.
        const std::size_t after = bodies.size() - liar - 1;
        if (read.blocks.size() < after)
            std::abort();
        for (std::size_t i = 0; i < after; ++i)
            if (read.blocks[read.blocks.size() - after + i] != bodies[liar + 1 + i])
                std::abort();
    }
    return 0;
}
