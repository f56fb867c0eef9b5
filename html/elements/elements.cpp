#include "html/elements/elements.h"

#include <utility>

namespace quillan::html {
namespace {

constexpr std::string_view kTexts[] = {
#define QUILLAN_HTML_NAME_TEXT(id, text, flags) text,
    QUILLAN_HTML_ELEMENTS(QUILLAN_HTML_NAME_TEXT)
#undef QUILLAN_HTML_NAME_TEXT
};

constexpr char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

// Whether a's lower case sorts before b's.
constexpr bool lowerLess(std::string_view a, std::string_view b)
{
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return lower(a[i]) < lower(b[i]);
    return a.size() < b.size();
}

constexpr bool sortedByLowerCase()
{
    for (std::size_t i = 1; i < kKnownNameCount; ++i)
        if (!lowerLess(kTexts[i - 1], kTexts[i]))
            return false;
    return true;
}
static_assert(sortedByLowerCase(), "the element table must stay sorted by the names' lower case");

// The table is sorted, so each first letter owns one run of it.
constexpr auto kRuns = [] {
    std::array<std::pair<std::uint8_t, std::uint8_t>, 26> runs{};
    for (std::size_t i = 0; i < kKnownNameCount; ++i) {
        auto &run = runs[static_cast<std::size_t>(kTexts[i][0] - 'a')];
        if (run.second == 0)
            run.first = static_cast<std::uint8_t>(i);
        run.second = static_cast<std::uint8_t>(i + 1);
    }
    return runs;
}();
static_assert(kKnownNameCount < 256, "the runs count names in a byte");

// The names in lower case, as the tokenizer gives tag names.
struct LowerName {
    char text[16];
    std::size_t size;
};
constexpr auto kLowerNames = [] {
    std::array<LowerName, kKnownNameCount> names{};
    for (std::size_t i = 0; i < kKnownNameCount; ++i) {
        names[i].size = kTexts[i].size();
        for (std::size_t j = 0; j < kTexts[i].size(); ++j)
            names[i].text[j] = lower(kTexts[i][j]);
    }
    return names;
}();
static_assert([] {
    for (const std::string_view t : kTexts)
        if (t.size() > sizeof(LowerName::text))
            return false;
    return true;
}());

} // namespace

std::string_view knownNameText(std::uint32_t known)
{
    return known < kKnownNameCount ? kTexts[known] : std::string_view();
}

std::string_view knownTagName(std::uint32_t known)
{
    return known < kKnownNameCount ? std::string_view(kLowerNames[known].text, kLowerNames[known].size)
                                   : std::string_view();
}

KnownName findKnownName(std::string_view lowerName)
{
    if (lowerName.empty() || lowerName[0] < 'a' || lowerName[0] > 'z')
        return kKnownNameCount;
    const auto [first, last] = kRuns[static_cast<std::size_t>(lowerName[0] - 'a')];
    for (std::size_t i = first; i < last; ++i) {
        const LowerName &known = kLowerNames[i];
        if (known.size == lowerName.size() && std::string_view(known.text, known.size) == lowerName)
            return static_cast<KnownName>(i);
    }
    return kKnownNameCount;
}

KnownName findKnownNameText(std::string_view text)
{
    // The runs are by the lower-case first letter; SVG's camel case starts
    // lower case too.
    if (text.empty() || text[0] < 'a' || text[0] > 'z')
        return kKnownNameCount;
    const auto [first, last] = kRuns[static_cast<std::size_t>(text[0] - 'a')];
    for (std::size_t i = first; i < last; ++i)
        if (kTexts[i] == text)
            return static_cast<KnownName>(i);
    return kKnownNameCount;
}

} // namespace quillan::html
