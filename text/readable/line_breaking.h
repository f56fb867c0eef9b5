#pragma once
// Where lines of East Asian text may break, and how wide characters are, for
// wrapping text to a width (after Unicode's line breaking algorithm, UAX #14,
// and East Asian Width, UAX #11, in the parts that matter for such text).
//
// Ideographs, kana, Hangul syllables and their fullwidth forms need no space
// between words: a line may break between any two of them, and between one
// of them and a neighbour of another script, except before closing
// punctuation, small kana, the prolonged sound mark and iteration marks, and
// after opening punctuation (the rule Japanese calls kinsoku). Between two
// characters of other scripts a line breaks only at spaces, as before.

namespace quillan::text::readable {

// The columns a character takes on a terminal: 2 for East Asian wide and
// fullwidth characters, 0 for combining marks, 1 for the others.
int ColumnsOf(char32_t c);

// Whether a line may break between `before` and `after`, two characters
// next to each other that are not spaces.
bool MayBreakBetween(char32_t before, char32_t after);

} // namespace quillan::text::readable
