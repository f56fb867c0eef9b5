#pragma once
// The "readable text" conversion: the text a reader sees in a page, rather
// than the page with its tags stripped. The page's bytes are decoded to
// Unicode (byte-order mark, the HTTP charset when given, the page's own
// <meta> declaration, else UTF-8 when the bytes are valid UTF-8, else
// windows-1252), tokenized as the HTML Standard says and rendered
// (text/readable/text_renderer.h). The text is UTF-8 with LF line ends.
// In the article mode (ReadableOptions::article) the decoded text goes
// instead to text/article/article_input.h: the page's tree as the
// Standard's tree construction builds it, its main content chosen from that
// tree and rendered by the same renderer.
//
// The readable mode is one pass in bounded memory, whatever the page; the
// article mode keeps the page (under 4x its size plus 16 MiB, see
// article_input.h and article_extractor.h). The file rules and the
// failures are those of the stripping conversion (convert/converter.h):
// the same text path rule, a text file replaced only by a complete text,
// ConversionError naming the path and the system's reason.

#include "convert/converter.h"
#include "text/readable/text_renderer.h"
#include "text/readable_options.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace quillan {

// The conversion itself, fed the page's bytes in pieces of any size: the
// text handed to `out` does not depend on where the pieces end.
class ReadableText {
public:
    // `sizeHint`: the page's size in bytes when known (0: not known), for
    // the article mode's storage.
    ReadableText(text::readable::TextSink &out, const ReadableOptions &options, std::size_t sizeHint = 0);
    ~ReadableText();
    ReadableText(const ReadableText &) = delete;
    ReadableText &operator=(const ReadableText &) = delete;

    void feed(std::string_view bytes);
    // The page has ended: the rest of the text goes to `out`, then, in
    // article mode, the options' onArticleChosen hears the choice. Call once.
    void finish();
    // The WHATWG name of the encoding the page is decoded with; empty while
    // it is not decided yet (always decided after finish()).
    std::string_view encodingName() const;

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
    std::string text_; // the UTF-8 of the piece being read
};

// Converts everything readable from inFd and writes the text to outFd.
// Names are used in errors only. Throws ConversionError.
void convertReadable(int inFd, int outFd, const std::string &inName, const std::string &outName,
                     const ReadableOptions &options);

// As convertToFile(): from the open inFd into textPath.
void convertReadableToFile(int inFd, const std::string &inName, const std::filesystem::path &textPath,
                           const ReadableOptions &options);

// As convertHtmlFile(): htmlPath into textPath, or into its text file
// (textPathFor) whose path is returned.
void convertReadableHtmlFile(const std::filesystem::path &htmlPath, const std::filesystem::path &textPath,
                             const ReadableOptions &options);
std::filesystem::path convertReadableHtmlFile(const std::filesystem::path &htmlPath, const ReadableOptions &options);

} // namespace quillan
