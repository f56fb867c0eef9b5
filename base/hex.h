// Hexadecimal digits, as the text formats of the platform write them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace base {

// The value of a hexadecimal digit in either case, or -1 for any other
// character.
constexpr int HexDigitValue(char c) noexcept
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The value of a byte written as two hexadecimal digits, or -1 when either
// is not one.
constexpr int HexByteValue(char high, char low) noexcept
{
    const int h = HexDigitValue(high);
    const int l = HexDigitValue(low);
    return h < 0 || l < 0 ? -1 : h * 16 + l;
}

// The number that `digits` spell, when all of them are hexadecimal digits
// and there are 1 to 16 of them; nothing otherwise (no sign, no prefix, no
// white space).
constexpr std::optional<std::uint64_t> ParseHexNumber(std::string_view digits) noexcept
{
    if (digits.empty() || digits.size() > 16)
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : digits) {
        const int digit = HexDigitValue(c);
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + static_cast<std::uint64_t>(digit);
    }
    return value;
}

} // namespace base
