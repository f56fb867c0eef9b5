// Comparing names without regard to case, the way the platform compares
// key, value, member and resource names: ASCII letters only, whatever the
// process's locale. Trimming a header field's optional white space.
#pragma once

#include <cstddef>
#include <string_view>

namespace base {

constexpr char AsciiLower(char c) noexcept
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool EqualsNoCase(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}

// `s` without the spaces and tabs around it (a header field's optional
// white space).
constexpr std::string_view TrimSpacesAndTabs(std::string_view s) noexcept
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

} // namespace base
