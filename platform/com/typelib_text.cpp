// The type library description text (see typelib.h): tokens, numbers and
// one step for each keyword.
#include "platform/com/typelib.h"

#include "base/text.h"

#include <charconv>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace platform {

namespace {

// Splits a line into blank-separated tokens; "..." keeps blanks, and a
// backslash inside quotes takes the next character literally. An attribute
// like helpstring="a b" stays one token (quotes removed). Returns false on
// an unterminated quote.
bool tokenize(std::string_view line, std::vector<std::string> &tokens)
{
    tokens.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        if (i >= line.size())
            break;
        std::string tok;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
            if (line[i] == '"') {
                ++i;
                bool closed = false;
                while (i < line.size()) {
                    if (line[i] == '\\' && i + 1 < line.size()) {
                        tok.push_back(line[i + 1]);
                        i += 2;
                    } else if (line[i] == '"') {
                        ++i;
                        closed = true;
                        break;
                    } else {
                        tok.push_back(line[i++]);
                    }
                }
                if (!closed)
                    return false;
            } else {
                tok.push_back(line[i++]);
            }
        }
        tokens.push_back(std::move(tok));
    }
    return true;
}

bool parseNumber(std::string_view s, std::uint64_t &value, int defaultBase = 10)
{
    int base = defaultBase;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s.remove_prefix(2);
        base = 16;
    }
    if (s.empty())
        return false;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
    return ec == std::errc() && p == s.data() + s.size();
}

bool parseVersion(std::string_view s, WORD &major, WORD &minor)
{
    auto dot = s.find('.');
    if (dot == std::string_view::npos)
        return false;
    std::uint64_t a = 0, b = 0;
    if (!parseNumber(s.substr(0, dot), a) || !parseNumber(s.substr(dot + 1), b) || a > 0xFFFF || b > 0xFFFF)
        return false;
    major = static_cast<WORD>(a);
    minor = static_cast<WORD>(b);
    return true;
}

// A word on a line that stands for a flag bit.
struct FlagWord {
    std::string_view word;
    unsigned flag;
};

constexpr FlagWord kLibraryFlags[] = {
    {"control", LIBFLAG_FCONTROL}, {"restricted", LIBFLAG_FRESTRICTED}, {"hidden", LIBFLAG_FHIDDEN}};
constexpr FlagWord kTypeFlags[] = {{"dual", TYPEFLAG_FDUAL},
                                   {"hidden", TYPEFLAG_FHIDDEN},
                                   {"nonextensible", TYPEFLAG_FNONEXTENSIBLE},
                                   {"oleautomation", TYPEFLAG_FOLEAUTOMATION},
                                   {"creatable", TYPEFLAG_FCANCREATE},
                                   {"control", TYPEFLAG_FCONTROL}};
constexpr FlagWord kImplementsFlags[] = {{"default", IMPLTYPEFLAG_FDEFAULT}, {"source", IMPLTYPEFLAG_FSOURCE}};

// The bit `word` stands for among `words`, or nothing when it is none of them.
std::optional<unsigned> flagOf(std::span<const FlagWord> words, std::string_view word)
{
    for (const FlagWord &f : words)
        if (f.word == word)
            return f.flag;
    return std::nullopt;
}

using Tokens = std::vector<std::string>;
// Why a line is refused; nothing when it is taken.
using Refusal = std::optional<std::string>;

// Builds the description line by line, one step for each keyword.
class DescriptionBuilder {
public:
    explicit DescriptionBuilder(LibraryDescription &out) : out_(out) {}

    // Takes one line's tokens (the keyword first).
    Refusal line(const Tokens &tok);
    bool haveLibrary() const { return haveLibrary_; }

private:
    Refusal library(const Tokens &tok);
    Refusal libraryAttribute(std::string_view attribute);
    Refusal libraryFlags(std::string_view flags);
    Refusal importlib(const Tokens &tok);
    Refusal type(const Tokens &tok);
    Refusal propget(const Tokens &tok);
    Refusal implements(const Tokens &tok);

    LibraryDescription &out_;
    bool haveLibrary_ = false;
};

Refusal DescriptionBuilder::line(const Tokens &tok)
{
    const std::string &kw = tok[0];
    if (kw == "library")
        return library(tok);
    if (!haveLibrary_)
        return "the library line must come first";
    using Step = Refusal (DescriptionBuilder::*)(const Tokens &);
    static constexpr std::pair<std::string_view, Step> steps[] = {
        {"importlib", &DescriptionBuilder::importlib}, {"interface", &DescriptionBuilder::type},
        {"dispinterface", &DescriptionBuilder::type},  {"coclass", &DescriptionBuilder::type},
        {"propget", &DescriptionBuilder::propget},     {"implements", &DescriptionBuilder::implements}};
    for (const auto &[word, step] : steps)
        if (kw == word)
            return (this->*step)(tok);
    return "unknown keyword " + kw;
}

// library NAME {LIBID} MAJOR.MINOR [attribute=value ...]
Refusal DescriptionBuilder::library(const Tokens &tok)
{
    if (haveLibrary_ || tok.size() < 4)
        return "bad library line";
    auto id = GuidFromString(tok[2]);
    if (!id || !parseVersion(tok[3], out_.majorVersion, out_.minorVersion))
        return "bad library identifier or version";
    out_.name = tok[1];
    out_.libid = *id;
    for (std::size_t i = 4; i < tok.size(); ++i)
        if (Refusal why = libraryAttribute(tok[i]))
            return why;
    haveLibrary_ = true;
    return std::nullopt;
}

Refusal DescriptionBuilder::libraryAttribute(std::string_view a)
{
    auto eq = a.find('=');
    std::string_view key = a.substr(0, eq);
    std::string_view val = eq == std::string_view::npos ? std::string_view{} : a.substr(eq + 1);
    std::uint64_t n = 0;
    if (key == "lcid" && parseNumber(val, n, 16))
        out_.lcid = static_cast<LCID>(n);
    else if (key == "flags")
        return libraryFlags(val);
    else if (key == "helpstring")
        out_.helpString = std::string(val);
    else if (key == "helpfile")
        out_.helpFile = std::string(val);
    else if (key == "helpcontext" && parseNumber(val, n))
        out_.helpContext = static_cast<DWORD>(n);
    else
        return "unknown library attribute";
    return std::nullopt;
}

// flags=word|word...
Refusal DescriptionBuilder::libraryFlags(std::string_view val)
{
    std::size_t p = 0;
    for (;;) {
        auto bar = val.find('|', p);
        const auto flag = flagOf(kLibraryFlags, val.substr(p, bar == std::string_view::npos ? val.npos : bar - p));
        if (!flag)
            return "unknown library flag";
        out_.flags |= static_cast<WORD>(*flag);
        if (bar == std::string_view::npos)
            return std::nullopt;
        p = bar + 1;
    }
}

// importlib FILE
Refusal DescriptionBuilder::importlib(const Tokens &tok)
{
    if (tok.size() != 2)
        return "bad importlib line";
    out_.imports.push_back(tok[1]);
    return std::nullopt;
}

// interface | dispinterface | coclass NAME {GUID} MAJOR.MINOR [flag ...]
Refusal DescriptionBuilder::type(const Tokens &tok)
{
    if (tok.size() < 4)
        return "bad type line";
    TypeDescription t;
    t.kind = tok[0] == "interface" ? TKIND_INTERFACE : tok[0] == "dispinterface" ? TKIND_DISPATCH : TKIND_COCLASS;
    t.name = tok[1];
    auto id = GuidFromString(tok[2]);
    if (!id || !parseVersion(tok[3], t.majorVersion, t.minorVersion))
        return "bad type identifier or version";
    t.guid = *id;
    for (std::size_t i = 4; i < tok.size(); ++i) {
        const auto flag = flagOf(kTypeFlags, tok[i]);
        if (!flag)
            return "unknown type flag " + tok[i];
        t.flags |= static_cast<WORD>(*flag);
    }
    // A dual interface is also dispatchable and automation compatible.
    if (t.flags & TYPEFLAG_FDUAL)
        t.flags |= TYPEFLAG_FOLEAUTOMATION;
    out_.types.push_back(std::move(t));
    return std::nullopt;
}

// propget NAME DISPID TYPE, a member of the last interface
Refusal DescriptionBuilder::propget(const Tokens &tok)
{
    if (out_.types.empty() || out_.types.back().kind == TKIND_COCLASS || tok.size() != 4)
        return "propget outside an interface";
    MemberDescription m;
    m.name = tok[1];
    std::uint64_t id = 0;
    if (!parseNumber(tok[2], id) || id > 0xFFFFFFFFu)
        return "bad dispatch identifier";
    m.memid = static_cast<MEMBERID>(static_cast<std::uint32_t>(id));
    if (tok[3] == "VARIANT_BOOL")
        m.resultType = VT_BOOL;
    else if (tok[3] == "LONG")
        m.resultType = VT_I4;
    else
        return "unsupported result type " + tok[3];
    for (const auto &other : out_.types.back().members)
        if (other.memid == m.memid || base::EqualsNoCase(other.name, m.name))
            return "duplicate member " + m.name;
    out_.types.back().members.push_back(std::move(m));
    return std::nullopt;
}

// implements NAME [default] [source], of the last coclass
Refusal DescriptionBuilder::implements(const Tokens &tok)
{
    if (out_.types.empty() || out_.types.back().kind != TKIND_COCLASS || tok.size() < 2)
        return "implements outside a coclass";
    ImplementedType it;
    it.name = tok[1];
    for (std::size_t i = 2; i < tok.size(); ++i) {
        const auto flag = flagOf(kImplementsFlags, tok[i]);
        if (!flag)
            return "unknown implements flag";
        it.flags |= static_cast<int>(*flag);
    }
    out_.types.back().implemented.push_back(std::move(it));
    return std::nullopt;
}

} // namespace

HRESULT ParseTypeLibraryText(std::string_view text, LibraryDescription &out, std::string *error)
{
    out = LibraryDescription{};
    auto nul = text.find('\0');
    if (nul != std::string_view::npos)
        text = text.substr(0, nul);

    DescriptionBuilder builder(out);
    Tokens tok;
    int lineNo = 0;
    auto fail = [&](const std::string &why) {
        if (error)
            *error = "line " + std::to_string(lineNo) + ": " + why;
        return TYPE_E_UNSUPFORMAT;
    };

    std::size_t pos = 0;
    while (pos <= text.size()) {
        auto end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (!tokenize(line, tok))
            return fail("unterminated quote");
        if (tok.empty() || tok[0][0] == '#')
            continue;
        if (Refusal why = builder.line(tok))
            return fail(*why);
    }
    if (!builder.haveLibrary()) {
        lineNo = 0;
        return fail("no library line");
    }
    return S_OK;
}

} // namespace platform
