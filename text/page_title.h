#pragma once
// The title of a page, as a browser shows it in its title bar: the text of
// the page's first <title> element with its character references resolved,
// every run of white space made one space and the ends trimmed. The page is
// decoded as the readable conversion decodes it (byte-order mark, the HTTP
// charset, the page's <meta>, else UTF-8 or windows-1252) and read by the
// HTML tokenizer, so a "<title>" inside a script, a style sheet, a comment
// or an SVG drawing is not taken for one. Plain C++.

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace quillan::text {

// Only the start of a page is read: a title lies in its head.
inline constexpr std::size_t kTitleScanBytes = 1024 * 1024;
// A longer title is cut to this many bytes, never inside a character.
inline constexpr std::size_t kMaxTitleBytes = 1024;

// The title of a page fed in pieces of any size; whatever comes after its
// first kTitleScanBytes bytes, or after the title has ended, is not read.
class TitleScan {
public:
    // `httpCharset` as for html::Decoder.
    explicit TitleScan(std::string_view httpCharset = {});
    ~TitleScan();
    TitleScan(const TitleScan &) = delete;
    TitleScan &operator=(const TitleScan &) = delete;

    void feed(std::string_view bytes);
    // Whether more bytes would change nothing.
    bool done() const;
    // The title; empty when the page has none. Call once.
    std::string finish();
    // The WHATWG name of the encoding the page is decoded with; empty while
    // it is not decided (always decided after finish()).
    std::string_view encodingName() const;

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

// The title (UTF-8) of the page held in `page`; empty when its first
// kTitleScanBytes bytes hold none. `httpCharset` as for html::Decoder.
std::string pageTitle(std::string_view page, std::string_view httpCharset = {});

// The same for the page in the file at htmlPath, of which at most
// kTitleScanBytes are read; empty when the file cannot be read.
std::string pageTitleOfFile(const std::filesystem::path &htmlPath, std::string_view httpCharset = {});

} // namespace quillan::text
