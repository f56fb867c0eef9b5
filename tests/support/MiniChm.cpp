#include "support/MiniChm.h"

#include <fstream>
#include <stdexcept>

namespace testchm {

namespace {

constexpr std::uint32_t kBlockLength = 0x1000;
constexpr std::uint32_t kItsfLength = 0x60;
constexpr std::uint32_t kSection0Length = 0x18;
constexpr std::uint32_t kItspLength = 0x54;
constexpr std::uint32_t kPmglHeaderLength = 0x14;

void put16(std::string &out, std::uint16_t v)
{
    out.push_back(static_cast<char>(v & 0xff));
    out.push_back(static_cast<char>(v >> 8));
}

void put32(std::string &out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

void put64(std::string &out, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

// Directory numbers: 7 bits a byte, most significant first, high bit set on
// every byte but the last.
void putEncInt(std::string &out, std::uint64_t v)
{
    std::string bytes(1, static_cast<char>(v & 0x7f));
    for (v >>= 7; v != 0; v >>= 7)
        bytes.insert(bytes.begin(), static_cast<char>(0x80 | (v & 0x7f)));
    out += bytes;
}

void putGuid(std::string &out, std::uint32_t first)
{
    put32(out, first);
    const unsigned char rest[12] = {0xaa, 0x7b, 0xd0, 0x11, 0x9e, 0x0c, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xec};
    out.append(reinterpret_cast<const char *>(rest), sizeof rest);
}

} // namespace

MiniChm &MiniChm::add(const std::string &path, std::string data)
{
    objects_[path] = std::move(data);
    return *this;
}

MiniChm &MiniChm::system(const std::string &defaultTopic, const std::string &title)
{
    std::string data;
    put32(data, 3);
    for (const auto &[code, text] : {std::pair<std::uint16_t, std::string>{2, defaultTopic},
                                     std::pair<std::uint16_t, std::string>{3, title}}) {
        put16(data, code);
        put16(data, static_cast<std::uint16_t>(text.size() + 1));
        data += text;
        data.push_back('\0');
    }
    return add("/#SYSTEM", std::move(data));
}

MiniChm &MiniChm::contextMap(const std::vector<std::pair<std::int32_t, std::string>> &map)
{
    std::string strings(1, '\0');
    std::string ivb;
    put32(ivb, static_cast<std::uint32_t>(map.size() * 8));
    for (const auto &[id, name] : map) {
        put32(ivb, static_cast<std::uint32_t>(id));
        put32(ivb, static_cast<std::uint32_t>(strings.size()));
        strings += name;
        strings.push_back('\0');
    }
    add("/#IVB", std::move(ivb));
    return add("/#STRINGS", std::move(strings));
}

void MiniChm::write(const std::filesystem::path &path) const
{
    // Content section 0 holds every object back to back.
    std::string content;
    std::string entries;
    for (const auto &[name, data] : objects_) {
        putEncInt(entries, name.size());
        entries += name;
        putEncInt(entries, 0); // section 0: uncompressed
        putEncInt(entries, content.size());
        putEncInt(entries, data.size());
        content += data;
    }
    if (kPmglHeaderLength + entries.size() > kBlockLength)
        throw std::runtime_error("MiniChm: directory does not fit in one chunk");

    std::string chunk = "PMGL";
    put32(chunk, static_cast<std::uint32_t>(kBlockLength - kPmglHeaderLength - entries.size()));
    put32(chunk, 0);
    put32(chunk, 0xffffffffu);
    put32(chunk, 0xffffffffu);
    chunk += entries;
    chunk.resize(kBlockLength, '\0');

    std::string itsp = "ITSP";
    put32(itsp, 1);
    put32(itsp, kItspLength);
    put32(itsp, 0x0a);
    put32(itsp, kBlockLength);
    put32(itsp, 2);           // quick-reference density
    put32(itsp, 1);           // index depth: one listing chunk, no index
    put32(itsp, 0xffffffffu); // no index chunk
    put32(itsp, 0);           // first listing chunk
    put32(itsp, 0);           // last listing chunk
    put32(itsp, 0xffffffffu);
    put32(itsp, 1);           // number of chunks
    put32(itsp, 0x409);
    putGuid(itsp, 0x5d02926a);
    put32(itsp, kItspLength);
    put32(itsp, 0xffffffffu);
    put32(itsp, 0xffffffffu);
    put32(itsp, 0xffffffffu);

    const std::uint64_t dirOffset = kItsfLength + kSection0Length;
    const std::uint64_t dirLength = itsp.size() + chunk.size();
    const std::uint64_t dataOffset = dirOffset + dirLength;

    std::string itsf = "ITSF";
    put32(itsf, 3);
    put32(itsf, kItsfLength);
    put32(itsf, 1);
    put32(itsf, 0);
    put32(itsf, 0x409);
    putGuid(itsf, 0x7c01fd10);
    putGuid(itsf, 0x7c01fd11);
    put64(itsf, kItsfLength);
    put64(itsf, kSection0Length);
    put64(itsf, dirOffset);
    put64(itsf, dirLength);
    put64(itsf, dataOffset);

    std::string section0;
    put32(section0, 0x01fe);
    put32(section0, 0);
    put64(section0, dataOffset + content.size());
    put32(section0, 0);
    put32(section0, 0);

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << itsf << section0 << itsp << chunk << content;
    if (!out.flush())
        throw std::runtime_error("MiniChm: cannot write " + path.string());
}

} // namespace testchm
