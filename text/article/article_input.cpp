#include "text/article/article_input.h"

#include "html/tree/parser.h"
#include "text/article/document_walk.h"

#include <algorithm>
#include <stdexcept>

#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <utility>

namespace quillan::text::article {
namespace {

constexpr std::size_t kBlockBytes = std::size_t{1} << 16;
constexpr std::size_t kLimitStep = std::size_t{1} << 16;

// The kept text's blocks and the Document's node pages are small enough to
// come from the heap, where freed memory stays with the process; the walk's
// and the choice's storage is large and comes from fresh pages. Handing the
// freed pages back keeps them from adding up. Below kTrimBytes what stays is
// within the memory bound's fixed part, and handing it back would only cost
// the page faults of taking it again.
constexpr std::size_t kTrimBytes = std::size_t{4} << 20;

void giveBackFreedMemory(std::size_t freedBytes)
{
#if defined(__GLIBC__)
    if (freedBytes >= kTrimBytes)
        ::malloc_trim(0);
#else
    (void)freedBytes;
#endif
}

} // namespace

ArticleInput::ArticleInput(TextSink &out, const RenderOptions &options, std::size_t sizeHint,
                           const ArticleOptions &article)
    : out_(out), options_(options), article_(article), parser_(std::make_unique<html::Parser>()), sizeHint_(sizeHint)
{
    if (sizeHint > 0)
        parser_->reserve(sizeHint);
}

ArticleInput::~ArticleInput() = default;

void ArticleInput::watch(html::TokenSink *watcher, std::function<bool()> enough)
{
    if (parser_)
        parser_->watch(watcher, std::move(enough));
}

void ArticleInput::keep(std::string_view utf8)
{
    while (!utf8.empty()) {
        if (kept_.empty() || kept_.back().size() >= kBlockBytes) {
            kept_.emplace_back();
            kept_.back().reserve(kBlockBytes);
        }
        std::string &block = kept_.back();
        const std::size_t take = std::min(utf8.size(), kBlockBytes - block.size());
        block.append(utf8.substr(0, take));
        utf8.remove_prefix(take);
    }
}

void ArticleInput::feed(std::string_view utf8)
{
    if (finished_ || utf8.empty())
        return;
    if (parser_)
        keep(utf8);
    parse(utf8);
}

void ArticleInput::feed(std::string &&utf8)
{
    if (finished_ || utf8.empty())
        return;
    if (!parser_ || utf8.size() < kBlockBytes / 4) {
        feed(std::string_view(utf8));
        return;
    }
    kept_.push_back(std::move(utf8)); // kept as it is, not copied
    parse(kept_.back());
}

void ArticleInput::parse(std::string_view utf8)
{
    if (!parser_) {
        read_ += utf8.size();
        tokenizer_->feed(utf8);
        return;
    }
    // The limit steps at fixed places of the text, not where the pieces
    // end, so that whether the tree is kept does not depend on them.
    while (!utf8.empty()) {
        const std::size_t stepEnd = (read_ / kLimitStep + 1) * kLimitStep;
        const std::string_view slice = utf8.substr(0, stepEnd - read_);
        utf8.remove_prefix(slice.size());
        read_ += slice.size();
        documentLimit_ = limitFor(std::max(stepEnd, sizeHint_));
        parser_->limitBytes(documentLimit_);
        try {
            parser_->feed(slice);
        } catch (const std::length_error &) {
            read_ += utf8.size(); // the rest of the piece: kept, and read by dropTree()
            dropTree();
            return;
        }
        documentPeak_ = std::max(documentPeak_, parser_->bytesInUse());
    }
}

void ArticleInput::dropTree()
{
    documentPeak_ = std::max(documentPeak_, parser_->bytesInUse());
    parser_.reset();
    giveBackFreedMemory(documentPeak_ + read_);
    extractor_ = std::make_unique<ArticleExtractor>(out_, options_, &control_, article_);
    tokenizer_ = std::make_unique<html::Tokenizer>(*extractor_);
    control_.attach(*tokenizer_);
    for (std::string &block : kept_) {
        tokenizer_->feed(block);
        std::string().swap(block);
    }
    kept_.clear();
    kept_.shrink_to_fit();
    giveBackFreedMemory(read_); // the kept text's
}

void ArticleInput::finish()
{
    if (finished_)
        return;
    finished_ = true;
    if (parser_) {
        bool chosen = false;
        try {
            html::Document document = parser_->finish();
            documentPeak_ = std::max(documentPeak_, document.bytesInUse());
            parser_.reset();
            kept_.clear();
            kept_.shrink_to_fit();
            giveBackFreedMemory(read_);
            fromTree_ = true;
            extractor_ = std::make_unique<ArticleExtractor>(out_, options_, nullptr, article_);
            extractor_->setPageBytes(std::max(read_, sizeHint_));
            extractor_->setOwnTitle(ownTitle_);
            if (extractor_->readDocument(document)) {
                extractor_->endOfFile(); // chosen and rendered from the Document, while it lives
                chosen = true;
            } else {
                // The light tree's rules make another structure of it: its
                // tokens, kept as a stream, as the rules read them.
                extractor_ = std::make_unique<ArticleExtractor>(out_, options_, nullptr, article_);
                extractor_->setPageBytes(std::max(read_, sizeHint_));
                extractor_->setOwnTitle(ownTitle_);
                extractor_->reserveFor(read_);
                article::walkDocument(document, *extractor_);
            }
        } catch (const std::length_error &) {
            if (fromTree_)
                throw; // the light tree's own limit: no other way to read the page
            dropTree();
        }
        if (chosen) {
            giveBackFreedMemory(documentPeak_); // the Document's
            return;
        }
    }
    if (tokenizer_) {
        extractor_->setPageBytes(std::max(read_, sizeHint_));
        extractor_->setOwnTitle(ownTitle_);
        tokenizer_->finish();
    } else {
        giveBackFreedMemory(documentPeak_); // the Document's
        extractor_->endOfFile();
    }
}

const ArticleChoice &ArticleInput::choice() const
{
    return extractor_ ? extractor_->choice() : noChoice_;
}

} // namespace quillan::text::article
