#pragma once
// Link addresses made absolute, for the list of references: a relative
// reference resolved against a base address the way RFC 3986 (section 5.2)
// resolves it, with the HTML rule that tabs and line breaks inside an
// address are dropped. Plain C++.
//
// - A reference with a scheme of its own ("https:", "mailto:") is kept.
// - The base must be absolute (a scheme, then ':'); otherwise, and for an
//   empty base, the reference comes back as written (tabs and line breaks
//   dropped).
// - "//host/x" takes the base's scheme; "/x" its scheme and host; "?q" its
//   path; "#f" all of it but its fragment; anything else is merged with the
//   base's folder. Dot segments ("." and "..") are removed from the path,
//   never climbing above the root.
// - A base without a host whose path does not start with '/' (such as
//   "mailto:someone" or "data:...") cannot hold a relative reference: the
//   reference is kept as written.

#include <string>
#include <string_view>

namespace quillan::readable {

// True when `address` starts with a scheme: a letter, then letters, digits,
// '+', '-' or '.', then ':'.
bool hasScheme(std::string_view address);

std::string resolveAddress(std::string_view base, std::string_view reference);

} // namespace quillan::readable
