#include "platform/htmlhelp/ChmWriter.h"

#include "base/fd_io.h"
#include "base/littleendian.h"
#include "base/replace_file.h"
#include "base/text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace platform::htmlhelp {

namespace {

constexpr std::uint32_t kChunkLength = 0x1000;
constexpr std::uint32_t kItsfLength = 0x60;
constexpr std::uint32_t kSection0Length = 0x18;
constexpr std::uint32_t kItspLength = 0x54;
constexpr std::uint32_t kPmglHeaderLength = 0x14;
constexpr std::uint32_t kPmgiHeaderLength = 0x08;
constexpr std::uint32_t kNoChunk = 0xffffffffu;

// Directory numbers: 7 bits a byte, most significant first, high bit set on
// every byte but the last.
void appendEncInt(std::string &out, std::uint64_t v)
{
    std::string bytes(1, static_cast<char>(v & 0x7f));
    for (v >>= 7; v != 0; v >>= 7)
        bytes.insert(bytes.begin(), static_cast<char>(0x80 | (v & 0x7f)));
    out += bytes;
}

void appendGuid(std::string &out, std::uint32_t first)
{
    base::AppendLe32(out, first);
    const unsigned char rest[12] = {0xaa, 0x7b, 0xd0, 0x11, 0x9e, 0x0c, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xec};
    out.append(reinterpret_cast<const char *>(rest), sizeof rest);
}

// A listing chunk: its entries (name, section, offset, length) and the
// first name, which the index chunk points readers to.
struct Listing {
    std::string firstName;
    std::string entries;
};

std::string finishChunk(std::string chunk)
{
    chunk.resize(kChunkLength, '\0');
    return chunk;
}

} // namespace

bool ChmWriter::NameOrder::operator()(const std::string &a, const std::string &b) const
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(base::AsciiLower(x)) < static_cast<unsigned char>(base::AsciiLower(y));
    });
}

ChmWriter &ChmWriter::add(const std::string &path, std::string data)
{
    if (path.size() < 2 || path.front() != '/' || path.back() == '/')
        throw std::invalid_argument("not a stored object path: \"" + path + "\"");
    const auto it = objects_.find(path);
    if (it != objects_.end() && it->first != path)
        throw std::invalid_argument("\"" + path + "\" differs from \"" + it->first + "\" only in case");
    objects_[path] = std::move(data);
    return *this;
}

std::string ChmWriter::bytes(std::uint32_t languageId) const
{
    // Content section 0 holds every object back to back, in directory order.
    std::string content;
    std::vector<Listing> listings(1);
    for (const auto &[name, data] : objects_) {
        std::string entry;
        appendEncInt(entry, name.size());
        entry += name;
        appendEncInt(entry, 0); // section 0: uncompressed
        appendEncInt(entry, content.size());
        appendEncInt(entry, data.size());
        content += data;
        if (kPmglHeaderLength + entry.size() > kChunkLength)
            throw std::length_error("object name too long for a directory chunk: " + name);
        if (kPmglHeaderLength + listings.back().entries.size() + entry.size() > kChunkLength)
            listings.emplace_back();
        if (listings.back().entries.empty())
            listings.back().firstName = name;
        listings.back().entries += entry;
    }

    const auto listingCount = static_cast<std::uint32_t>(listings.size());
    std::vector<std::string> chunks;
    for (std::uint32_t i = 0; i < listingCount; ++i) {
        const std::string &entries = listings[i].entries;
        std::string chunk = "PMGL";
        base::AppendLe32(chunk, static_cast<std::uint32_t>(kChunkLength - kPmglHeaderLength - entries.size()));
        base::AppendLe32(chunk, 0);
        base::AppendLe32(chunk, i == 0 ? kNoChunk : i - 1);
        base::AppendLe32(chunk, i + 1 == listingCount ? kNoChunk : i + 1);
        chunks.push_back(finishChunk(chunk + entries));
    }
    // With more than one listing chunk, readers find the right one through
    // an index chunk naming each listing chunk's first entry.
    std::uint32_t indexRoot = kNoChunk;
    if (listingCount > 1) {
        std::string entries;
        for (std::uint32_t i = 0; i < listingCount; ++i) {
            appendEncInt(entries, listings[i].firstName.size());
            entries += listings[i].firstName;
            appendEncInt(entries, i);
        }
        if (kPmgiHeaderLength + entries.size() > kChunkLength)
            throw std::length_error("help file directory too large for one index chunk");
        std::string chunk = "PMGI";
        base::AppendLe32(chunk, static_cast<std::uint32_t>(kChunkLength - kPmgiHeaderLength - entries.size()));
        indexRoot = listingCount;
        chunks.push_back(finishChunk(chunk + entries));
    }

    std::string itsp = "ITSP";
    base::AppendLe32(itsp, 1);
    base::AppendLe32(itsp, kItspLength);
    base::AppendLe32(itsp, 0x0a);
    base::AppendLe32(itsp, kChunkLength);
    base::AppendLe32(itsp, 2);                        // quick-reference density
    base::AppendLe32(itsp, listingCount > 1 ? 2 : 1); // index depth
    base::AppendLe32(itsp, indexRoot);
    base::AppendLe32(itsp, 0);                // first listing chunk
    base::AppendLe32(itsp, listingCount - 1); // last listing chunk
    base::AppendLe32(itsp, kNoChunk);
    base::AppendLe32(itsp, static_cast<std::uint32_t>(chunks.size()));
    base::AppendLe32(itsp, languageId);
    appendGuid(itsp, 0x5d02926a);
    base::AppendLe32(itsp, kItspLength);
    base::AppendLe32(itsp, kNoChunk);
    base::AppendLe32(itsp, kNoChunk);
    base::AppendLe32(itsp, kNoChunk);

    const std::uint64_t dirOffset = kItsfLength + kSection0Length;
    const std::uint64_t dirLength = itsp.size() + std::uint64_t{kChunkLength} * chunks.size();
    const std::uint64_t dataOffset = dirOffset + dirLength;

    std::string out = "ITSF";
    base::AppendLe32(out, 3);
    base::AppendLe32(out, kItsfLength);
    base::AppendLe32(out, 1);
    base::AppendLe32(out, 0); // time stamp: none, so equal objects give equal files
    base::AppendLe32(out, languageId);
    appendGuid(out, 0x7c01fd10);
    appendGuid(out, 0x7c01fd11);
    base::AppendLe64(out, kItsfLength);
    base::AppendLe64(out, kSection0Length);
    base::AppendLe64(out, dirOffset);
    base::AppendLe64(out, dirLength);
    base::AppendLe64(out, dataOffset);

    base::AppendLe32(out, 0x01fe);
    base::AppendLe32(out, 0);
    base::AppendLe64(out, dataOffset + content.size());
    base::AppendLe32(out, 0);
    base::AppendLe32(out, 0);

    out += itsp;
    for (const auto &chunk : chunks)
        out += chunk;
    out += content;
    return out;
}

void ChmWriter::write(const std::filesystem::path &path, std::uint32_t languageId) const
{
    const std::string data = bytes(languageId);
    base::FileReplacement replacement;
    base::ReplaceOptions options;
    options.newFileMode = 0644;
    int error = replacement.open(path, options);
    if (error == 0)
        error = base::WriteAll(replacement.fd(), data.data(), data.size());
    if (error == 0)
        error = replacement.commit();
    if (error != 0) {
        replacement.abandon();
        throw std::runtime_error("cannot write " + path.string() + ": " + std::strerror(error));
    }
}

} // namespace platform::htmlhelp
