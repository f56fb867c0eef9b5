// The library's resource table (section ".quillan.rsrc"), built at compile
// time: the toolbox picture and the blocks naming the control's default
// and source interfaces. The type library and the version block keep their
// own sections (module_data.cpp).
#include "platform/com/resources.h"
#include "netvane/netvane_ids.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace netvane {

namespace {

constexpr int kWidth = kToolboxBitmapWidth;
constexpr int kHeight = kToolboxBitmapHeight;

// The toolbox picture, top row first: a weather vane, its arrow pointing
// east on a pole with the compass arms and a foot.
//   '.' background (the toolbox grey, which hosts treat as transparent)
//   '#' the vane's iron, '+' the compass arms, 'r' the arrowhead
constexpr std::array<std::string_view, kHeight> kPicture = {
    "................", "...........r....", "#.#........rr...", ".##########rrrr.", "#.#....#...rr...",
    ".......#...r....", ".......#........", ".......#........", ".......#........", "...++++#++++....",
    ".......#........", ".......#........", ".......#........", "......###.......", ".....#####......",
};

struct Colour {
    unsigned char blue, green, red;
};

constexpr Colour colourOf(char c)
{
    switch (c) {
    case '#': return {0x00, 0x00, 0x00};
    case '+': return {0x80, 0x80, 0x80};
    case 'r': return {0x00, 0x00, 0xFF};
    case '.': return {0xC0, 0xC0, 0xC0};
    default: throw "unknown colour letter in the toolbox picture";
    }
}

// 24 bits per pixel: three bytes a pixel, rows padded to four bytes.
constexpr std::size_t kRowBytes = (kWidth * 3 + 3) / 4 * 4;
constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::size_t kInfoHeaderBytes = 40;
constexpr std::size_t kPixelOffset = kFileHeaderBytes + kInfoHeaderBytes;
constexpr std::size_t kBitmapBytes = kPixelOffset + kRowBytes * kHeight;

// The picture as a BMP file: file header, BITMAPINFOHEADER, then the rows
// bottom-up in blue-green-red order.
constexpr std::array<unsigned char, kBitmapBytes> makeToolboxBitmap()
{
    std::array<unsigned char, kBitmapBytes> bmp{};
    std::size_t pos = 0;
    auto put = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            bmp[pos++] = static_cast<unsigned char>(value >> (8 * i));
    };
    bmp[pos++] = 'B';
    bmp[pos++] = 'M';
    put(kBitmapBytes, 4);
    put(0, 4); // reserved
    put(kPixelOffset, 4);
    put(kInfoHeaderBytes, 4);
    put(kWidth, 4);
    put(kHeight, 4); // positive: rows stored bottom-up
    put(1, 2);       // planes
    put(24, 2);      // bits per pixel
    put(0, 4);       // BI_RGB, no compression
    put(kRowBytes * kHeight, 4);
    put(2835, 4); // 72 dots per inch, in pixels per metre
    put(2835, 4);
    put(0, 4); // no palette
    put(0, 4);
    for (int y = kHeight - 1; y >= 0; --y) {
        const std::string_view row = kPicture[static_cast<std::size_t>(y)];
        if (row.size() != kWidth)
            throw "every row of the toolbox picture is as wide as the picture";
        for (char c : row) {
            const Colour colour = colourOf(c);
            bmp[pos++] = colour.blue;
            bmp[pos++] = colour.green;
            bmp[pos++] = colour.red;
        }
        for (std::size_t pad = kWidth * 3; pad < kRowBytes; ++pad)
            bmp[pos++] = 0;
    }
    return bmp;
}

// Length 16, then the identifier's fields little-endian and its last eight
// bytes as they are.
constexpr std::array<unsigned char, 20> identifierBlock(const platform::GUID &id)
{
    std::array<unsigned char, 20> block{};
    std::size_t pos = 0;
    auto put = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            block[pos++] = static_cast<unsigned char>(value >> (8 * i));
    };
    put(16, 4);
    put(id.Data1, 4);
    put(id.Data2, 2);
    put(id.Data3, 2);
    for (unsigned char b : id.Data4)
        block[pos++] = b;
    return block;
}

constexpr auto kToolboxBitmap = makeToolboxBitmap();
constexpr auto kInterfaceBlock = identifierBlock(IID__Netvane);
constexpr auto kSourceInterfaceBlock = identifierBlock(DIID___Netvane);

static_assert(kToolboxBitmapId == 30000, "the picture's resource name is its number");

constexpr platform::ResourceEntry kEntries[] = {
    {platform::kResourceTypeBitmap, "30000", kToolboxBitmap},
    {kIidResourceType, "1", kInterfaceBlock},
    {kSourceIidResourceType, "1", kSourceInterfaceBlock},
};

__attribute__((section(".quillan.rsrc"), used)) constexpr auto kResourceTable =
    platform::MakeResourceTable<platform::ResourceTableSize(kEntries)>(kEntries);

} // namespace

} // namespace netvane
