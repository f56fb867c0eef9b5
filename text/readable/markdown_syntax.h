#pragma once
// The pieces of Markdown (CommonMark with GitHub's strikethrough) the
// renderer writes when it lays a page out as Markdown: what inline
// elements mark their text with, text escaped so that it reads as text,
// code spans and fences that hold any text, link destinations. Plain C++,
// no state.
//
// Contract:
// - AppendEscaped() escapes exactly the characters of a word that would
//   otherwise open or close something: \ ` * [ ] < always, _ and ~ at the
//   edge of a run of letters and digits, & before what would read as a
//   character reference (or at the word's end, where the next piece may
//   make one); at the start of a block also # - + = > and the
//   . or ) after a number that would make the line a heading, list item,
//   quote or setext underline, and a zero-width no-break space (U+FEFF) as
//   a character reference, lest it be taken for the text's byte order
//   mark; U+001E and U+001F, the marks of a table's text (kRowMark,
//   kCellMark), as references too. Outside a link's text, the : of
//   http://, https:// or ftp:// and the . of www. where GitHub's Markdown
//   would make the address that follows a link of its own (before a
//   letter, digit or character past ASCII, the scheme not after a letter,
//   the www. at the word's start or after * _ ~ or (). Everything else is
//   written as it is.
// - A code span or block's fence is one backtick longer than the longest
//   run of backticks in its text (LongestBacktickRun()), so that the text
//   cannot end it early.
// - AppendLinkDestination() writes an address so that Markdown reads it back
//   whole: in angle brackets when it holds spaces, brackets or
//   parentheses, with < > and line ends percent-encoded.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillan::text::readable {

// What a character is to the rules for where marks open and close:
// Unicode white space, punctuation, or part of a word.
enum class CharClass : std::uint8_t { Space, Punctuation, Word };
// The class of the (UTF-8) character that ends at `end` in `text` (Space
// at its start), and of the one that starts at `at` (Space past its end).
CharClass ClassBefore(std::string_view text, std::size_t end);
CharClass ClassAt(std::string_view text, std::size_t at);
// The bytes of the character that ends at `end`.
std::size_t CharBytesBefore(std::string_view text, std::size_t end);

// What an inline element makes of its text.
enum class InlineMark : std::uint8_t { None, Emphasis, Strong, Strikethrough, Code, Link };

// The mark of an element by its (lower-case) name; None for elements
// without one (a's mark depends on its href: the renderer decides).
InlineMark InlineMarkOf(std::string_view name);
// The delimiter that opens and closes the mark (Code's: one backtick; a
// Link's opening "[").
std::string_view OpeningOf(InlineMark mark);
std::string_view ClosingOf(InlineMark mark);

// Appends `word` (no white space in it) to `out`, escaped; `blockStart`:
// it is the first word of a line that starts a block; `linkText`: it stands
// in a link's text (or an image's), where no address becomes a link.
void AppendEscaped(std::string &out, std::string_view word, bool blockStart, bool linkText = false);

// True when AppendEscaped() appends `word` as it is, found in one pass
// (false: it may not, as for a word with an _ or a www. in it).
bool NeedsNoEscape(std::string_view word, bool blockStart, bool linkText = false);

// The bytes of the character reference AppendEscaped() wrote ("&#x1E;")
// that ends at `end` in `text`, its ; included; 0 where none does (an
// escaped \& starts none).
std::size_t WrittenReferenceBefore(std::string_view text, std::size_t end);

// Whether a line starting with `word` (not escaped as a block's start)
// would start a block: a heading, quote, list item or setext underline.
bool OpensBlock(std::string_view word);

// Where the first word of a line that starts a block comes in pieces: the
// index in `word` of the character to escape, `start` (the word's pieces
// before it, as written) being there already ("1" then "." would make an
// ordered list item), or npos.
std::size_t BlockStartEscapeAfter(std::string_view start, std::string_view word);

// The longest run of backticks in `text`.
std::size_t LongestBacktickRun(std::string_view text);

// A code block's language from a class attribute ("language-cpp",
// "lang-js"); empty when it names none.
std::string_view CodeLanguage(std::string_view classAttribute);

// Appends `address` to `out` as a link destination.
void AppendLinkDestination(std::string &out, std::string_view address);

// A table's marks in the text written for it: a row starts with kRowMark, a
// cell with kCellMark and then its column span as a byte ('0' + span).
inline constexpr char kRowMark = '\x1E';
inline constexpr char kCellMark = '\x1F';
inline constexpr int kMaxSpan = 64;

// The table whose text (with its marks) is `marked`, as a pipe table: the
// first row its header, a short row filled with empty cells, a spanned
// cell followed by empty ones, | escaped, a vertical tab or form feed that
// starts a cell as a character reference. As its cells' texts one after
// another, each a paragraph, when `blocks` (a cell spans rows, or the
// table holds another), when a cell holds a list, quote, heading or code
// block, or when text outside the cells stands after one: then every text,
// in order; else a cell's paragraphs and lines are one line of it. Text
// outside the cells before the first (a caption) comes first, as a
// paragraph.
std::string TableMarkdown(std::string_view marked, bool blocks);

} // namespace quillan::text::readable
