#pragma once
// Addresses parsed and written out the way the URL Standard does it (its
// basic parser and serializer), for link addresses. Plain C++.
//
// The input is UTF-8 text. Leading and trailing C0 controls and spaces are
// dropped, tabs and line breaks anywhere; the scheme and an http(s), ws(s),
// ftp or file host are lowercased; a default port is dropped; "." and ".."
// path segments are resolved; every character a part may not hold as it is
// (spaces, controls, non-ASCII, and each part's own set) is percent-encoded
// as UTF-8; IPv4 hosts in any of their forms (0x7f.1) and IPv6 hosts are
// written in their one form.
//
// Limits: a host with non-ASCII letters is lowercased in ASCII only and
// encoded as Punycode ("xn--"), without the Unicode mapping and checks of
// IDNA; a query is always encoded as UTF-8, whatever the page's encoding.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quillan::text::readable {

// The address `input` stands for, resolved against `base` when it is
// relative, written out; nothing when it is not a valid address (a relative
// one without a base that is, a host with a space, a port past 65535 ...).
// `base` is an absolute address; empty, or one that is not valid, stands
// for none.
std::optional<std::string> parseUrl(std::string_view input, std::string_view base = {});

// A base address parsed once, for the many addresses of a page resolved
// against it: resolve(input) is parseUrl(input, base).
class BaseAddress {
public:
    explicit BaseAddress(std::string_view base = {});
    ~BaseAddress();
    BaseAddress(BaseAddress &&) noexcept;
    BaseAddress &operator=(BaseAddress &&) noexcept;

    std::optional<std::string> resolve(std::string_view input) const;
    // The same by the parser alone, without the quick road resolve() takes
    // for addresses that are written as they are (to check one by the
    // other).
    std::optional<std::string> resolveByParser(std::string_view input) const;

private:
    struct Parsed;
    std::unique_ptr<Parsed> parsed_; // null: no base, or not a valid one
};

} // namespace quillan::text::readable
