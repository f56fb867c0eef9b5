#pragma once
// Text in the case a text-transform asks for: upper or lower case, or each
// word's first letter in upper case (capitalize).
//
// Letters are mapped one to one, but for the German sharp s, which is "SS" in
// upper case. The mapping covers the Latin letters (ASCII, Latin-1, Latin
// Extended-A, full-width), Greek, Cyrillic and Armenian; other characters
// stay as they are.

#include "text/readable/style_sheet.h"

#include <string>
#include <string_view>

namespace quillan::text::readable {

// Appends `utf8` to `out` in the case `transform` asks (None and Inherit:
// as it is). `inWord` says whether the character before `utf8` is part of a
// word, so that capitalize goes on across pieces; it is updated.
void AppendInCase(std::string_view utf8, TextTransform transform, bool &inWord, std::string &out);

} // namespace quillan::text::readable
