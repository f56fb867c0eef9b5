#pragma once
// The forms the page's metadata is written in: white space collapsed, dates
// as ISO 8601, languages as BCP 47 tags, and the tests that tell a name from
// an address or a date. Plain C++.

#include <optional>
#include <string>
#include <string_view>

namespace quillan::text::metadata {

// `text` with every run of white space (ASCII, and U+00A0) made one space
// and the ends trimmed.
std::string collapseSpace(std::string_view text);

// A date or date-time as ISO 8601: "2015-07-10", or "2015-07-10T09:53:00"
// followed by its offset ("Z", "-04:00") when one was given. Read from ISO
// 8601 and its common relatives ("2015/07/10", "20150710",
// "2015-07-10 09:53:00 +0100", fractions of a second), from RFC 2822
// ("Fri, 10 Jul 2015 09:53:00 GMT") and from English dates ("July 10,
// 2015", "10th Jul 2015", with an optional weekday and time). Nothing for
// anything else, nor for a date that does not exist: numbers whose order is
// not known (07/10/2015) are never guessed at.
std::optional<std::string> isoDate(std::string_view text);

// A language tag as BCP 47 writes it ("en_US" -> "en-US", "EN-gb" ->
// "en-GB", "zh-hant-tw" -> "zh-Hant-TW"); the first of a list ("en, fr").
// Nothing when it is not shaped as a tag.
std::optional<std::string> languageTag(std::string_view text);

// Whether `text` is an address rather than a name: "https://...",
// "www.example.com", "//example.com/x", "example.com/people/x", a handle
// ("@someone").
bool looksLikeAddress(std::string_view text);

// Whether two names are the same but for case and white space.
bool sameName(std::string_view a, std::string_view b);

} // namespace quillan::text::metadata
