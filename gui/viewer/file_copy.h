#pragma once
// Copying a file byte for byte into place: the copy is written to a new file
// in the target's folder and renamed over the target only once it is
// complete, so the target is either its old self or the whole copy.

#include <filesystem>
#include <stdexcept>
#include <string>

namespace quillan {

// A copy that could not be made: the path concerned and the system's reason.
class CopyError : public std::runtime_error {
public:
    CopyError(std::string path, std::string reason);
    const std::string &path() const { return path_; }
    const std::string &reason() const { return reason_; }

private:
    std::string path_;
    std::string reason_;
};

enum class CopyOutcome {
    Copied,   // target now holds the source's bytes
    SameFile, // target already is the source: nothing written
};

// Copies source to target. An existing target is replaced (its permission
// bits are kept); a new one gets the usual permissions of a new file. The
// source is only read. A target that is a symbolic link keeps pointing at
// the file it names, which receives the copy. Throws CopyError; after a
// failure no partial file is left behind and an existing target is
// unchanged.
CopyOutcome copyFileIntoPlace(const std::filesystem::path &source, const std::filesystem::path &target);

} // namespace quillan
