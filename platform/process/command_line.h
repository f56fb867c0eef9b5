// A command line split into words the way a POSIX shell splits a simple
// command, without running a shell.
//
// Rules (those of sh for quoting, with every expansion left out):
// - Blanks (space, tab, newline) outside quotes separate words; runs of
//   them count once, and leading or trailing blanks make no empty word.
// - '...' keeps everything up to the next single quote exactly as written.
// - "..." keeps everything up to the next unescaped double quote; inside it a
//   backslash escapes only $ ` " \ and newline, and stays as written before
//   any other character.
// - Outside quotes a backslash keeps the next character as written; a
//   backslash followed by a newline joins the lines and yields nothing.
// - Quotes make words: "" and '' are empty words; a"b c"d is one word.
// - Nothing else is special: $, `, *, ~, ;, |, &, <, > and # are ordinary
//   characters, since no shell runs to give them a meaning.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The words of `line`, or nothing when a quote is left open or the line
// ends in a lone backslash. Bytes are kept as they are (any encoding).
std::optional<std::vector<std::string>> SplitCommandLine(std::string_view line);

} // namespace platform
