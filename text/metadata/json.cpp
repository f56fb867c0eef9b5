#include "text/metadata/json.h"

#include "base/hex.h"
#include "base/utf8.h"

namespace quillan::text::metadata::json {

namespace {

class Reader {
public:
    explicit Reader(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

    std::optional<Value> document()
    {
        Value value;
        skipSpace();
        if (!readValue(value, 0))
            return std::nullopt;
        skipSpace();
        if (p_ != end_)
            return std::nullopt;
        return value;
    }

private:
    void skipSpace()
    {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r'))
            ++p_;
    }

    bool literal(std::string_view word)
    {
        if (std::size_t(end_ - p_) < word.size() || std::string_view(p_, word.size()) != word)
            return false;
        p_ += word.size();
        return true;
    }

    bool readValue(Value &value, std::size_t depth)
    {
        if (p_ == end_)
            return false;
        switch (*p_) {
        case '{': return readObject(value, depth + 1);
        case '[': return readArray(value, depth + 1);
        case '"': value.type = Value::Type::String; return readString(value.text);
        case 't': value.type = Value::Type::True; return literal("true");
        case 'f': value.type = Value::Type::False; return literal("false");
        case 'n': value.type = Value::Type::Null; return literal("null");
        default: value.type = Value::Type::Number; return readNumber(value.text);
        }
    }

    bool readObject(Value &value, std::size_t depth)
    {
        if (depth > kMaxDepth)
            return false;
        value.type = Value::Type::Object;
        ++p_; // '{'
        skipSpace();
        if (p_ < end_ && *p_ == '}') {
            ++p_;
            return true;
        }
        for (;;) {
            skipSpace();
            Member member;
            if (p_ == end_ || *p_ != '"' || !readString(member.name))
                return false;
            skipSpace();
            if (p_ == end_ || *p_ != ':')
                return false;
            ++p_;
            skipSpace();
            if (!readValue(member.value, depth))
                return false;
            value.members.push_back(std::move(member));
            skipSpace();
            if (p_ == end_)
                return false;
            if (*p_ == '}') {
                ++p_;
                return true;
            }
            if (*p_ != ',')
                return false;
            ++p_;
        }
    }

    bool readArray(Value &value, std::size_t depth)
    {
        if (depth > kMaxDepth)
            return false;
        value.type = Value::Type::Array;
        ++p_; // '['
        skipSpace();
        if (p_ < end_ && *p_ == ']') {
            ++p_;
            return true;
        }
        for (;;) {
            skipSpace();
            Value item;
            if (!readValue(item, depth))
                return false;
            value.items.push_back(std::move(item));
            skipSpace();
            if (p_ == end_)
                return false;
            if (*p_ == ']') {
                ++p_;
                return true;
            }
            if (*p_ != ',')
                return false;
            ++p_;
        }
    }

    static bool isDigit(char c) { return c >= '0' && c <= '9'; }

    bool digits()
    {
        const char *start = p_;
        while (p_ < end_ && isDigit(*p_))
            ++p_;
        return p_ != start;
    }

    // -? (0 | [1-9][0-9]*) (. [0-9]+)? ([eE] [+-]? [0-9]+)?
    bool readNumber(std::string &out)
    {
        const char *start = p_;
        if (p_ < end_ && *p_ == '-')
            ++p_;
        if (p_ == end_ || !isDigit(*p_))
            return false;
        if (*p_ == '0')
            ++p_;
        else
            digits();
        if (p_ < end_ && *p_ == '.') {
            ++p_;
            if (!digits())
                return false;
        }
        if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
            ++p_;
            if (p_ < end_ && (*p_ == '+' || *p_ == '-'))
                ++p_;
            if (!digits())
                return false;
        }
        out.assign(start, p_);
        return true;
    }

    // Four hex digits after "\u".
    bool hex4(char32_t &unit)
    {
        if (end_ - p_ < 4)
            return false;
        unit = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = base::HexDigitValue(p_[i]);
            if (digit < 0)
                return false;
            unit = unit * 16 + char32_t(digit);
        }
        p_ += 4;
        return true;
    }

    void append(std::string &out, char32_t cp)
    {
        char bytes[4];
        out.append(bytes, base::EncodeUtf8(cp, bytes));
    }

    bool readEscape(std::string &out)
    {
        if (p_ == end_)
            return false;
        const char c = *p_++;
        switch (c) {
        case '"': out += '"'; return true;
        case '\\': out += '\\'; return true;
        case '/': out += '/'; return true;
        case 'b': out += '\b'; return true;
        case 'f': out += '\f'; return true;
        case 'n': out += '\n'; return true;
        case 'r': out += '\r'; return true;
        case 't': out += '\t'; return true;
        case 'u': break;
        default: return false;
        }
        char32_t unit = 0;
        if (!hex4(unit))
            return false;
        if (unit >= 0xD800 && unit <= 0xDBFF && end_ - p_ >= 6 && p_[0] == '\\' && p_[1] == 'u') {
            const char *back = p_;
            p_ += 2;
            char32_t low = 0;
            if (!hex4(low))
                return false;
            if (low >= 0xDC00 && low <= 0xDFFF) {
                append(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                return true;
            }
            p_ = back; // the next escape stands on its own
        }
        append(out, unit >= 0xD800 && unit <= 0xDFFF ? char32_t(0xFFFD) : unit);
        return true;
    }

    bool readString(std::string &out)
    {
        ++p_; // '"'
        for (;;) {
            const char *run = p_;
            while (p_ < end_ && *p_ != '"' && *p_ != '\\' && static_cast<unsigned char>(*p_) >= 0x20)
                ++p_;
            out.append(run, p_);
            if (p_ == end_ || static_cast<unsigned char>(*p_) < 0x20)
                return false;
            if (*p_++ == '"')
                return true;
            if (!readEscape(out))
                return false;
        }
    }

    const char *p_;
    const char *end_;
};

} // namespace

const Value *Value::find(std::string_view key) const
{
    for (const auto &[name, value] : members)
        if (name == key)
            return &value;
    return nullptr;
}

std::optional<Value> parse(std::string_view text)
{
    if (text.size() > kMaxTextBytes)
        return std::nullopt;
    return Reader(text).document();
}

} // namespace quillan::text::metadata::json
