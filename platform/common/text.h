// Comparing names without regard to case, the way the platform compares
// key, value, member and resource names: ASCII letters only, whatever the
// process's locale.
#pragma once

#include <cstddef>
#include <string_view>

namespace platform {

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

} // namespace platform
