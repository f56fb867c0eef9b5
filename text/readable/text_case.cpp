#include "text/readable/text_case.h"

#include "base/utf8.h"

#include <cstdint>

namespace quillan::text::readable {
namespace {

// A run of code points in which upper and lower case alternate (the upper
// one first when `upperEven`, at even code points).
struct PairRun {
    char32_t first;
    char32_t last;
    bool upperEven;
};
constexpr PairRun kPairRuns[] = {
    {0x0100, 0x012F, true},  {0x0132, 0x0137, true}, {0x0139, 0x0148, false}, {0x014A, 0x0177, true},
    {0x0179, 0x017E, false}, {0x01DE, 0x01EF, true}, {0x01F8, 0x021F, true},  {0x0222, 0x0233, true},
    {0x03D8, 0x03EF, true},  {0x0460, 0x0481, true}, {0x048A, 0x04BF, true},  {0x04C1, 0x04CE, false},
    {0x04D0, 0x052F, true},  {0x1E00, 0x1E95, true}, {0x1EA0, 0x1EFF, true},
};

// A run of lower-case letters at a fixed distance above their capitals.
struct OffsetRun {
    char32_t lowerFirst;
    char32_t lowerLast;
    char32_t distance;
};
constexpr OffsetRun kOffsetRuns[] = {
    {0x0061, 0x007A, 0x20}, {0x00E0, 0x00F6, 0x20}, {0x00F8, 0x00FE, 0x20}, {0x03B1, 0x03C1, 0x20},
    {0x03C3, 0x03CB, 0x20}, {0x03AD, 0x03AF, 0x25}, {0x03CD, 0x03CE, 0x3F}, {0x0430, 0x044F, 0x20},
    {0x0450, 0x045F, 0x50}, {0x0561, 0x0586, 0x30}, {0xFF41, 0xFF5A, 0x20},
};

// Single letters outside the runs: lower case, upper case.
constexpr std::pair<char32_t, char32_t> kSingles[] = {
    {0x00FF, 0x0178}, {0x03AC, 0x0386}, {0x03CC, 0x038C}, {0x0180, 0x0243}, {0x0183, 0x0182},
    {0x0185, 0x0184}, {0x0188, 0x0187}, {0x018C, 0x018B}, {0x0192, 0x0191}, {0x0199, 0x0198},
};

char32_t toUpper(char32_t c)
{
    if (c < 0x80)
        return c >= 'a' && c <= 'z' ? c - 0x20 : c;
    for (const OffsetRun &r : kOffsetRuns)
        if (c >= r.lowerFirst && c <= r.lowerLast)
            return c - r.distance;
    for (const PairRun &r : kPairRuns)
        if (c >= r.first && c <= r.last)
            return ((c % 2 == 0) == r.upperEven) ? c : c - 1;
    for (const auto &[lower, upper] : kSingles)
        if (c == lower)
            return upper;
    switch (c) {
    case 0x00B5: return 0x039C; // micro sign
    case 0x0131: return 'I';    // dotless i
    case 0x017F: return 'S';    // long s
    case 0x03C2: return 0x03A3; // final sigma
    default: return c;
    }
}

char32_t toLower(char32_t c)
{
    if (c < 0x80)
        return c >= 'A' && c <= 'Z' ? c + 0x20 : c;
    for (const OffsetRun &r : kOffsetRuns)
        if (c >= r.lowerFirst - r.distance && c <= r.lowerLast - r.distance && c != 0x00D7)
            return c + r.distance;
    for (const PairRun &r : kPairRuns)
        if (c >= r.first && c <= r.last)
            return ((c % 2 == 0) == r.upperEven) ? c + 1 : c;
    for (const auto &[lower, upper] : kSingles)
        if (c == upper)
            return lower;
    if (c == 0x0130)
        return 'i'; // capital I with a dot
    return c;
}

// Whether a character belongs to a word, for capitalize: letters, digits and
// the letters of other scripts, not white space, punctuation or symbols.
bool isWordCharacter(char32_t c)
{
    if (c < 0x80)
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (c <= 0xBF || c == 0xD7 || c == 0xF7)
        return false; // Latin-1 punctuation and signs
    if ((c >= 0x2000 && c <= 0x2BFF) || (c >= 0x3000 && c <= 0x303F) || (c >= 0xFE30 && c <= 0xFE6F) ||
        (c >= 0xFF00 && c <= 0xFF0F))
        return false; // punctuation, symbols and their wide forms
    return true;
}

} // namespace

void AppendInCase(std::string_view utf8, TextTransform transform, bool &inWord, std::string &out)
{
    if (transform == TextTransform::None || transform == TextTransform::Inherit) {
        out.append(utf8);
        return;
    }
    while (!utf8.empty()) {
        std::size_t length = 1;
        const char32_t c = base::DecodeUtf8(utf8, length);
        const std::string_view original = utf8.substr(0, length);
        utf8.remove_prefix(length);
        if (c == base::kNotUtf8) {
            out.append(original);
            inWord = false;
            continue;
        }
        // An apostrophe inside a word keeps it going (don't).
        const bool apostrophe = c == '\'' || c == 0x2019;
        const bool word = isWordCharacter(c);
        bool upper = transform == TextTransform::Uppercase;
        if (transform == TextTransform::Capitalize)
            upper = word && !inWord;
        if (!apostrophe)
            inWord = word;
        const char32_t mapped = upper ? toUpper(c) : transform == TextTransform::Lowercase ? toLower(c) : c;
        if (upper && c == 0x00DF) {
            out.append(transform == TextTransform::Capitalize ? "Ss" : "SS");
            continue;
        }
        if (mapped == c) {
            out.append(original);
            continue;
        }
        char buffer[4];
        out.append(buffer, base::EncodeUtf8(mapped, buffer));
    }
}

} // namespace quillan::text::readable
