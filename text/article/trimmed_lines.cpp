#include "text/article/trimmed_lines.h"

#include "base/utf8.h"

#include <array>

namespace quillan::text::article {
namespace {

enum class Space { None, AsciiSpace, Other };

// The bytes that may start white space or end a line: a line end, space,
// tab, and the first bytes of the other spaces' UTF-8 (C2 A0, E1 9A 80,
// E2 80 80 to E2 81 9F, E3 80 80). Runs of other bytes pass whole.
constexpr std::array<bool, 256> kMayStartSpace = [] {
    std::array<bool, 256> may{};
    for (const unsigned char b : {'\n', ' ', '\t', '\xC2', '\xE1', '\xE2', '\xE3'})
        may[b] = true;
    return may;
}();

// Whether the character at the start of `s` is white space, and its length.
Space spaceAt(std::string_view s, std::size_t &length)
{
    const char32_t c = base::DecodeUtf8(s, length);
    if (c == ' ' || c == '\t')
        return Space::AsciiSpace;
    const bool other =
        c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F || c == 0x205F || c == 0x3000;
    return other ? Space::Other : Space::None;
}

} // namespace

void TrimmedLines::write(std::string_view utf8)
{
    std::string_view text = utf8;
    std::string joined;
    if (!cut_.empty()) {
        joined = cut_ + std::string(utf8);
        text = joined;
        cut_.clear();
    }
    // A character cut short at the end waits for its rest.
    const char *whole = base::IncompleteUtf8Tail(text.data(), text.data() + text.size());
    cut_.assign(whole, text.data() + text.size());
    text = text.substr(0, static_cast<std::size_t>(whole - text.data()));

    written_.clear();
    while (!text.empty()) {
        // A run of characters that pass as they are: all but white space,
        // and a space or tab between two of them.
        std::size_t run = 0;
        while (run < text.size()) {
            const auto b = static_cast<unsigned char>(text[run]);
            if (!kMayStartSpace[b]) {
                ++run;
            } else if ((b == ' ' || b == '\t') && run + 1 < text.size() &&
                       !kMayStartSpace[static_cast<unsigned char>(text[run + 1])]) {
                run += 2;
            } else if (std::size_t length = 1; b >= 0x80 && spaceAt(text.substr(run), length) == Space::None) {
                run += length;
            } else {
                break;
            }
        }
        if (run != 0) {
            written_.append(held_);
            held_.clear();
            written_.append(text.substr(0, run));
            lineStart_ = false;
            text.remove_prefix(run);
            continue;
        }
        std::size_t length = 1;
        if (text.front() == '\n') {
            held_.clear();
            written_.push_back('\n');
            lineStart_ = true;
        } else if (const Space space = spaceAt(text, length); space == Space::None) {
            written_.append(held_);
            held_.clear();
            written_.append(text.substr(0, length));
            lineStart_ = false;
        } else if (!(lineStart_ && space == Space::Other)) {
            held_.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    if (!written_.empty())
        out_.write(written_);
}

} // namespace quillan::text::article
