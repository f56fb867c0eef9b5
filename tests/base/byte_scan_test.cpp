// The bulk byte searches against a plain loop, on every range of buffers
// that hold the bytes looked for at every distance from both ends; each
// range is a block of its own, so that a sanitizer build sees a read past it.
#include "base/byte_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <random>
#include <string>
#include <string_view>

namespace {

const char *plainFind(const char *p, const char *end, std::string_view bytes)
{
    for (; p < end; ++p)
        if (bytes.find(*p) != std::string_view::npos)
            return p;
    return end;
}

// Texts of up to 80 bytes, from an alphabet in which the bytes looked for
// are rare, common or absent.
std::string textOf(std::mt19937 &random, std::string_view alphabet, std::size_t size)
{
    std::string text(size, ' ');
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    for (char &c : text)
        c = alphabet[pick(random)];
    return text;
}

// Every range [from, to) of `text`, copied into a block of exactly its size.
template <typename Search>
void checkEveryRange(const std::string &text, std::string_view bytes, Search search)
{
    for (std::size_t from = 0; from <= text.size(); ++from) {
        for (std::size_t to = from; to <= text.size(); ++to) {
            const std::size_t size = to - from;
            const std::unique_ptr<char[]> block(new char[std::max<std::size_t>(size, 1)]);
            std::copy(text.begin() + static_cast<std::ptrdiff_t>(from), text.begin() + static_cast<std::ptrdiff_t>(to),
                      block.get());
            const char *begin = block.get();
            const char *end = begin + size;
            ASSERT_EQ(search(begin, end) - begin, plainFind(begin, end, bytes) - begin)
                << "range " << from << ".." << to << " of \"" << text << "\"";
        }
    }
}

TEST(ByteScan, FindsTheFirstOfTheBytesInEveryRange)
{
    std::mt19937 random(20261211);
    // Rare, common and absent bytes of interest; high bytes besides.
    const std::string alphabets[] = {"abcdefghijklmnopqrstuvwxyz{", "a{}/;\"'[(", "abc\x80\xff", "{}{}{}"};
    for (const std::string &alphabet : alphabets) {
        for (const std::size_t size : {0u, 1u, 15u, 16u, 17u, 31u, 32u, 33u, 48u, 63u, 80u}) {
            const std::string text = textOf(random, alphabet, size);
            checkEveryRange(text, "{}/;\"'[(", [](const char *p, const char *end) {
                return base::FindAnyOf(p, end, '{', '}', '/', ';', '"', '\'', '[', '(');
            });
            checkEveryRange(text, "{}/\"'", [](const char *p, const char *end) {
                return base::FindAnyOf(p, end, '{', '}', '/', '"', '\'');
            });
            checkEveryRange(text, "}\xff",
                            [](const char *p, const char *end) { return base::FindAnyOf(p, end, '}', '\xff'); });
            // A byte named twice is looked for once.
            checkEveryRange(text, "{;",
                            [](const char *p, const char *end) { return base::FindAny(p, end, '{', ';', ';', ';'); });
        }
    }
}

TEST(ByteScan, FindsABytePlacedAtEachPosition)
{
    // One byte of interest at each position of a range that has none else:
    // the load that overlaps the range's end must find it, and nothing before.
    for (std::size_t size = 1; size <= 70; ++size) {
        for (std::size_t at = 0; at < size; ++at) {
            std::string text(size, 'x');
            text[at] = '}';
            const char *begin = text.data();
            const char *end = begin + size;
            for (std::size_t from = 0; from <= size; ++from) {
                const char *found = base::FindAnyOf(begin + from, end, '{', '}', '"');
                ASSERT_EQ(found - begin, static_cast<std::ptrdiff_t>(from <= at ? at : size))
                    << "size " << size << ", at " << at << ", from " << from;
            }
        }
    }
}

} // namespace
