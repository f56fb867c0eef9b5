#pragma once
// The article's text without white space at the ends of its lines: what a
// page puts there (no-break spaces after a sentence, an indent of no-break
// or ideographic spaces before it, an empty last cell's tab) is nothing a
// reader of the text can see, and gets in the way of tools that compare or
// join lines.
//
// A line loses every space, tab and other Unicode space (no-break,
// en/em and the other fixed widths, narrow no-break, medium mathematical,
// ideographic, Ogham) at its end, and those other than space and tab at
// its start (spaces and tabs there are a code block's indent or a row's
// empty first cell). Text passes through as it comes but for the white
// space after a line's last character, held until the line goes on.

#include "text/readable/text_renderer.h"

#include <string>
#include <string_view>

namespace quillan::text::article {

class TrimmedLines final : public readable::TextSink {
public:
    explicit TrimmedLines(readable::TextSink &out) : out_(out) {}

    void write(std::string_view utf8) override;

private:
    readable::TextSink &out_;
    std::string held_;    // white space after the line's last character so far
    std::string cut_;     // a character the last piece cut short
    std::string written_; // this piece's text, as it is passed on
    bool lineStart_ = true;
};

} // namespace quillan::text::article
