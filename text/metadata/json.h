#pragma once
// A strict JSON reader (RFC 8259) for the structured data pages carry
// (<script type="application/ld+json">). Plain C++.
//
// Whatever RFC 8259 does not allow is refused, not repaired: comments,
// trailing commas, single quotes, raw control characters in strings,
// leading zeros, a second value after the first. A lone surrogate escape
// (\uD800) becomes U+FFFD. The input is bounded in size and nesting, so
// that a hostile page costs little: past either bound the text is refused.
// Numbers are kept as they are written; nothing here needs their value.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillan::text::metadata::json {

inline constexpr std::size_t kMaxTextBytes = 1024 * 1024;
inline constexpr std::size_t kMaxDepth = 64;

struct Member;

struct Value {
    enum class Type : std::uint8_t { Null, False, True, Number, String, Array, Object };

    Type type = Type::Null;
    // A String's text (UTF-8, escapes resolved), or a Number as written.
    std::string text;
    std::vector<Value> items;    // an Array's
    std::vector<Member> members; // an Object's, in order

    bool isString() const { return type == Type::String; }
    bool isArray() const { return type == Type::Array; }
    bool isObject() const { return type == Type::Object; }
    // An Object's member named `key` (the first of that name); nullptr when
    // there is none or this is no Object.
    const Value *find(std::string_view key) const;
};

struct Member {
    std::string name;
    Value value;
};

// The value `text` holds; nothing when it is not exactly one JSON value
// (white space around it allowed), or is past kMaxTextBytes or kMaxDepth.
std::optional<Value> parse(std::string_view text);

} // namespace quillan::text::metadata::json
