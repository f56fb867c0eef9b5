#include "platform/htmlhelp/ChmFile.h"

#include "base/hex.h"
#include "base/littleendian.h"

#include <chm_lib.h>

#include <algorithm>
#include <cstring>
#include <system_error>
#include <vector>

namespace platform::htmlhelp {

namespace {

// Objects larger than this are refused rather than read into memory; no
// help topic, picture or table comes anywhere near it.
constexpr std::uint64_t kMaxObjectSize = 64u * 1024u * 1024u;

// Codes of the #SYSTEM records read here.
constexpr std::uint16_t kSystemDefaultTopic = 2;
constexpr std::uint16_t kSystemTitle = 3;

// Text up to the first NUL (or the end).
std::string cString(const std::string &data, std::size_t pos)
{
    if (pos >= data.size())
        return {};
    const auto end = data.find('\0', pos);
    return data.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
}

std::string percentDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int byte = base::HexByteValue(text[i + 1], text[i + 2]);
            if (byte >= 0) {
                out.push_back(static_cast<char>(byte));
                i += 2;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

// Reads an object stored under exactly `path`.
std::optional<std::string> readExact(::chmFile *handle, const std::string &path)
{
    if (path.empty() || path.size() > CHM_MAX_PATHLEN)
        return std::nullopt;
    chmUnitInfo info{};
    if (chm_resolve_object(handle, path.c_str(), &info) != CHM_RESOLVE_SUCCESS)
        return std::nullopt;
    if (info.length > kMaxObjectSize)
        return std::nullopt;
    std::string data(static_cast<std::size_t>(info.length), '\0');
    LONGINT64 done = 0;
    const auto total = static_cast<LONGINT64>(info.length);
    while (done < total) {
        const LONGINT64 got = chm_retrieve_object(handle, &info, reinterpret_cast<unsigned char *>(data.data()) + done,
                                                  static_cast<LONGUINT64>(done), total - done);
        if (got <= 0)
            return std::nullopt;
        done += got;
    }
    return data;
}

} // namespace

std::unique_ptr<ChmFile> ChmFile::open(const std::filesystem::path &path)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return nullptr;
    ::chmFile *handle = chm_open(path.c_str());
    if (handle == nullptr)
        return nullptr;
    std::unique_ptr<ChmFile> file(new ChmFile(handle));
    file->readSystem();
    file->readContextMap();
    return file;
}

ChmFile::ChmFile(::chmFile *handle) : handle_(handle) {}

ChmFile::~ChmFile()
{
    chm_close(handle_);
}

// #SYSTEM: a 32-bit version, then records of a 16-bit code, a 16-bit length
// and that many bytes of data.
void ChmFile::readSystem()
{
    const auto data = readExact(handle_, "/#SYSTEM");
    if (!data || data->size() < 4)
        return;
    std::size_t pos = 4;
    while (pos + 4 <= data->size()) {
        const std::uint16_t code = base::ReadLe16(*data, pos);
        const std::size_t length = base::ReadLe16(*data, pos + 2);
        pos += 4;
        if (pos + length > data->size())
            break;
        const std::string value = cString(data->substr(pos, length), 0);
        if (code == kSystemDefaultTopic)
            defaultTopicName_ = value;
        else if (code == kSystemTitle)
            title_ = value;
        pos += length;
    }
}

// #IVB: a 32-bit byte count, then pairs of 32-bit values: the context id and
// the offset of the topic's name in #STRINGS (NUL-terminated names).
void ChmFile::readContextMap()
{
    const auto ivb = readExact(handle_, "/#IVB");
    const auto strings = readExact(handle_, "/#STRINGS");
    if (!ivb || !strings || ivb->size() < 4)
        return;
    const std::size_t declared = base::ReadLe32(*ivb, 0);
    const std::size_t end = 4 + std::min(declared, ivb->size() - 4);
    for (std::size_t pos = 4; pos + 8 <= end; pos += 8) {
        const auto id = static_cast<std::int32_t>(base::ReadLe32(*ivb, pos));
        const std::size_t offset = base::ReadLe32(*ivb, pos + 4);
        std::string name = cString(*strings, offset);
        if (!name.empty())
            contextNames_.emplace(id, std::move(name));
    }
}

std::string ChmFile::normalisePath(std::string_view name)
{
    const auto cut = name.find_first_of("#?");
    std::string decoded = percentDecode(name.substr(0, cut));
    std::replace(decoded.begin(), decoded.end(), '\\', '/');

    std::vector<std::string> segments;
    std::size_t start = 0;
    while (start <= decoded.size()) {
        auto slash = decoded.find('/', start);
        if (slash == std::string::npos)
            slash = decoded.size();
        const std::string segment = decoded.substr(start, slash - start);
        if (segment == "..") {
            if (!segments.empty())
                segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        start = slash + 1;
    }
    std::string out;
    for (const auto &segment : segments)
        out += '/' + segment;
    return out;
}

bool ChmFile::contains(std::string_view path) const
{
    const std::string normal = normalisePath(path);
    if (normal.empty() || normal.size() > CHM_MAX_PATHLEN)
        return false;
    chmUnitInfo info{};
    return chm_resolve_object(handle_, normal.c_str(), &info) == CHM_RESOLVE_SUCCESS;
}

std::optional<std::string> ChmFile::read(std::string_view path) const
{
    return readExact(handle_, normalisePath(path));
}

std::vector<std::string> ChmFile::storedPaths() const
{
    std::vector<std::string> paths;
    chm_enumerate(
        handle_, CHM_ENUMERATE_ALL,
        [](::chmFile *, chmUnitInfo *info, void *context) -> int {
            const std::string path = info->path;
            if (!path.empty() && path.back() != '/')
                static_cast<std::vector<std::string> *>(context)->push_back(path);
            return CHM_ENUMERATOR_CONTINUE;
        },
        &paths);
    return paths;
}

std::optional<std::string> ChmFile::readStored(const std::string &path) const
{
    return readExact(handle_, path);
}

std::optional<std::string> ChmFile::resolveStoredName(std::string_view name) const
{
    std::string text(name);
    std::replace(text.begin(), text.end(), '\\', '/');
    // "ms-its:file.chm::/topic.htm" names a topic inside a file.
    if (const auto sep = text.rfind("::"); sep != std::string::npos)
        text = text.substr(sep + 2);
    std::string fragment;
    if (const auto hash = text.find('#'); hash != std::string::npos) {
        fragment = text.substr(hash);
        text.resize(hash);
    }
    const std::string normal = normalisePath(text);
    if (normal.empty())
        return std::nullopt;
    if (contains(normal))
        return normal + fragment;
    for (std::size_t slash = normal.find('/', 1); slash != std::string::npos; slash = normal.find('/', slash + 1)) {
        const std::string tail = normal.substr(slash);
        if (contains(tail))
            return tail + fragment;
    }
    return std::nullopt;
}

std::optional<std::string> ChmFile::defaultTopic() const
{
    if (!defaultTopicName_.empty()) {
        if (auto topic = resolveStoredName(defaultTopicName_))
            return topic;
    }
    for (const char *candidate : {"/index.htm", "/index.html", "/default.htm", "/default.html"}) {
        if (contains(candidate))
            return std::string(candidate);
    }
    return std::nullopt;
}

std::optional<std::string> ChmFile::topicForContext(std::int32_t contextId) const
{
    const auto it = contextNames_.find(contextId);
    if (it == contextNames_.end())
        return std::nullopt;
    return resolveStoredName(it->second);
}

} // namespace platform::htmlhelp
