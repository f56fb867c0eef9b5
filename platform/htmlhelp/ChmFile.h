#pragma once

// Read access to a compiled HTML Help file (.chm) over chmlib: the default
// topic, the context-id map, and any stored object (topics, images,
// stylesheets) by its path inside the file.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct chmFile;

namespace platform::htmlhelp {

class ChmFile {
public:
    // Opens `path`; nullptr when it is not a readable help file.
    static std::unique_ptr<ChmFile> open(const std::filesystem::path &path);

    ~ChmFile();
    ChmFile(const ChmFile &) = delete;
    ChmFile &operator=(const ChmFile &) = delete;

    // Title recorded by the help compiler; empty when there is none.
    const std::string &title() const { return title_; }

    // Path of the default topic inside the file ("/index.htm"), or nullopt
    // when the file names none that exists and has no index page either.
    std::optional<std::string> defaultTopic() const;

    // The topic mapped to a context id, as a path inside the file with any
    // "#fragment" kept ("/main/url.htm", "/a.htm#part"); nullopt when the id
    // is not mapped or names no object stored in the file.
    std::optional<std::string> topicForContext(std::int32_t contextId) const;

    // Every context id with the topic name exactly as the compiler stored it
    // (possibly an absolute path of the folder it was compiled in).
    const std::map<std::int32_t, std::string> &contextMap() const { return contextNames_; }

    // Whether an object is stored under `path` (see normalisePath).
    bool contains(std::string_view path) const;

    // The bytes of the object at `path`; nullopt when there is none.
    std::optional<std::string> read(std::string_view path) const;

    // Every object stored in the file under its exact stored path, the
    // compiler's own tables ("/#SYSTEM", "::DataSpace/...") included and
    // folder entries left out, in the file's directory order.
    std::vector<std::string> storedPaths() const;

    // The bytes stored under exactly `path` (no normalising, so "/#IVB" and
    // other tables can be read); nullopt when there is none.
    std::optional<std::string> readStored(const std::string &path) const;

    // Turns a name as it appears in links or in the file's tables into the
    // form used for look-ups: '/'-separated, starting with '/', without
    // "#fragment" or "?query", with "." and ".." segments folded and %XX
    // escapes decoded. Empty when nothing is left.
    static std::string normalisePath(std::string_view name);

    // Maps a topic name as a compiler stored it to a path stored in the file,
    // keeping its "#fragment". Names relative to the file's root are taken as
    // they are; an absolute name (the compiler's own folder in front of the
    // topic) is cut down to the longest trailing part that the file holds.
    std::optional<std::string> resolveStoredName(std::string_view name) const;

private:
    explicit ChmFile(::chmFile *handle);
    void readSystem();
    void readContextMap();

    ::chmFile *handle_;
    std::string title_;
    std::string defaultTopicName_;
    std::map<std::int32_t, std::string> contextNames_;
};

} // namespace platform::htmlhelp
