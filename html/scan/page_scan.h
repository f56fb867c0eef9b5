#pragma once
// A page's first bytes read as the engine reads them, for the scans that
// want a few things from its start (its title, what it says about itself)
// rather than its text: decoded (byte-order mark, the HTTP charset, the
// page's <meta>, else the default) and tokenized into a sink.
//
// Contract:
// - feed() decodes and tokenizes what it is given, in pieces, until `limit`
//   bytes of the page are read or `done` says the sink has what it wants;
//   whatever comes after is not read.
// - finish() ends the text once, unless the sink was done.
// - tokenizer() is the tokenizer, for a sink that switches its state.

#include "html/encoding/decoder.h"
#include "html/tokenizer/tokenizer.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace quillan::html {

class PageScan {
public:
    // `sink` must outlive the scan; `httpCharset` as for Decoder.
    PageScan(std::string_view httpCharset, TokenSink &sink, std::size_t limit, std::function<bool()> done);

    void feed(std::string_view bytes);
    // Whether more bytes would change nothing.
    bool done() const { return done_() || read_ >= limit_; }
    void finish();

    Tokenizer &tokenizer() { return tokenizer_; }
    // The WHATWG name of the encoding the page is decoded with; empty while
    // it is not decided.
    std::string_view encodingName() const { return decoder_.choice().name; }

private:
    Decoder decoder_;
    Tokenizer tokenizer_;
    std::function<bool()> done_;
    std::string utf8_; // the piece being read, decoded
    std::size_t read_ = 0, limit_;
    bool finished_ = false;
};

} // namespace quillan::html
