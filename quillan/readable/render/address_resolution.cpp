#include "render/address_resolution.h"

#include <algorithm>

namespace quillan::readable {

namespace {

bool isAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The five parts of an address; a part that is absent is not the same as
// an empty one (for the query and the fragment).
struct Parts {
    std::string_view scheme; // without ':'
    bool hasAuthority = false;
    std::string_view authority;
    std::string_view path;
    bool hasQuery = false;
    std::string_view query; // without '?'
    bool hasFragment = false;
    std::string_view fragment; // without '#'
};

Parts split(std::string_view s)
{
    Parts p;
    if (hasScheme(s)) {
        const std::size_t colon = s.find(':');
        p.scheme = s.substr(0, colon);
        s.remove_prefix(colon + 1);
    }
    if (const std::size_t hash = s.find('#'); hash != std::string_view::npos) {
        p.hasFragment = true;
        p.fragment = s.substr(hash + 1);
        s = s.substr(0, hash);
    }
    if (const std::size_t question = s.find('?'); question != std::string_view::npos) {
        p.hasQuery = true;
        p.query = s.substr(question + 1);
        s = s.substr(0, question);
    }
    if (s.substr(0, 2) == "//") {
        s.remove_prefix(2);
        const std::size_t slash = std::min(s.find('/'), s.size());
        p.hasAuthority = true;
        p.authority = s.substr(0, slash);
        s.remove_prefix(slash);
    }
    p.path = s;
    return p;
}

// RFC 3986, 5.2.4.
std::string removeDotSegments(std::string_view in)
{
    std::string out;
    while (!in.empty()) {
        if (in.substr(0, 3) == "../")
            in.remove_prefix(3);
        else if (in.substr(0, 2) == "./")
            in.remove_prefix(2);
        else if (in.substr(0, 3) == "/./")
            in.remove_prefix(2);
        else if (in == "/.")
            in = "/";
        else if (in.substr(0, 4) == "/../" || in == "/..") {
            in = in.size() == 3 ? std::string_view("/") : in.substr(3);
            const std::size_t last = out.rfind('/');
            out.erase(last == std::string::npos ? 0 : last);
        } else if (in == "." || in == "..")
            in = {};
        else {
            const std::size_t next = in.find('/', 1);
            const std::size_t n = next == std::string_view::npos ? in.size() : next;
            out.append(in.substr(0, n));
            in.remove_prefix(n);
        }
    }
    return out;
}

std::string withoutTabsAndBreaks(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (const char c : s)
        if (c != '\t' && c != '\n' && c != '\r')
            out.push_back(c);
    return out;
}

} // namespace

bool hasScheme(std::string_view address)
{
    if (address.empty() || !isAlpha(address[0]))
        return false;
    for (std::size_t i = 1; i < address.size(); ++i) {
        const char c = address[i];
        if (c == ':')
            return true;
        if (!isAlpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.')
            return false;
    }
    return false;
}

std::string resolveAddress(std::string_view baseText, std::string_view referenceText)
{
    const std::string reference = withoutTabsAndBreaks(referenceText);
    const std::string baseAddress = withoutTabsAndBreaks(baseText);
    if (hasScheme(reference) || !hasScheme(baseAddress))
        return reference;
    const Parts base = split(baseAddress);
    if (!base.hasAuthority && (base.path.empty() || base.path.front() != '/'))
        return reference;
    const Parts ref = split(reference);

    std::string out(base.scheme);
    out += ':';
    std::string path;
    std::string_view authority = base.authority;
    bool hasAuthority = base.hasAuthority;
    std::string_view query = base.query;
    bool hasQuery = base.hasQuery;
    if (ref.hasAuthority) {
        authority = ref.authority;
        hasAuthority = true;
        path = removeDotSegments(ref.path);
        query = ref.query;
        hasQuery = ref.hasQuery;
    } else if (ref.path.empty()) {
        path = std::string(base.path);
        if (ref.hasQuery) {
            query = ref.query;
            hasQuery = true;
        }
    } else {
        if (ref.path.front() == '/')
            path = removeDotSegments(ref.path);
        else if (base.hasAuthority && base.path.empty())
            path = removeDotSegments("/" + std::string(ref.path));
        else {
            const std::size_t slash = base.path.rfind('/');
            const std::string merged =
                std::string(base.path.substr(0, slash == std::string_view::npos ? 0 : slash + 1)) +
                std::string(ref.path);
            path = removeDotSegments(merged);
        }
        query = ref.query;
        hasQuery = ref.hasQuery;
    }
    if (hasAuthority) {
        out += "//";
        out += authority;
    }
    out += path;
    if (hasQuery) {
        out += '?';
        out += query;
    }
    if (ref.hasFragment) {
        out += '#';
        out += ref.fragment;
    }
    return out;
}

} // namespace quillan::readable
