// A small JSON reader for the tokenizer's test data. Strings come out as
// UTF-8; a \u escape of a lone surrogate comes out in the same three-byte
// form UTF-8 gives other code points of its size, so test data that carries
// lone surrogates survives the trip.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace minijson {

struct Value {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::vector<Value> array;
    // An object's members in document order: keys[i] names values[i].
    std::vector<std::string> keys;
    std::vector<Value> values;

    bool isNull() const { return kind == Kind::Null; }
    // The member `key`, or nullptr.
    const Value *find(std::string_view key) const
    {
        for (std::size_t i = 0; i < keys.size(); ++i)
            if (keys[i] == key)
                return &values[i];
        return nullptr;
    }
};

inline void appendCodePoint(std::string &out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Reads four hex digits at s[i]; throws when they are not there.
inline std::uint32_t hex4(std::string_view s, std::size_t i)
{
    if (i + 4 > s.size())
        throw std::runtime_error("short \\u escape");
    std::uint32_t v = 0;
    for (std::size_t k = i; k < i + 4; ++k) {
        const char c = s[k];
        v <<= 4;
        if (c >= '0' && c <= '9')
            v |= static_cast<std::uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            v |= static_cast<std::uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            v |= static_cast<std::uint32_t>(c - 'A' + 10);
        else
            throw std::runtime_error("bad \\u escape");
    }
    return v;
}

// Decodes the \uXXXX escapes of s (pairs of surrogates joined); every other
// byte is kept.
inline std::string unescapeU(std::string_view s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == 'u') {
            std::uint32_t cp = hex4(s, i + 2);
            i += 6;
            if (cp >= 0xD800 && cp < 0xDC00 && i + 6 <= s.size() && s[i] == '\\' && s[i + 1] == 'u') {
                const std::uint32_t low = hex4(s, i + 2);
                if (low >= 0xDC00 && low < 0xE000) {
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    i += 6;
                }
            }
            appendCodePoint(out, cp);
        } else {
            out.push_back(s[i++]);
        }
    }
    return out;
}

class Parser {
public:
    explicit Parser(std::string_view text) : s_(text) {}

    Value parseDocument()
    {
        Value v = parseValue();
        skipSpace();
        if (i_ != s_.size())
            fail("trailing text");
        return v;
    }

private:
    [[noreturn]] void fail(const char *what) const
    {
        throw std::runtime_error(std::string("JSON: ") + what + " at offset " + std::to_string(i_));
    }
    void skipSpace()
    {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r' || s_[i_] == '\t'))
            ++i_;
    }
    bool take(char c)
    {
        skipSpace();
        if (i_ < s_.size() && s_[i_] == c) {
            ++i_;
            return true;
        }
        return false;
    }
    void expect(char c)
    {
        if (!take(c))
            fail("unexpected character");
    }
    bool word(std::string_view w)
    {
        if (s_.substr(i_, w.size()) == w) {
            i_ += w.size();
            return true;
        }
        return false;
    }

    Value parseValue()
    {
        skipSpace();
        if (i_ >= s_.size())
            fail("unexpected end");
        Value v;
        const char c = s_[i_];
        if (c == '{') {
            ++i_;
            v.kind = Value::Kind::Object;
            if (take('}'))
                return v;
            do {
                skipSpace();
                std::string key = parseString();
                expect(':');
                v.keys.push_back(std::move(key));
                v.values.push_back(parseValue());
            } while (take(','));
            expect('}');
        } else if (c == '[') {
            ++i_;
            v.kind = Value::Kind::Array;
            if (take(']'))
                return v;
            do
                v.array.push_back(parseValue());
            while (take(','));
            expect(']');
        } else if (c == '"') {
            v.kind = Value::Kind::String;
            v.string = parseString();
        } else if (word("true")) {
            v.kind = Value::Kind::Bool;
            v.boolean = true;
        } else if (word("false")) {
            v.kind = Value::Kind::Bool;
        } else if (word("null")) {
            v.kind = Value::Kind::Null;
        } else {
            const std::size_t start = i_;
            while (i_ < s_.size() && std::string_view("+-0123456789.eE").find(s_[i_]) != std::string_view::npos)
                ++i_;
            if (start == i_)
                fail("unexpected character");
            v.kind = Value::Kind::Number;
            v.number = std::stod(std::string(s_.substr(start, i_ - start)));
        }
        return v;
    }

    std::string parseString()
    {
        if (i_ >= s_.size() || s_[i_] != '"')
            fail("string expected");
        ++i_;
        std::string out;
        for (;;) {
            if (i_ >= s_.size())
                fail("unterminated string");
            const char c = s_[i_++];
            if (c == '"')
                break;
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (i_ >= s_.size())
                fail("unterminated escape");
            const char e = s_[i_++];
            switch (e) {
            case '"': out.push_back('"'); break;
            case '\\': out.push_back('\\'); break;
            case '/': out.push_back('/'); break;
            case 'b': out.push_back('\b'); break;
            case 'f': out.push_back('\f'); break;
            case 'n': out.push_back('\n'); break;
            case 'r': out.push_back('\r'); break;
            case 't': out.push_back('\t'); break;
            case 'u': {
                // Back up to the backslash: unescapeU reads the escape and
                // its low surrogate, if one follows.
                std::size_t len = 6;
                const std::uint32_t cp = hex4(s_, i_);
                if (cp >= 0xD800 && cp < 0xDC00 && s_.substr(i_ + 4, 2) == "\\u") {
                    const std::uint32_t low = hex4(s_, i_ + 6);
                    if (low >= 0xDC00 && low < 0xE000)
                        len = 12;
                }
                out += unescapeU(s_.substr(i_ - 2, len));
                i_ += len - 2;
                break;
            }
            default: fail("unknown escape");
            }
        }
        return out;
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

inline Value parse(std::string_view text)
{
    return Parser(text).parseDocument();
}

} // namespace minijson
