// Little-endian integers inside byte strings read from files (the caller
// checks that the bytes are there) and appended to byte strings written.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace base {

// The first `count` (at most 8) bytes at `bytes`, lowest first.
constexpr std::uint64_t ReadLe(const std::uint8_t *bytes, std::size_t count) noexcept
{
    std::uint64_t value = 0;
    for (std::size_t i = count; i-- > 0;)
        value = value << 8 | bytes[i];
    return value;
}

constexpr std::uint16_t ReadLe16(std::string_view data, std::size_t pos) noexcept
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(data[pos]) | static_cast<unsigned char>(data[pos + 1])
                                                                                  << 8);
}

constexpr std::uint32_t ReadLe32(std::string_view data, std::size_t pos) noexcept
{
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;)
        value = value << 8 | static_cast<unsigned char>(data[pos + i]);
    return value;
}

constexpr std::uint32_t ReadLe32(const std::uint8_t *bytes) noexcept
{
    return static_cast<std::uint32_t>(ReadLe(bytes, 4));
}

// `value` as N bytes, lowest first.
template <std::size_t N>
constexpr std::array<std::uint8_t, N> LeBytes(std::uint64_t value) noexcept
{
    std::array<std::uint8_t, N> bytes{};
    for (std::size_t i = 0; i < N; ++i)
        bytes[i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xff);
    return bytes;
}

inline void AppendLe(std::string &out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

inline void AppendLe16(std::string &out, std::uint16_t value)
{
    AppendLe(out, value, 2);
}
inline void AppendLe32(std::string &out, std::uint32_t value)
{
    AppendLe(out, value, 4);
}
inline void AppendLe64(std::string &out, std::uint64_t value)
{
    AppendLe(out, value, 8);
}

} // namespace base
