#include "text/readable/url_parser.h"

#include "base/hex.h"
#include "base/text.h"

#include <array>
#include <cstdint>
#include <vector>

namespace quillan::text::readable {

namespace {

constexpr int Eof = -1;

struct Url {
    std::string scheme;
    std::string username;
    std::string password;
    std::optional<std::string> host;
    std::optional<unsigned> port;
    bool opaquePath = false;
    std::string opaque;            // the path, when opaque
    std::vector<std::string> path; // its segments, otherwise
    std::optional<std::string> query;
    std::optional<std::string> fragment;
};

bool isAlpha(int c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(int c)
{
    return c >= '0' && c <= '9';
}

// -1: not special. Otherwise the default port, 0 for file.
int specialPort(std::string_view scheme)
{
    if (scheme == "http" || scheme == "ws")
        return 80;
    if (scheme == "https" || scheme == "wss")
        return 443;
    if (scheme == "ftp")
        return 21;
    if (scheme == "file")
        return 0;
    return -1;
}

// The percent-encode sets, each a superset of the one before.
enum class EncodeSet { C0Control, Fragment, Query, SpecialQuery, Path, Userinfo };

bool inSet(unsigned char c, EncodeSet set)
{
    if (c < 0x20 || c > 0x7e)
        return true;
    switch (set) {
    case EncodeSet::C0Control: return false;
    case EncodeSet::Fragment: return c == ' ' || c == '"' || c == '<' || c == '>' || c == '`';
    case EncodeSet::Query: return c == ' ' || c == '"' || c == '#' || c == '<' || c == '>';
    case EncodeSet::SpecialQuery: return inSet(c, EncodeSet::Query) || c == '\'';
    case EncodeSet::Path: return inSet(c, EncodeSet::Query) || c == '?' || c == '^' || c == '`' || c == '{' || c == '}';
    case EncodeSet::Userinfo:
        return inSet(c, EncodeSet::Path) || c == '/' || c == ':' || c == ';' || c == '=' || c == '@' ||
               (c >= '[' && c <= '^') || c == '|';
    }
    return false;
}

void appendEncoded(std::string &out, char c, EncodeSet set)
{
    const auto byte = static_cast<unsigned char>(c);
    if (!inSet(byte, set)) {
        out.push_back(c);
        return;
    }
    static constexpr char Digits[] = "0123456789ABCDEF";
    out.push_back('%');
    out.push_back(Digits[byte >> 4]);
    out.push_back(Digits[byte & 15]);
}

std::string percentDecode(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const int byte = s[i] == '%' && i + 2 < s.size() ? base::HexByteValue(s[i + 1], s[i + 2]) : -1;
        if (byte >= 0) {
            out.push_back(static_cast<char>(byte));
            i += 2;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

// --- Hosts -------------------------------------------------------------------

bool isForbiddenHost(unsigned char c)
{
    switch (c) {
    case 0:
    case '\t':
    case '\n':
    case '\r':
    case ' ':
    case '#':
    case '/':
    case ':':
    case '<':
    case '>':
    case '?':
    case '@':
    case '[':
    case '\\':
    case ']':
    case '^':
    case '|': return true;
    default: return false;
    }
}

bool isForbiddenDomain(unsigned char c)
{
    return isForbiddenHost(c) || c < 0x20 || c == '%' || c == 0x7f;
}

// The code points of UTF-8 text; nothing when it is not UTF-8.
std::optional<std::u32string> decodeUtf8(std::string_view s)
{
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto lead = static_cast<unsigned char>(s[i]);
        int length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + std::size_t(length) > s.size())
            return std::nullopt;
        char32_t cp = length == 1 ? lead : lead & (0x7f >> length);
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(s[i + std::size_t(k)]);
            if ((next & 0xc0) != 0x80)
                return std::nullopt;
            cp = (cp << 6) | (next & 0x3f);
        }
        if ((length == 2 && cp < 0x80) || (length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000) ||
            cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff))
            return std::nullopt;
        out.push_back(cp);
        i += std::size_t(length);
    }
    return out;
}

// RFC 3492's encoding of one label's code points.
std::optional<std::string> punycode(const std::u32string &input)
{
    constexpr std::uint32_t Base = 36, TMin = 1, TMax = 26, Skew = 38, Damp = 700;
    auto adapt = [](std::uint32_t delta, std::uint32_t points, bool first) {
        delta = first ? delta / Damp : delta / 2;
        delta += delta / points;
        std::uint32_t k = 0;
        while (delta > ((Base - TMin) * TMax) / 2) {
            delta /= Base - TMin;
            k += Base;
        }
        return k + (Base - TMin + 1) * delta / (delta + Skew);
    };
    auto digit = [](std::uint32_t d) { return static_cast<char>(d < 26 ? 'a' + d : '0' + d - 26); };
    std::string out;
    for (const char32_t cp : input)
        if (cp < 0x80)
            out.push_back(static_cast<char>(cp));
    const std::uint32_t basic = static_cast<std::uint32_t>(out.size());
    if (basic > 0)
        out.push_back('-');
    std::uint32_t n = 0x80, delta = 0, bias = 72, handled = basic;
    while (handled < input.size()) {
        std::uint32_t m = 0x10ffff + 1;
        for (const char32_t cp : input)
            if (cp >= n && cp < m)
                m = cp;
        if (std::uint64_t(m - n) * (handled + 1) + delta > 0xffffffffu)
            return std::nullopt;
        delta += (m - n) * (handled + 1);
        n = m;
        for (const char32_t cp : input) {
            if (cp < n)
                ++delta;
            if (cp != n)
                continue;
            std::uint32_t q = delta;
            for (std::uint32_t k = Base;; k += Base) {
                const std::uint32_t t = k <= bias ? TMin : k >= bias + TMax ? TMax : k - bias;
                if (q < t)
                    break;
                out.push_back(digit(t + (q - t) % (Base - t)));
                q = (q - t) / (Base - t);
            }
            out.push_back(digit(q));
            bias = adapt(delta, handled + 1, handled == basic);
            delta = 0;
            ++handled;
        }
        ++delta;
        ++n;
    }
    return out;
}

// The domain in ASCII: ASCII letters lowercased, a label with other
// characters written as "xn--" and its Punycode.
std::optional<std::string> domainToAscii(std::string_view domain)
{
    std::string out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = domain.find('.', start);
        const std::string_view label = domain.substr(start, dot == std::string_view::npos ? dot : dot - start);
        bool ascii = true;
        for (const char c : label)
            ascii = ascii && static_cast<unsigned char>(c) < 0x80;
        if (ascii) {
            for (const char c : label)
                out.push_back(base::AsciiLower(c));
        } else {
            std::optional<std::u32string> points = decodeUtf8(label);
            if (!points)
                return std::nullopt;
            for (char32_t &cp : *points)
                if (cp < 0x80)
                    cp = static_cast<char32_t>(base::AsciiLower(static_cast<char>(cp)));
            const std::optional<std::string> encoded = punycode(*points);
            if (!encoded)
                return std::nullopt;
            out += "xn--" + *encoded;
        }
        if (dot == std::string_view::npos)
            break;
        out.push_back('.');
        start = dot + 1;
    }
    if (out.empty())
        return std::nullopt;
    return out;
}

// One part of an IPv4 address: decimal, octal (a leading 0) or hexadecimal
// (0x).
std::optional<std::uint64_t> ipv4Number(std::string_view s)
{
    if (s.empty())
        return std::nullopt;
    unsigned radix = 10;
    if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        radix = 16;
        s.remove_prefix(2);
    } else if (s.size() >= 2 && s[0] == '0') {
        radix = 8;
        s.remove_prefix(1);
    }
    std::uint64_t value = 0;
    for (const char c : s) {
        const int d = base::HexDigitValue(c);
        if (d < 0 || unsigned(d) >= radix)
            return std::nullopt;
        value = value * radix + unsigned(d);
        if (value > 0xffffffffull)
            value = 0x100000000ull; // too large whatever follows
    }
    return value;
}

std::vector<std::string_view> splitDots(std::string_view s)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = s.find('.', start);
        parts.push_back(s.substr(start, dot == std::string_view::npos ? dot : dot - start));
        if (dot == std::string_view::npos)
            return parts;
        start = dot + 1;
    }
}

bool endsInNumber(std::string_view domain)
{
    std::vector<std::string_view> parts = splitDots(domain);
    if (parts.back().empty()) {
        if (parts.size() == 1)
            return false;
        parts.pop_back();
    }
    const std::string_view last = parts.back();
    bool digits = !last.empty();
    for (const char c : last)
        digits = digits && isDigit(c);
    return digits || ipv4Number(last).has_value();
}

std::optional<std::string> parseIpv4(std::string_view s)
{
    std::vector<std::string_view> parts = splitDots(s);
    if (parts.back().empty() && parts.size() > 1)
        parts.pop_back();
    if (parts.size() > 4)
        return std::nullopt;
    std::vector<std::uint64_t> numbers;
    for (const std::string_view part : parts) {
        const std::optional<std::uint64_t> n = ipv4Number(part);
        if (!n)
            return std::nullopt;
        numbers.push_back(*n);
    }
    for (std::size_t i = 0; i + 1 < numbers.size(); ++i)
        if (numbers[i] > 255)
            return std::nullopt;
    if (numbers.back() >= (std::uint64_t(1) << (8 * (5 - numbers.size()))))
        return std::nullopt;
    std::uint64_t address = numbers.back();
    for (std::size_t i = 0; i + 1 < numbers.size(); ++i)
        address += numbers[i] << (8 * (3 - i));
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += std::to_string((address >> shift) & 255);
        if (shift > 0)
            out.push_back('.');
    }
    return out;
}

std::optional<std::string> parseIpv6(std::string_view s)
{
    std::array<std::uint16_t, 8> pieces{};
    int piece = 0;
    int compress = -1;
    std::size_t i = 0;
    auto at = [&](std::size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0; };
    if (at(0) == ':') {
        if (at(1) != ':')
            return std::nullopt;
        i = 2;
        compress = ++piece;
    }
    while (i < s.size()) {
        if (piece == 8)
            return std::nullopt;
        if (s[i] == ':') {
            if (compress >= 0)
                return std::nullopt;
            ++i;
            compress = ++piece;
            continue;
        }
        unsigned value = 0;
        std::size_t length = 0;
        while (length < 4 && base::HexDigitValue(static_cast<char>(at(i))) >= 0) {
            value = value * 16 + unsigned(base::HexDigitValue(s[i]));
            ++i;
            ++length;
        }
        if (at(i) == '.') {
            // The last 32 bits written as an IPv4 address.
            if (length == 0)
                return std::nullopt;
            i -= length;
            if (piece > 6)
                return std::nullopt;
            int seen = 0;
            while (i < s.size()) {
                int ipv4Piece = -1;
                if (seen > 0) {
                    if (s[i] != '.' || seen >= 4)
                        return std::nullopt;
                    ++i;
                }
                if (!isDigit(at(i)))
                    return std::nullopt;
                while (isDigit(at(i))) {
                    const int d = s[i] - '0';
                    if (ipv4Piece == 0)
                        return std::nullopt;
                    ipv4Piece = ipv4Piece < 0 ? d : ipv4Piece * 10 + d;
                    if (ipv4Piece > 255)
                        return std::nullopt;
                    ++i;
                }
                pieces[std::size_t(piece)] = std::uint16_t(pieces[std::size_t(piece)] * 0x100 + ipv4Piece);
                ++seen;
                if (seen == 2 || seen == 4)
                    ++piece;
            }
            if (seen != 4)
                return std::nullopt;
            break;
        }
        if (at(i) == ':') {
            ++i;
            if (i >= s.size())
                return std::nullopt;
        } else if (i < s.size()) {
            return std::nullopt;
        }
        pieces[std::size_t(piece++)] = std::uint16_t(value);
    }
    if (compress >= 0) {
        int swaps = piece - compress;
        piece = 7;
        while (piece != 0 && swaps > 0) {
            std::swap(pieces[std::size_t(piece)], pieces[std::size_t(compress + swaps - 1)]);
            --piece;
            --swaps;
        }
    } else if (piece != 8) {
        return std::nullopt;
    }

    // The first longest run of two or more zero pieces is written "::".
    int runStart = -1, runLength = 1;
    for (int k = 0; k < 8;) {
        int end = k;
        while (end < 8 && pieces[std::size_t(end)] == 0)
            ++end;
        if (end - k > runLength) {
            runStart = k;
            runLength = end - k;
        }
        k = end == k ? k + 1 : end;
    }
    std::string out = "[";
    bool ignore0 = false;
    for (int k = 0; k < 8; ++k) {
        if (ignore0 && pieces[std::size_t(k)] == 0)
            continue;
        ignore0 = false;
        if (k == runStart) {
            out += k == 0 ? "::" : ":";
            ignore0 = true;
            continue;
        }
        static constexpr char Digits[] = "0123456789abcdef";
        std::string hex;
        for (unsigned v = pieces[std::size_t(k)]; hex.empty() || v != 0; v >>= 4)
            hex.insert(hex.begin(), Digits[v & 15]);
        out += hex;
        if (k != 7)
            out.push_back(':');
    }
    out.push_back(']');
    return out;
}

std::optional<std::string> parseHost(std::string_view input, bool special)
{
    if (!input.empty() && input.front() == '[') {
        if (input.back() != ']')
            return std::nullopt;
        return parseIpv6(input.substr(1, input.size() - 2));
    }
    if (!special) {
        std::string out;
        for (const char c : input) {
            if (isForbiddenHost(static_cast<unsigned char>(c)))
                return std::nullopt;
            appendEncoded(out, c, EncodeSet::C0Control);
        }
        return out;
    }
    const std::optional<std::string> ascii = domainToAscii(percentDecode(input));
    if (!ascii)
        return std::nullopt;
    for (const char c : *ascii)
        if (isForbiddenDomain(static_cast<unsigned char>(c)))
            return std::nullopt;
    if (endsInNumber(*ascii))
        return parseIpv4(*ascii);
    return ascii;
}

// --- Paths -------------------------------------------------------------------

bool isSingleDot(std::string_view s)
{
    return s == "." || base::EqualsNoCase(s, "%2e");
}

bool isDoubleDot(std::string_view s)
{
    return s == ".." || base::EqualsNoCase(s, ".%2e") || base::EqualsNoCase(s, "%2e.") ||
           base::EqualsNoCase(s, "%2e%2e");
}

bool isDriveLetter(std::string_view s, bool normalized)
{
    return s.size() == 2 && isAlpha(s[0]) && (s[1] == ':' || (!normalized && s[1] == '|'));
}

// Whether s starts with a drive letter that is the whole of it or is
// followed by '/', '\', '?' or '#'.
bool startsWithDriveLetter(std::string_view s)
{
    if (s.size() < 2 || !isDriveLetter(s.substr(0, 2), false))
        return false;
    return s.size() == 2 || s[2] == '/' || s[2] == '\\' || s[2] == '?' || s[2] == '#';
}

void shortenPath(Url &url)
{
    if (url.scheme == "file" && url.path.size() == 1 && isDriveLetter(url.path[0], true))
        return;
    if (!url.path.empty())
        url.path.pop_back();
}

// --- The parser --------------------------------------------------------------

enum class State {
    SchemeStart,
    Scheme,
    NoScheme,
    SpecialRelativeOrAuthority,
    PathOrAuthority,
    Relative,
    RelativeSlash,
    SpecialAuthoritySlashes,
    SpecialAuthorityIgnoreSlashes,
    Authority,
    Host,
    Port,
    File,
    FileSlash,
    FileHost,
    PathStart,
    Path,
    OpaquePath,
    Query,
    Fragment,
};

std::string cleaned(std::string_view input)
{
    while (!input.empty() && static_cast<unsigned char>(input.front()) <= 0x20)
        input.remove_prefix(1);
    while (!input.empty() && static_cast<unsigned char>(input.back()) <= 0x20)
        input.remove_suffix(1);
    std::string out;
    out.reserve(input.size());
    for (const char c : input)
        if (c != '\t' && c != '\n' && c != '\r')
            out.push_back(c);
    return out;
}

std::optional<Url> parse(std::string_view text, const Url *base)
{
    const std::string input = cleaned(text);
    Url url;
    State state = State::SchemeStart;
    std::string buffer;
    bool atSignSeen = false, insideBrackets = false, passwordTokenSeen = false;
    auto special = [&url] { return specialPort(url.scheme) >= 0; };
    auto remaining = [&input](std::size_t pointer) {
        return pointer + 1 < input.size() ? std::string_view(input).substr(pointer + 1) : std::string_view();
    };

    for (std::ptrdiff_t pointer = 0;; ++pointer) {
        const auto p = std::size_t(pointer);
        const int c = p < input.size() ? static_cast<unsigned char>(input[p]) : Eof;
        // Read when used: the scheme may have been set by the state.
        const auto slashy = [&] { return c == '/' || (c == '\\' && special()); };
        const auto ends = [&] { return c == Eof || slashy() || c == '?' || c == '#'; };
        switch (state) {
        case State::SchemeStart:
            if (isAlpha(c)) {
                buffer.push_back(base::AsciiLower(char(c)));
                state = State::Scheme;
            } else {
                state = State::NoScheme;
                --pointer;
            }
            break;
        case State::Scheme:
            if (isAlpha(c) || isDigit(c) || c == '+' || c == '-' || c == '.') {
                buffer.push_back(base::AsciiLower(char(c)));
            } else if (c == ':') {
                url.scheme = std::move(buffer);
                buffer.clear();
                if (url.scheme == "file")
                    state = State::File;
                else if (special() && base && base->scheme == url.scheme)
                    state = State::SpecialRelativeOrAuthority;
                else if (special())
                    state = State::SpecialAuthoritySlashes;
                else if (remaining(p).substr(0, 1) == "/") {
                    state = State::PathOrAuthority;
                    ++pointer;
                } else {
                    url.opaquePath = true;
                    state = State::OpaquePath;
                }
            } else {
                buffer.clear();
                state = State::NoScheme;
                pointer = -1;
            }
            break;
        case State::NoScheme:
            if (!base || (base->opaquePath && c != '#'))
                return std::nullopt;
            if (base->opaquePath) {
                url.scheme = base->scheme;
                url.opaquePath = true;
                url.opaque = base->opaque;
                url.query = base->query;
                url.fragment = "";
                state = State::Fragment;
            } else {
                state = base->scheme == "file" ? State::File : State::Relative;
                --pointer;
            }
            break;
        case State::SpecialRelativeOrAuthority:
            if (c == '/' && remaining(p).substr(0, 1) == "/") {
                state = State::SpecialAuthorityIgnoreSlashes;
                ++pointer;
            } else {
                state = State::Relative;
                --pointer;
            }
            break;
        case State::PathOrAuthority:
            if (c == '/') {
                state = State::Authority;
            } else {
                state = State::Path;
                --pointer;
            }
            break;
        case State::Relative:
            url.scheme = base->scheme;
            if (slashy()) {
                state = State::RelativeSlash;
            } else {
                url.username = base->username;
                url.password = base->password;
                url.host = base->host;
                url.port = base->port;
                url.path = base->path;
                url.query = base->query;
                if (c == '?') {
                    url.query = "";
                    state = State::Query;
                } else if (c == '#') {
                    url.fragment = "";
                    state = State::Fragment;
                } else if (c != Eof) {
                    url.query.reset();
                    shortenPath(url);
                    state = State::Path;
                    --pointer;
                }
            }
            break;
        case State::RelativeSlash:
            if (special() && (c == '/' || c == '\\')) {
                state = State::SpecialAuthorityIgnoreSlashes;
            } else if (c == '/') {
                state = State::Authority;
            } else {
                url.username = base->username;
                url.password = base->password;
                url.host = base->host;
                url.port = base->port;
                state = State::Path;
                --pointer;
            }
            break;
        case State::SpecialAuthoritySlashes:
            state = State::SpecialAuthorityIgnoreSlashes;
            if (c == '/' && remaining(p).substr(0, 1) == "/")
                ++pointer;
            else
                --pointer;
            break;
        case State::SpecialAuthorityIgnoreSlashes:
            if (c != '/' && c != '\\') {
                state = State::Authority;
                --pointer;
            }
            break;
        case State::Authority:
            if (c == '@') {
                if (atSignSeen)
                    buffer.insert(0, "%40");
                atSignSeen = true;
                for (const char b : buffer) {
                    if (b == ':' && !passwordTokenSeen) {
                        passwordTokenSeen = true;
                        continue;
                    }
                    appendEncoded(passwordTokenSeen ? url.password : url.username, b, EncodeSet::Userinfo);
                }
                buffer.clear();
            } else if (ends()) {
                if (atSignSeen && buffer.empty())
                    return std::nullopt;
                pointer -= std::ptrdiff_t(buffer.size()) + 1;
                buffer.clear();
                state = State::Host;
            } else {
                buffer.push_back(char(c));
            }
            break;
        case State::Host:
            if (c == ':' && !insideBrackets) {
                if (buffer.empty())
                    return std::nullopt;
                url.host = parseHost(buffer, special());
                if (!url.host)
                    return std::nullopt;
                buffer.clear();
                state = State::Port;
            } else if (ends()) {
                --pointer;
                if (special() && buffer.empty())
                    return std::nullopt;
                url.host = parseHost(buffer, special());
                if (!url.host)
                    return std::nullopt;
                buffer.clear();
                state = State::PathStart;
            } else {
                if (c == '[')
                    insideBrackets = true;
                if (c == ']')
                    insideBrackets = false;
                buffer.push_back(char(c));
            }
            break;
        case State::Port:
            if (isDigit(c)) {
                buffer.push_back(char(c));
                if (buffer.size() > 5 && buffer.find_first_not_of('0') != std::string::npos &&
                    buffer.size() - buffer.find_first_not_of('0') > 5)
                    return std::nullopt;
            } else if (ends()) {
                if (!buffer.empty()) {
                    const unsigned long port = std::stoul(buffer);
                    if (port > 65535)
                        return std::nullopt;
                    if (int(port) == specialPort(url.scheme))
                        url.port.reset();
                    else
                        url.port = unsigned(port);
                    buffer.clear();
                }
                state = State::PathStart;
                --pointer;
            } else {
                return std::nullopt;
            }
            break;
        case State::File:
            url.scheme = "file";
            url.host = "";
            if (c == '/' || c == '\\') {
                state = State::FileSlash;
            } else if (base && base->scheme == "file") {
                url.host = base->host;
                url.path = base->path;
                url.query = base->query;
                if (c == '?') {
                    url.query = "";
                    state = State::Query;
                } else if (c == '#') {
                    url.fragment = "";
                    state = State::Fragment;
                } else if (c != Eof) {
                    url.query.reset();
                    if (!startsWithDriveLetter(std::string_view(input).substr(p)))
                        shortenPath(url);
                    else
                        url.path.clear();
                    state = State::Path;
                    --pointer;
                }
            } else {
                state = State::Path;
                --pointer;
            }
            break;
        case State::FileSlash:
            if (c == '/' || c == '\\') {
                state = State::FileHost;
            } else {
                if (base && base->scheme == "file") {
                    url.host = base->host;
                    if (!startsWithDriveLetter(std::string_view(input).substr(p)) && !base->path.empty() &&
                        isDriveLetter(base->path[0], true))
                        url.path.push_back(base->path[0]);
                }
                state = State::Path;
                --pointer;
            }
            break;
        case State::FileHost:
            if (c == Eof || c == '/' || c == '\\' || c == '?' || c == '#') {
                --pointer;
                if (isDriveLetter(buffer, false)) {
                    state = State::Path;
                } else if (buffer.empty()) {
                    url.host = "";
                    state = State::PathStart;
                } else {
                    url.host = parseHost(buffer, true);
                    if (!url.host)
                        return std::nullopt;
                    if (*url.host == "localhost")
                        url.host = "";
                    buffer.clear();
                    state = State::PathStart;
                }
            } else {
                buffer.push_back(char(c));
            }
            break;
        case State::PathStart:
            if (special()) {
                state = State::Path;
                if (c != '/' && c != '\\')
                    --pointer;
            } else if (c == '?') {
                url.query = "";
                state = State::Query;
            } else if (c == '#') {
                url.fragment = "";
                state = State::Fragment;
            } else if (c != Eof) {
                state = State::Path;
                if (c != '/')
                    --pointer;
            }
            break;
        case State::Path:
            if (ends()) {
                if (isDoubleDot(buffer)) {
                    shortenPath(url);
                    if (!slashy())
                        url.path.emplace_back();
                } else if (isSingleDot(buffer) && !slashy()) {
                    url.path.emplace_back();
                } else if (!isSingleDot(buffer)) {
                    if (url.scheme == "file" && url.path.empty() && isDriveLetter(buffer, false))
                        buffer[1] = ':';
                    url.path.push_back(buffer);
                }
                buffer.clear();
                if (c == '?') {
                    url.query = "";
                    state = State::Query;
                } else if (c == '#') {
                    url.fragment = "";
                    state = State::Fragment;
                }
            } else {
                appendEncoded(buffer, char(c), EncodeSet::Path);
            }
            break;
        case State::OpaquePath:
            if (c == '?') {
                url.query = "";
                state = State::Query;
            } else if (c == '#') {
                url.fragment = "";
                state = State::Fragment;
            } else if (c == ' ') {
                const std::string_view rest = remaining(p);
                url.opaque += !rest.empty() && (rest[0] == '?' || rest[0] == '#') ? "%20" : " ";
            } else if (c != Eof) {
                appendEncoded(url.opaque, char(c), EncodeSet::C0Control);
            }
            break;
        case State::Query:
            if (c == '#') {
                url.fragment = "";
                state = State::Fragment;
            } else if (c != Eof) {
                appendEncoded(*url.query, char(c), special() ? EncodeSet::SpecialQuery : EncodeSet::Query);
            }
            break;
        case State::Fragment:
            if (c != Eof)
                appendEncoded(*url.fragment, char(c), EncodeSet::Fragment);
            break;
        }
        if (pointer >= std::ptrdiff_t(input.size()))
            break;
    }
    return url;
}

std::string serialize(const Url &url)
{
    std::string out = url.scheme + ":";
    if (url.host) {
        out += "//";
        if (!url.username.empty() || !url.password.empty()) {
            out += url.username;
            if (!url.password.empty())
                out += ":" + url.password;
            out += "@";
        }
        out += *url.host;
        if (url.port)
            out += ":" + std::to_string(*url.port);
    }
    if (url.opaquePath) {
        out += url.opaque;
    } else {
        if (!url.host && url.path.size() > 1 && url.path[0].empty())
            out += "/.";
        for (const std::string &segment : url.path)
            out += "/" + segment;
    }
    if (url.query)
        out += "?" + *url.query;
    if (url.fragment)
        out += "#" + *url.fragment;
    return out;
}

// --- The quick road -----------------------------------------------------------
//
// Most links of a page are written the way the serializer writes them
// already: an http(s) address with a lowercase host and nothing to encode,
// or a plain path, query or fragment to put after the base's. Those are
// written out here without the parser's state machine; anything else (a
// port, user info, a backslash, a dot segment, a byte to encode, a host the
// host parser would change, another scheme ...) is left to the parser.

// Whether `c` stays as it is in a path, query or fragment of a special
// address: printable ASCII, none of the part's encode set nor what ends it.
constexpr std::array<bool, 256> plainBytes(std::string_view except)
{
    std::array<bool, 256> plain{};
    for (unsigned c = 0x21; c < 0x7f; ++c)
        plain[c] = true;
    for (const char c : except)
        plain[static_cast<unsigned char>(c)] = false;
    return plain;
}
constexpr std::array<bool, 256> kPlainSegment = plainBytes("\"#<>?^`{}\\/");
constexpr std::array<bool, 256> kPlainQuery = plainBytes("\"#<>'");
constexpr std::array<bool, 256> kPlainFragment = plainBytes("\"<>`");

// Whether a host of these bytes is written as it is: lowercase letters,
// digits, . - _, its last label not one an IPv4 address could end in (a
// digit starts every number: 08, 0x1f) and no dot at its end.
bool plainHost(std::string_view host)
{
    if (host.empty() || host.back() == '.')
        return false;
    for (const char c : host)
        if (!((c >= 'a' && c <= 'z') || isDigit(c) || c == '.' || c == '-' || c == '_'))
            return false;
    const std::size_t dot = host.rfind('.');
    return !isDigit(host[dot == std::string_view::npos ? 0 : dot + 1]);
}

// Whether `path` (up to a ? or #, or the end) is written as it is: every
// byte plain, no segment "." or "..", however written; `rest` is set to
// what follows it.
bool plainPath(std::string_view input, std::string_view &rest)
{
    std::size_t i = 0;
    for (;;) {
        const std::size_t start = i;
        while (i < input.size() && kPlainSegment[static_cast<unsigned char>(input[i])])
            ++i;
        // (Only a segment that starts with . or % can be a dot segment.)
        if (i > start && (input[start] == '.' || input[start] == '%') && i - start <= 6) {
            const std::string_view s = input.substr(start, i - start);
            if (isSingleDot(s) || isDoubleDot(s))
                return false;
        }
        if (i == input.size() || input[i] == '?' || input[i] == '#')
            break;
        if (input[i] != '/')
            return false;
        ++i;
    }
    rest = input.substr(i);
    return true;
}

// Whether a query and fragment (`rest`: empty, or from its ? or #) are
// written as they are.
bool plainRest(std::string_view rest)
{
    std::size_t i = 0;
    if (i < rest.size() && rest[i] == '?')
        for (++i; i < rest.size() && rest[i] != '#'; ++i)
            if (!kPlainQuery[static_cast<unsigned char>(rest[i])])
                return false;
    if (i < rest.size())
        for (++i; i < rest.size(); ++i)
            if (!kPlainFragment[static_cast<unsigned char>(rest[i])])
                return false;
    return true;
}

// An absolute http(s) address written as the serializer writes it (a "/"
// added where it has no path); false when it is not one of those.
bool quickAbsolute(std::string_view input, std::string &out)
{
    std::size_t at;
    if (input.starts_with("http://"))
        at = 7;
    else if (input.starts_with("https://"))
        at = 8;
    else
        return false;
    std::size_t hostEnd = at;
    while (hostEnd < input.size() && input[hostEnd] != '/' && input[hostEnd] != '?' && input[hostEnd] != '#')
        ++hostEnd;
    if (!plainHost(input.substr(at, hostEnd - at)))
        return false;
    std::string_view rest;
    const bool slash = hostEnd < input.size() && input[hostEnd] == '/';
    if (!plainPath(input.substr(hostEnd + (slash ? 1 : 0)), rest) || !plainRest(rest))
        return false;
    out.reserve(input.size() + 1);
    out.assign(input.substr(0, hostEnd));
    out.push_back('/');
    out.append(input.substr(hostEnd + (slash ? 1 : 0)));
    return true;
}

} // namespace

std::optional<std::string> parseUrl(std::string_view input, std::string_view base)
{
    return BaseAddress(base).resolve(input);
}

struct BaseAddress::Parsed {
    Url url;
    // For the quick road, when the base is an http(s) address: the base
    // written out up to its path ("http://host:8080"), up to its last
    // segment ("http://host/dir/"), without its fragment, and without its
    // query either; empty otherwise.
    std::string origin;
    std::string directory;
    std::string withoutFragment;
    std::string withoutQuery;
};

BaseAddress::BaseAddress(std::string_view base)
{
    if (base.empty())
        return;
    std::optional<Url> url = parse(base, nullptr);
    if (!url)
        return;
    parsed_ = std::make_unique<Parsed>(Parsed{std::move(*url), {}, {}, {}, {}});
    Url copy = parsed_->url;
    if ((copy.scheme != "http" && copy.scheme != "https") || !copy.host || copy.path.empty())
        return;
    copy.fragment.reset();
    parsed_->withoutFragment = serialize(copy);
    copy.query.reset();
    parsed_->withoutQuery = serialize(copy);
    copy.path.pop_back();
    parsed_->directory = serialize(copy) + "/";
    copy.path.clear();
    parsed_->origin = serialize(copy);
}

BaseAddress::~BaseAddress() = default;
BaseAddress::BaseAddress(BaseAddress &&) noexcept = default;
BaseAddress &BaseAddress::operator=(BaseAddress &&) noexcept = default;

std::optional<std::string> BaseAddress::resolve(std::string_view input) const
{
    std::string out;
    if (quickAbsolute(input, out))
        return out;
    // Without a base only an address with a scheme is one, and a scheme
    // starts with a letter.
    if (!parsed_ && !input.empty() && static_cast<unsigned char>(input.front()) > 0x20 && !isAlpha(input.front()))
        return std::nullopt;
    if (parsed_ && !parsed_->origin.empty() && !input.empty()) {
        std::string_view rest;
        switch (input.front()) {
        case '#':
            if (!plainRest(input))
                break;
            out.reserve(parsed_->withoutFragment.size() + input.size());
            return out.append(parsed_->withoutFragment).append(input);
        case '?':
            if (!plainRest(input))
                break;
            out.reserve(parsed_->withoutQuery.size() + input.size());
            return out.append(parsed_->withoutQuery).append(input);
        case '/':
            if (input.size() > 1 && (input[1] == '/' || input[1] == '\\')) {
                // Scheme-relative: the base's scheme and this host.
                std::string absolute = parsed_->url.scheme + ":";
                absolute.append(input);
                if (quickAbsolute(absolute, out))
                    return out;
                break;
            }
            if (!plainPath(input.substr(1), rest) || !plainRest(rest))
                break;
            out.reserve(parsed_->origin.size() + input.size());
            return out.append(parsed_->origin).append(input);
        default: {
            // A path relative to the base's directory, unless a scheme
            // starts it.
            const std::size_t end = input.find_first_of(":/?#");
            if ((end != std::string_view::npos && input[end] == ':') || !plainPath(input, rest) || !plainRest(rest))
                break;
            out.reserve(parsed_->directory.size() + input.size());
            return out.append(parsed_->directory).append(input);
        }
        }
    }
    return resolveByParser(input);
}

std::optional<std::string> BaseAddress::resolveByParser(std::string_view input) const
{
    const std::optional<Url> url = parse(input, parsed_ ? &parsed_->url : nullptr);
    if (!url)
        return std::nullopt;
    return serialize(*url);
}

} // namespace quillan::text::readable
