// Hexadecimal digits, as the text formats of the platform write them.
#pragma once

namespace platform {

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

}  // namespace platform
