#pragma once
// Whole-file conversion: the text path rule, and converting one HTML file into
// its text file with every failure reported to the caller.

#include <filesystem>
#include <stdexcept>
#include <string>

namespace quillan {

// A conversion that could not be done: which path, and the system's reason.
class ConversionError : public std::runtime_error {
public:
    ConversionError(std::string path, std::string reason);
    const std::string &path() const { return path_; }
    const std::string &reason() const { return reason_; }

private:
    std::string path_;
    std::string reason_;
};

// The text file for an HTML file: the file name is cut after its first "."
// that is not its first character and "TXT" is appended; a name without such
// a dot gets ".TXT". Folders are never looked at:
//   /pages/report.final.html -> /pages/report.TXT
//   /my.pages/index.html     -> /my.pages/index.TXT
//   /pages/page              -> /pages/page.TXT
std::filesystem::path textPathFor(const std::filesystem::path &htmlPath);

// Converts htmlPath into its text file (textPathFor) and returns that path.
// The text file is created or overwritten. Throws ConversionError when the
// input cannot be read, the text file cannot be written, or the text file
// would be the input itself; a text file left half-written is removed.
std::filesystem::path convertHtmlFile(const std::filesystem::path &htmlPath);

// Converts htmlPath into textPath, with the same guarantees.
void convertHtmlFile(const std::filesystem::path &htmlPath,
                     const std::filesystem::path &textPath);

// Converts everything readable from inFd and writes it to outFd. Names are
// used in errors only. Throws ConversionError.
void convertStream(int inFd, int outFd, const std::string &inName,
                   const std::string &outName);

} // namespace quillan
