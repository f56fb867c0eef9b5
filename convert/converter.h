#pragma once
// Whole-file conversion: the text path rule, and converting one HTML file into
// its text file, in any kind of text (text/conversion.h), with every failure
// reported to the caller. Each conversion hands back what it learnt about
// the page (text::Result).

#include "base/fd_io.h"
#include "text/conversion.h"

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

namespace quillan::convert {

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

// The extension of a text file written with `options`: "md" for Markdown
// (alone or after its front matter), "TXT" for anything else, a JSON object
// included.
std::string_view textExtensionFor(const text::Options &options);

// The text file for an HTML file: the file name is cut after its first "."
// that is not its first character and `extension` is appended; a name
// without such a dot gets "." and the extension. Folders are never looked at:
//   /pages/report.final.html -> /pages/report.TXT
//   /my.pages/index.html     -> /my.pages/index.TXT
//   /pages/page              -> /pages/page.TXT
//   /pages/index.html, "md"  -> /pages/index.md
std::filesystem::path textPathFor(const std::filesystem::path &htmlPath, std::string_view extension = "TXT");

// Converts htmlPath into its text file (textPathFor), as tag-stripped text,
// and returns that path. The text file is created or replaced. Throws ConversionError when the
// input cannot be read or is not a regular file (openHtmlFile), the text file cannot be written, or the text file
// would be the input itself.
//
// A text file is replaced only by a complete text: the text is written to a
// fresh file in the same folder (".NAME.new-RANDOM", NAME cut short so that
// any text name up to the 255-byte limit works) that is renamed into
// place once the whole conversion succeeded. A failure (a text outgrowing
// the file size limit included), or a signal that ends the program during
// the run (where the program leaves it to its default action, see
// base::ReplaceOptions::removeOnSignal), removes the fresh file and
// leaves an earlier text as it was. A text path that is a symbolic link keeps its meaning: the file it
// leads to receives the text, except that a link another user owns in a
// sticky folder anyone may write to (/tmp) is refused, as the kernel refuses
// to follow it there (base::MayFollowLink). A device or a pipe is
// written directly.
std::filesystem::path convertHtmlFile(const std::filesystem::path &htmlPath);

// Converts htmlPath into textPath, with the same guarantees.
text::Result convertHtmlFile(const std::filesystem::path &htmlPath, const std::filesystem::path &textPath,
                             const text::Options &options = {});

// Opens an HTML file for reading. The file is opened without waiting (a
// pipe with no writer does not hold the caller up) and refused, as seen on
// the opened descriptor, unless it is a regular file: a folder, a device
// such as /dev/zero, a pipe or a socket (or a link to one) has no end a
// conversion could wait for. Throws ConversionError.
base::UniqueFd openHtmlFile(const std::filesystem::path &htmlPath);

// Converts everything readable from the open inFd (inName in errors) into
// textPath, with the same guarantees; textPath must not be the file inFd
// reads, whatever inFd is.
text::Result convertToFile(int inFd, const std::string &inName, const std::filesystem::path &textPath,
                           const text::Options &options = {});

// Converts everything readable from inFd and writes it to outFd. Names are
// used in errors only. Throws ConversionError, also for what a readable
// kind throws (the page's name, and the reason).
text::Result convertStream(int inFd, int outFd, const std::string &inName, const std::string &outName,
                           const text::Options &options = {});

} // namespace quillan::convert
