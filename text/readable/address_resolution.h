#pragma once
// Link addresses for the list of references: each made absolute against
// the page's base address and written out as the URL Standard writes it
// (url_parser.h): spaces, controls and non-ASCII percent-encoded, the
// scheme and host lowercased, a default port dropped, "." and ".."
// segments resolved. Plain C++.
//
// A reference that is not a valid address (a relative one with no absolute
// base, as a file's page has unless its <base href> is absolute; a host
// with a space or a port past 65535) is kept as written, only without its
// control characters and surrounding spaces: it is still what the page links to, but no browser
// could follow it as an address.

#include "text/readable/url_parser.h"

#include <string>
#include <string_view>

namespace quillan::text::readable {

std::string resolveAddress(const BaseAddress &base, std::string_view reference);

} // namespace quillan::text::readable
