// Little-endian integers inside byte strings read from files (the caller
// checks that the bytes are there) and appended to byte strings written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
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

inline void AppendLe(std::string &out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

inline void AppendLe16(std::string &out, std::uint16_t value) { AppendLe(out, value, 2); }
inline void AppendLe32(std::string &out, std::uint32_t value) { AppendLe(out, value, 4); }
inline void AppendLe64(std::string &out, std::uint64_t value) { AppendLe(out, value, 8); }

}  // namespace platform
