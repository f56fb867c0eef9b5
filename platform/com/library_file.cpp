// Reading a library file's own data: the ELF section table, the version
// block, and the resources (the table and the sections offered as
// resources), each file opened and its section table read once.
#include "platform/com/library_file.h"

#include "base/littleendian.h"
#include "base/text.h"
#include "platform/com/resources.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <optional>
#include <set>

namespace platform {

namespace {

template <typename T>
bool readAt(std::ifstream &in, std::uint64_t offset, T &value)
{
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char *>(&value), sizeof value);
    return static_cast<bool>(in);
}

struct SectionHeader64 {
    std::uint32_t name, type;
    std::uint64_t flags, addr, offset, size;
    std::uint32_t link, info;
    std::uint64_t addralign, entsize;
};
static_assert(sizeof(SectionHeader64) == 64);

using Sections = std::map<std::string, std::string, std::less<>>;

bool wanted(std::span<const std::string_view> names, std::string_view name)
{
    for (std::string_view n : names)
        if (n == name)
            return true;
    return false;
}

// Reads the wanted sections of an open file into `out`.
void readSections(std::ifstream &in, std::span<const std::string_view> sectionNames, Sections &out)
{
    in.seekg(0, std::ios::end);
    const auto fileSize = static_cast<std::uint64_t>(in.tellg());
    unsigned char ident[16] = {};
    in.seekg(0);
    if (!in.read(reinterpret_cast<char *>(ident), sizeof ident))
        return;
    // 64-bit little-endian ELF only.
    if (std::memcmp(ident,
                    "\x7f"
                    "ELF",
                    4) != 0 ||
        ident[4] != 2 || ident[5] != 1)
        return;
    std::uint64_t shoff = 0;
    std::uint16_t shentsize = 0, shnum = 0, shstrndx = 0;
    if (!readAt(in, 0x28, shoff) || !readAt(in, 0x3A, shentsize) || !readAt(in, 0x3C, shnum) ||
        !readAt(in, 0x3E, shstrndx))
        return;
    if (shentsize != sizeof(SectionHeader64) || shnum == 0 || shstrndx >= shnum || shoff > fileSize ||
        shnum * std::uint64_t{shentsize} > fileSize - shoff)
        return;

    auto header = [&](std::uint16_t i, SectionHeader64 &h) {
        return readAt(in, shoff + std::uint64_t{i} * shentsize, h);
    };
    SectionHeader64 strtab{};
    if (!header(shstrndx, strtab) || strtab.offset > fileSize || strtab.size > fileSize - strtab.offset)
        return;
    std::string names(strtab.size, '\0');
    in.seekg(static_cast<std::streamoff>(strtab.offset));
    if (!in.read(names.data(), static_cast<std::streamsize>(names.size())))
        return;

    // The first section of a name decides: a name whose first section is
    // unreadable is left out, as a file without it would be. A header that
    // cannot be read ends the search; what was found before it stays.
    std::set<std::string_view> decided;
    for (std::uint16_t i = 0; i < shnum && decided.size() < sectionNames.size(); ++i) {
        SectionHeader64 h{};
        if (!header(i, h))
            return;
        if (h.name >= names.size())
            continue;
        const std::string_view name(names.c_str() + h.name);
        if (!wanted(sectionNames, name) || !decided.insert(name).second)
            continue;
        constexpr std::uint32_t SHT_NOBITS = 8;
        if (h.type == SHT_NOBITS || h.offset > fileSize || h.size > fileSize - h.offset)
            continue;
        std::string data(h.size, '\0');
        in.seekg(static_cast<std::streamoff>(h.offset));
        if (!in.read(data.data(), static_cast<std::streamsize>(data.size()))) {
            in.clear();
            continue;
        }
        out.emplace(name, std::move(data));
    }
}

// Parses the table; false when it is damaged (bad mark or version, an entry
// running past the end, no end mark).
bool parseTable(std::string_view table, std::vector<LibraryResource> &out)
{
    if (table.size() < 8 || table.substr(0, 4) != "QRES" || base::ReadLe32(table, 4) != 1)
        return false;
    std::size_t pos = 8;
    auto text = [&](std::string &into) {
        if (table.size() - pos < 2)
            return false;
        const std::size_t length = base::ReadLe16(table, pos);
        pos += 2;
        if (table.size() - pos < length)
            return false;
        into.assign(table.substr(pos, length));
        pos += length;
        return true;
    };
    for (;;) {
        LibraryResource r;
        if (!text(r.type))
            return false;
        if (r.type.empty())
            return true;
        if (!text(r.name) || table.size() - pos < 4)
            return false;
        const std::size_t size = base::ReadLe32(table, pos);
        pos += 4;
        if (table.size() - pos < size)
            return false;
        r.data.assign(table.substr(pos, size));
        pos += size;
        out.push_back(std::move(r));
    }
}

} // namespace

std::optional<Sections> ReadElfSections(const std::filesystem::path &file,
                                        std::span<const std::string_view> sectionNames)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    Sections sections;
    readSections(in, sectionNames, sections);
    return sections;
}

std::optional<std::string> ReadElfSection(const std::filesystem::path &file, std::string_view sectionName)
{
    const std::string_view names[] = {sectionName};
    auto sections = ReadElfSections(file, names);
    if (!sections)
        return std::nullopt;
    auto it = sections->find(sectionName);
    if (it == sections->end())
        return std::nullopt;
    return std::move(it->second);
}

std::vector<std::pair<std::string, std::string>> ParseVersionBlock(std::string_view text)
{
    auto nul = text.find('\0');
    if (nul != std::string_view::npos)
        text = text.substr(0, nul);
    std::vector<std::pair<std::string, std::string>> entries;
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        auto eq = line.find('=');
        if (line.empty() || eq == std::string_view::npos || eq == 0)
            continue;
        entries.emplace_back(std::string(line.substr(0, eq)), std::string(line.substr(eq + 1)));
    }
    return entries;
}

std::optional<std::vector<std::pair<std::string, std::string>>> ReadLibraryIdentity(const std::filesystem::path &file)
{
    auto block = ReadElfSection(file, kVersionSection);
    if (!block)
        return std::nullopt;
    return ParseVersionBlock(*block);
}

HRESULT ReadLibraryResources(const std::filesystem::path &file, std::vector<LibraryResource> &out)
{
    out.clear();
    constexpr std::string_view names[] = {kResourceSection, kTypeLibSection, kVersionSection};
    auto sections = ReadElfSections(file, names);
    if (!sections)
        return HRESULT_FILE_NOT_FOUND;
    if (auto table = sections->find(kResourceSection); table != sections->end()) {
        if (!parseTable(table->second, out)) {
            out.clear();
            return HRESULT_INVALID_DATA;
        }
    }
    if (auto typeLib = sections->find(kTypeLibSection); typeLib != sections->end())
        out.push_back({kResourceTypeTypeLib, "1", std::move(typeLib->second)});
    if (auto version = sections->find(kVersionSection); version != sections->end())
        out.push_back({kResourceTypeVersion, "1", std::move(version->second)});
    return out.empty() ? HRESULT_RESOURCE_DATA_NOT_FOUND : S_OK;
}

HRESULT ReadLibraryResource(const std::filesystem::path &file, std::string_view type, std::string_view name,
                            std::string &data)
{
    data.clear();
    std::vector<LibraryResource> all;
    if (const HRESULT hr = ReadLibraryResources(file, all); FAILED(hr))
        return hr;
    bool typeFound = false;
    for (auto &r : all) {
        if (!base::EqualsNoCase(r.type, type))
            continue;
        typeFound = true;
        if (base::EqualsNoCase(r.name, name)) {
            data = std::move(r.data);
            return S_OK;
        }
    }
    return typeFound ? HRESULT_RESOURCE_NAME_NOT_FOUND : HRESULT_RESOURCE_TYPE_NOT_FOUND;
}

} // namespace platform
