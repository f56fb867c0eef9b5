#pragma once
// The article mode's reading of a page: its decoded text in, the text of its
// main content out (text/article/article_extractor.h chooses and renders it).
//
// Contract:
// - The text (UTF-8, in pieces of any size: the output does not depend on
//   where they end) is parsed as the HTML Standard's tree construction does
//   (html::Parser, scripting off). When the page has ended, the Document is
//   walked in tree order (text/article/document_walk.h) into the extractor, which
//   then sees the Standard's structure: foster-parented text before its
//   table, the adoption agency's clones, implied ends and tbody, misnested
//   formatting mended. The walk's tokens need no tokenizer switching.
// - Memory: the Document may use at most kTreeBytesPerByte bytes per byte of
//   the page, plus kTreeBaseBytes (Document::bytesInUse(), and the tree
//   builder's stack of open elements with it: a deeply nested page makes
//   it as large as the tree, Parser::bytesInUse()). While the page
//   comes, the bytes counted are the larger of its size hint and the text
//   read so far rounded up to a multiple of 64 KiB: fixed places, so that
//   for a page of a known size the outcome does not depend on the pieces.
//   For one of unknown size it could, only where the tree outgrows the text
//   read so far and would have stayed under the whole page's limit: markup
//   far denser at the start than pages have. The text
//   is kept while the tree is built, in blocks. A page that takes the
//   Document past its limit (markup far denser than pages have, hostile
//   pages) drops it and is read instead from the kept text, each block freed
//   once read, by the tokenizer into the extractor's light tree
//   (text/article/page_tree.h, which switches the tokenizer itself); so is a page
//   too large for the Document's 32-bit ids. Below the limit the tree is
//   exactly the Standard's. The kept text is freed before the walk.
// - The extractor's light tree is made of the Document in one walk, and the
//   chosen content walked from it (ArticleExtractor::readDocument()), the
//   Document kept until the text is out. Where the light tree's rules would
//   make another structure of it (a p a table closes in quirks mode, nesting
//   past its depth), or where the Document kept so long would take the
//   choice past the extractor's memory bound, the walk's tokens go to the
//   extractor as a stream instead, and the Document is freed before the
//   content is chosen. The text is the same either way.
// - finish() is called once; feed() after it does nothing.
// - watch(): another reader of the tokens the Document is built from
//   (html::Parser::watch()), while it is built.

#include "text/article/article_extractor.h"
#include "text/article/tokenizer_control.h"
#include "text/readable/text_renderer.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillan::html {
class Parser;
}

namespace quillan::text::article {

class ArticleInput {
public:
    static constexpr std::size_t kTreeBytesPerByte = 2;
    static constexpr std::size_t kTreeBaseBytes = std::size_t{8} << 20;

    // As ArticleExtractor: `out` receives the text and must outlive this.
    // `sizeHint`: the page's size when known (0: not known), for the
    // Document's storage.
    ArticleInput(TextSink &out, const RenderOptions &options, std::size_t sizeHint = 0,
                 const ArticleOptions &article = {});
    ~ArticleInput();
    ArticleInput(const ArticleInput &) = delete;
    ArticleInput &operator=(const ArticleInput &) = delete;

    void feed(std::string_view utf8);
    // The same, the text kept as it is rather than copied.
    void feed(std::string &&utf8);
    // The tokens the Document is built from go to `watcher` too, from the
    // next feed() on, while buildingTree(), up to the start tag after which
    // `enough` first answers true (html::Parser::watch()); nullptr: no more.
    // `watcher` must outlive its use.
    void watch(html::TokenSink *watcher, std::function<bool()> enough = {});
    // Whether the Document is being built: false once it is dropped (past
    // its limit) and after finish().
    bool buildingTree() const { return parser_ != nullptr; }
    // Before finish(): the title the page gives itself, for the article's
    // first line (ArticleExtractor::setOwnTitle()).
    void setOwnTitle(OwnTitle title) { ownTitle_ = std::move(title); }
    // The page has ended: the content's text goes to `out`.
    void finish();

    // After finish(): whether the content was chosen from the Standard's
    // tree, rather than from the light tree past the Document's limit.
    bool fromTree() const { return fromTree_; }
    // The most bytes the Document used, the tree builder's stack included
    // (Parser::bytesInUse()), and its limit then.
    std::size_t documentPeakBytes() const { return documentPeak_; }
    std::size_t documentLimitBytes() const { return documentLimit_; }
    // After finish(): what the extractor chose.
    const ArticleChoice &choice() const;

private:
    static std::size_t limitFor(std::size_t textBytes) { return kTreeBytesPerByte * textBytes + kTreeBaseBytes; }
    void keep(std::string_view utf8);
    void parse(std::string_view utf8);
    // The Document is past its limit: the light tree from here on.
    void dropTree();

    TextSink &out_;
    RenderOptions options_;
    ArticleOptions article_;
    OwnTitle ownTitle_;
    std::unique_ptr<html::Parser> parser_;
    std::vector<std::string> kept_; // the text while the tree is built
    std::size_t sizeHint_ = 0;
    std::size_t read_ = 0; // bytes of text fed
    std::unique_ptr<ArticleExtractor> extractor_;
    TokenizerControl control_;
    std::unique_ptr<html::Tokenizer> tokenizer_; // past the limit
    ArticleChoice noChoice_;                     // before the page has ended
    std::size_t documentPeak_ = 0, documentLimit_ = 0;
    bool fromTree_ = false;
    bool finished_ = false;
};

} // namespace quillan::text::article
