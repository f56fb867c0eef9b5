#pragma once
// A page written as one JSON object (RFC 8259): its metadata, its text and
// where it came from. Plain C++.
//
// {"title": ..., "author": ..., "date": ..., "modified": ..., "site": ...,
//  "language": ..., "description": ..., "url": ..., "image": ...,
//  "text": ..., "source": ...}
// A field the page does not give is null. Strings are escaped as
// base::AppendJsonString() does: the object is valid UTF-8 whatever bytes the
// text holds.

#include "text/metadata/metadata.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quillan::text::metadata {

enum class JsonLayout : std::uint8_t {
    Indented, // one field to a line, for a file of its own
    OneLine,  // the whole object on one line, for JSON Lines
};

// The object, ended by a line end.
std::string jsonObject(const Metadata &metadata, std::string_view text, std::string_view source, JsonLayout layout);

} // namespace quillan::text::metadata
