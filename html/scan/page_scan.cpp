#include "html/scan/page_scan.h"

#include <algorithm>
#include <utility>

namespace quillan::html {
namespace {

// Decoded a piece at a time, so that the text in memory stays small.
constexpr std::size_t kPiece = 64 * 1024;

} // namespace

PageScan::PageScan(std::string_view httpCharset, TokenSink &sink, std::size_t limit, std::function<bool()> done)
    : decoder_(httpCharset), tokenizer_(sink), done_(std::move(done)), limit_(limit)
{}

void PageScan::feed(std::string_view bytes)
{
    while (!bytes.empty() && !done()) {
        const std::string_view piece = bytes.substr(0, std::min(kPiece, limit_ - read_));
        utf8_.clear();
        decoder_.decode(piece, utf8_);
        tokenizer_.feed(utf8_);
        read_ += piece.size();
        bytes.remove_prefix(piece.size());
    }
}

void PageScan::finish()
{
    if (finished_)
        return;
    finished_ = true;
    if (done_())
        return;
    utf8_.clear();
    decoder_.finish(utf8_);
    tokenizer_.feed(utf8_);
    tokenizer_.finish();
}

} // namespace quillan::html
