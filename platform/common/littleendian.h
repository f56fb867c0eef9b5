// Little-endian integers inside byte strings read from files. The caller
// checks that the bytes are there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace platform {

constexpr std::uint16_t ReadLe16(std::string_view data, std::size_t pos) noexcept
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(data[pos]) |
                                      static_cast<unsigned char>(data[pos + 1]) << 8);
}

constexpr std::uint32_t ReadLe32(std::string_view data, std::size_t pos) noexcept
{
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;)
        value = value << 8 | static_cast<unsigned char>(data[pos + i]);
    return value;
}

}  // namespace platform
