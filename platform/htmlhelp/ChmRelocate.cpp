#include "platform/htmlhelp/ChmRelocate.h"

#include "platform/htmlhelp/ChmFile.h"
#include "platform/htmlhelp/ChmWriter.h"

#include "base/littleendian.h"
#include "base/text.h"

#include <set>
#include <stdexcept>
#include <string>

namespace platform::htmlhelp {

namespace {

constexpr std::uint16_t kSystemLanguage = 4;   // LCID, flags, then a FILETIME at 20
constexpr std::uint16_t kSystemTimeStamp = 10; // seconds of the compile run
constexpr std::size_t kLanguageTimeOffset = 20;
constexpr std::size_t kLanguageTimeLength = 8;
constexpr std::uint32_t kDefaultLanguage = 0x409;

// #SYSTEM without its time stamps; the language id it records goes to
// `language`.
std::string systemWithoutTimes(std::string data, std::uint32_t &language)
{
    for (std::size_t pos = 4; pos + 4 <= data.size();) {
        const std::uint16_t code = base::ReadLe16(data, pos);
        const std::size_t length = base::ReadLe16(data, pos + 2);
        pos += 4;
        if (pos + length > data.size())
            throw std::runtime_error("the #SYSTEM table is damaged");
        if (code == kSystemTimeStamp) {
            data.replace(pos, length, length, '\0');
        } else if (code == kSystemLanguage) {
            if (length >= 4)
                language = base::ReadLe32(data, pos);
            if (length >= kLanguageTimeOffset + kLanguageTimeLength)
                data.replace(pos + kLanguageTimeOffset, kLanguageTimeLength, kLanguageTimeLength, '\0');
        }
        pos += length;
    }
    return data;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && base::EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

} // namespace

void writeRelocatableCopy(const ChmFile &compiled, const std::filesystem::path &output)
{
    ChmWriter copy;
    std::uint32_t language = kDefaultLanguage;

    // The context map, rebuilt with names relative to the root. The folder
    // each absolute name carried in front of its topic is remembered so the
    // other objects can be checked for it.
    std::string ivb;
    std::string strings(1, '\0');
    std::set<std::string> compileFolders;
    for (const auto &[id, stored] : compiled.contextMap()) {
        const auto topic = compiled.resolveStoredName(stored);
        if (!topic)
            throw std::runtime_error("context id " + std::to_string(id) + " names \"" + stored +
                                     "\", which is not in the file");
        const std::string normal = ChmFile::normalisePath(stored);
        const std::string path = ChmFile::normalisePath(*topic);
        if (normal.size() > path.size())
            compileFolders.insert(normal.substr(0, normal.size() - path.size()));
        base::AppendLe32(ivb, static_cast<std::uint32_t>(id));
        base::AppendLe32(ivb, static_cast<std::uint32_t>(strings.size()));
        strings += topic->substr(1); // without the leading '/'
        strings.push_back('\0');
    }
    std::string ivbTable;
    base::AppendLe32(ivbTable, static_cast<std::uint32_t>(ivb.size()));
    ivbTable += ivb;

    for (const std::string &path : compiled.storedPaths()) {
        // The compressed section's own storage: the copy has none.
        if (startsWithNoCase(path, "::DataSpace/"))
            continue;
        if (base::EqualsNoCase(path, "/#IVB") || base::EqualsNoCase(path, "/#STRINGS"))
            continue;
        for (const char *table : {"/#TOPICS", "/#URLTBL", "/#URLSTR", "/#WINDOWS"}) {
            if (base::EqualsNoCase(path, table))
                throw std::runtime_error(std::string("the file has a ") + (table + 1) +
                                         " table, which points into #STRINGS; it cannot be rebuilt here");
        }
        auto data = compiled.readStored(path);
        if (!data)
            throw std::runtime_error("cannot read " + path);
        if (base::EqualsNoCase(path, "/#SYSTEM"))
            *data = systemWithoutTimes(std::move(*data), language);
        for (const std::string &folder : compileFolders) {
            if (data->find(folder) != std::string::npos)
                throw std::runtime_error(path + " names the folder the file was compiled in (" + folder + ")");
        }
        copy.add(path, std::move(*data));
    }
    if (!ivb.empty()) {
        copy.add("/#IVB", std::move(ivbTable));
        copy.add("/#STRINGS", std::move(strings));
    }
    copy.write(output, language);
}

} // namespace platform::htmlhelp
