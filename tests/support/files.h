#pragma once
// A temporary folder per test, removed afterwards, and whole-file helpers.
#include <filesystem>
#include <set>
#include <string>

namespace testsupport {

class TempDir {
public:
    TempDir();  // throws std::runtime_error when no folder can be made
    ~TempDir(); // removes the folder, even one whose permissions were taken away
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return path_; }
    std::filesystem::path operator/(const std::string &name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Writes `bytes` as the whole file and returns its path; throws when it cannot.
std::filesystem::path writeFile(const std::filesystem::path &path, const std::string &bytes);

// The whole file, or an empty string when it cannot be read.
std::string readFile(const std::filesystem::path &path);

// Names of the entries in a folder (to see that no temporary file stayed).
std::set<std::string> fileNames(const std::filesystem::path &folder);

} // namespace testsupport
