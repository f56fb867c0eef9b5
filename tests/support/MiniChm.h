#pragma once

// Small .chm files for tests, written uncompressed by the program's own
// writer (htmlhelp/ChmWriter.h), so names and tables can be laid out exactly
// as another help compiler would store them (names relative to the root).

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace testchm {

class MiniChm {
public:
    // Adds an object under its full stored path ("/index.htm", "/#IVB").
    MiniChm &add(const std::string &path, std::string data);

    // Adds #SYSTEM with a default topic and a title, as stored names.
    MiniChm &system(const std::string &defaultTopic, const std::string &title);

    // Adds #IVB and #STRINGS mapping each id to a topic name, stored as given.
    MiniChm &contextMap(const std::vector<std::pair<std::int32_t, std::string>> &map);

    // Writes the file; throws std::runtime_error when it cannot.
    void write(const std::filesystem::path &path) const;

private:
    std::map<std::string, std::string> objects_;
};

} // namespace testchm
