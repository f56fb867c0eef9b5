#include "html/tree/names.h"

namespace quillan::html {

std::string_view knownNameText(std::uint32_t known)
{
    static constexpr std::string_view kTexts[] = {
#define QUILLAN_HTML_NAME_TEXT(id, text) text,
        QUILLAN_HTML_KNOWN_NAMES(QUILLAN_HTML_NAME_TEXT)
#undef QUILLAN_HTML_NAME_TEXT
    };
    return known < kKnownNameCount ? kTexts[known] : std::string_view();
}

} // namespace quillan::html
