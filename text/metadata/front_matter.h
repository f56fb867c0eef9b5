#pragma once
// A page's metadata written as YAML front matter, the block of "key: value"
// lines between two "---" lines that static site generators and note-taking
// programs read before a text. Plain C++.
//
// Fields in a fixed order (title, author, date, modified, site, language,
// description, url, image), an empty one left out; every value a YAML 1.2
// double-quoted string, with '"', '\' and every character YAML does not
// allow as it is (controls, DEL, the C1 controls, U+2028, U+2029, U+FEFF)
// escaped, so that no value is read as a number, a date, a list or a
// comment. Bytes that are not UTF-8 become U+FFFD.

#include "text/metadata/metadata.h"

#include <string>
#include <string_view>

namespace quillan::text::metadata {

// The front matter, each line ended by `lineEnd` ("\n", or "\r\n" for a text
// with CR LF line ends).
std::string frontMatter(const Metadata &metadata, std::string_view lineEnd = "\n");

// `text` as the contents of a YAML double-quoted string.
void appendYamlString(std::string &out, std::string_view text);

} // namespace quillan::text::metadata
