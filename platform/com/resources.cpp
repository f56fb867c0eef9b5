// Reading the resources of a library file: the resource table section and
// the type library and version sections, without loading the library.
#include "com/resources.h"

#include "com/typelib.h"
#include "common/littleendian.h"
#include "common/text.h"

#include <fstream>
#include <optional>

namespace platform {

namespace {

// Parses the table; false when it is damaged (bad mark or version, an entry
// running past the end, no end mark).
bool parseTable(std::string_view table, std::vector<LibraryResource>& out)
{
    if (table.size() < 8 || table.substr(0, 4) != "QRES" || ReadLe32(table, 4) != 1)
        return false;
    std::size_t pos = 8;
    auto text = [&](std::string& into) {
        if (table.size() - pos < 2)
            return false;
        const std::size_t length = ReadLe16(table, pos);
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
        const std::size_t size = ReadLe32(table, pos);
        pos += 4;
        if (table.size() - pos < size)
            return false;
        r.data.assign(table.substr(pos, size));
        pos += size;
        out.push_back(std::move(r));
    }
}

}  // namespace

HRESULT ReadLibraryResources(const std::filesystem::path& file, std::vector<LibraryResource>& out)
{
    out.clear();
    if (!std::ifstream(file, std::ios::binary))
        return HRESULT_FILE_NOT_FOUND;
    if (auto table = ReadElfSection(file, kResourceSection)) {
        if (!parseTable(*table, out)) {
            out.clear();
            return HRESULT_INVALID_DATA;
        }
    }
    if (auto typeLib = ReadElfSection(file, kTypeLibSection))
        out.push_back({kResourceTypeTypeLib, "1", std::move(*typeLib)});
    if (auto version = ReadElfSection(file, kVersionSection))
        out.push_back({kResourceTypeVersion, "1", std::move(*version)});
    return out.empty() ? HRESULT_RESOURCE_DATA_NOT_FOUND : S_OK;
}

HRESULT ReadLibraryResource(const std::filesystem::path& file, std::string_view type, std::string_view name,
                            std::string& data)
{
    data.clear();
    std::vector<LibraryResource> all;
    if (const HRESULT hr = ReadLibraryResources(file, all); FAILED(hr))
        return hr;
    bool typeFound = false;
    for (auto& r : all) {
        if (!EqualsNoCase(r.type, type))
            continue;
        typeFound = true;
        if (EqualsNoCase(r.name, name)) {
            data = std::move(r.data);
            return S_OK;
        }
    }
    return typeFound ? HRESULT_RESOURCE_NAME_NOT_FOUND : HRESULT_RESOURCE_TYPE_NOT_FOUND;
}

}  // namespace platform
