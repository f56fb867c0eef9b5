#include "text/conversion.h"

#include "html/encoding/decoder.h"
#include "html/tokenizer/tokenizer.h"
#include "text/article/article_input.h"
#include "text/article/tokenizer_control.h"
#include "text/envelope.h"
#include "text/metadata/metadata_scan.h"
#include "text/page_title.h"
#include "text/strip/tag_stripper.h"

#include <stdexcept>

namespace quillan::text {
namespace {

constexpr std::string_view Utf8 = "UTF-8";

// The page's title and metadata, when they are asked for, read beside the
// conversion from the same bytes.
class PageTaps {
public:
    PageTaps(const Options &options)
    {
        if (options.title == TitleSearch::Find)
            title_.emplace(options.httpCharset);
        if (options.metadata == MetadataSearch::Find)
            metadata_.emplace(options.httpCharset, options.address);
    }
    void feed(std::string_view bytes)
    {
        if (title_ && !title_->done())
            title_->feed(bytes);
        if (metadata_ && !metadata_->done())
            metadata_->feed(bytes);
    }
    // Fills in what was asked for, and the page's encoding as their reading
    // decided it.
    void finish(Result &result)
    {
        if (title_) {
            result.title = title_->finish();
            if (result.pageEncoding.empty())
                result.pageEncoding = title_->encodingName();
        }
        if (metadata_) {
            result.metadata = metadata_->finish();
            if (result.pageEncoding.empty())
                result.pageEncoding = metadata_->encodingName();
        }
    }

private:
    std::optional<TitleScan> title_;
    std::optional<metadata::MetadataScan> metadata_;
};

// The article's: the title the page gives itself in its head, which decides
// the article's first line with its headings. It is read from the head
// alone, whether the metadata is asked for or not, so that the article's
// first line is the same either way.
//
// The head is read from the tokens the article's tree is built from, so that
// it is neither decoded nor tokenized twice; the page's bytes are kept
// meanwhile. When the head is still open past kWatchBytes of them, or when
// the tree is dropped, the head is read anew from the kept bytes and those
// after them by a scan of its own, as it is read without the tree: only
// well within the scan's reach (metadata::kMetadataScanBytes) do the tokens
// surely stand for the ones its reading gives. So does a page that ends
// before its head does, for the tree's tokens end after the title is
// needed.
class HeadTitle {
public:
    // Pieces of the page decoded at a time while the head is read from the
    // tree's tokens, so that where it ends is known within a piece.
    static constexpr std::size_t kPiece = std::size_t{64} << 10;
    static constexpr std::size_t kWatchBytes = std::size_t{1} << 20;
    // The scan of its own is fed a piece at a time, so that it stops soon
    // after the body starts rather than at the end of the piece it came in.
    static constexpr std::size_t kScanPiece = 2048;

    HeadTitle(const Options &options, article::ArticleInput &article)
        : article_(article), tokens_({}, options.address, metadata::Reach::Head, metadata::Input::Tokens),
          httpCharset_(options.httpCharset), address_(options.address)
    {
        article_.watch(&tokens_.tokens(), [this] { return tokens_.done(); });
    }

    // Whether the head is read from the tree's tokens: the page's bytes are
    // then to come in pieces of at most kPiece, each handed to read() once
    // the article has it.
    bool watching() const { return state_ == State::Watching; }

    // After the article has `bytes`, the page's next piece.
    void read(std::string_view bytes)
    {
        if (state_ == State::Scanning) {
            scan(bytes);
            return;
        }
        if (state_ != State::Watching)
            return;
        if (tokens_.done()) {
            state_ = State::Read;
            article_.watch(nullptr);
            std::string().swap(kept_);
            return;
        }
        kept_.append(bytes);
        if (kept_.size() > kWatchBytes || !article_.buildingTree())
            scanKept();
    }

    // After the last read(), before the article's finish().
    article::OwnTitle finish()
    {
        if (state_ == State::Watching)
            scanKept();
        metadata::MetadataScan &from = state_ == State::Scanning ? *scan_ : tokens_;
        const metadata::Metadata found = from.finish();
        if (const metadata::Source source = from.titleSource(); source != metadata::Source::TitleElement)
            return {found.title, std::string(metadata::titleSourceName(source))};
        return {};
    }

private:
    enum class State : std::uint8_t { Watching, Read, Scanning };

    void scanKept()
    {
        article_.watch(nullptr);
        state_ = State::Scanning;
        scan_.emplace(httpCharset_, address_, metadata::Reach::Head);
        scan(kept_);
        std::string().swap(kept_);
    }
    void scan(std::string_view bytes)
    {
        for (std::size_t at = 0; at < bytes.size() && !scan_->done(); at += kScanPiece)
            scan_->feed(bytes.substr(at, kScanPiece));
    }

    article::ArticleInput &article_;
    metadata::MetadataScan tokens_;
    std::optional<metadata::MetadataScan> scan_;
    std::string kept_; // the page's bytes while the head is read from the tree's tokens
    std::string httpCharset_, address_;
    State state_ = State::Watching;
};

class StrippedConverter final : public Converter {
public:
    StrippedConverter(const Options &options, Sink &out)
        : stripper_([&out](std::string_view text) { out.write(text); }), taps_(options)
    {}

    void feed(std::string_view bytes) override
    {
        taps_.feed(bytes);
        stripper_.feed(bytes);
    }

    Result finish() override
    {
        stripper_.finish();
        Result result;
        taps_.finish(result);
        // The text keeps the page's bytes.
        result.textEncoding = result.pageEncoding;
        return result;
    }

private:
    strip::TagStripper stripper_;
    PageTaps taps_;
};

readable::RenderOptions renderOptions(const Options &options)
{
    readable::RenderOptions o;
    o.syntax = options.syntax == Syntax::Markdown ? readable::Syntax::Markdown : readable::Syntax::Plain;
    o.images = options.images;
    o.links = options.links;
    o.address = options.address;
    o.width = options.width;
    return o;
}

// The readable text: the decoded page tokenized straight into the renderer.
class ReadableConverter final : public Converter {
public:
    ReadableConverter(const Options &options, Sink &out)
        : decoder_(options.httpCharset), renderer_(out, renderOptions(options), &control_), tokenizer_(renderer_),
          taps_(options)
    {
        control_.attach(tokenizer_);
    }

    void feed(std::string_view bytes) override
    {
        taps_.feed(bytes);
        text_.clear();
        decoder_.decode(bytes, text_);
        tokenizer_.feed(text_);
    }

    Result finish() override
    {
        text_.clear();
        decoder_.finish(text_);
        tokenizer_.feed(text_);
        tokenizer_.finish();
        Result result;
        result.pageEncoding = decoder_.choice().name;
        result.textEncoding = Utf8;
        taps_.finish(result);
        return result;
    }

private:
    html::Decoder decoder_;
    article::TokenizerControl control_;
    readable::TextRenderer renderer_;
    html::Tokenizer tokenizer_;
    PageTaps taps_;
    std::string text_; // the UTF-8 of the piece being read
};

// The article: the decoded page kept as the tree is built, its main content
// chosen once the page has ended.
class ArticleConverter final : public Converter {
public:
    ArticleConverter(const Options &options, Sink &out, std::size_t sizeHint)
        : decoder_(options.httpCharset),
          article_(out, renderOptions(options), sizeHint, {options.bias, options.comments, options.account}),
          head_(options, article_), taps_(options), metadata_(options.metadata)
    {}

    void feed(std::string_view bytes) override
    {
        taps_.feed(bytes);
        while (!bytes.empty()) {
            const std::string_view piece = head_.watching() ? bytes.substr(0, HeadTitle::kPiece) : bytes;
            bytes.remove_prefix(piece.size());
            // The text is kept until the page has ended: it is handed over,
            // not copied.
            std::string text;
            text.reserve(piece.size());
            decoder_.decode(piece, text);
            article_.feed(std::move(text));
            head_.read(piece);
        }
    }

    Result finish() override
    {
        std::string text;
        decoder_.finish(text);
        article_.feed(std::move(text));
        head_.read({});
        Result result;
        result.pageEncoding = decoder_.choice().name;
        result.textEncoding = Utf8;
        // The title the page gives itself goes over to the article, which
        // decides its first line with it.
        article_.setOwnTitle(head_.finish());
        taps_.finish(result);
        article_.finish();
        result.article = article_.choice();
        // The metadata's title is the one the article shows as its first
        // line, so that the two never disagree; the page's own when the
        // article shows none.
        if (metadata_ == MetadataSearch::Find && !result.article->title.empty())
            result.metadata.title = result.article->title;
        return result;
    }

private:
    html::Decoder decoder_;
    article::ArticleInput article_;
    HeadTitle head_;
    PageTaps taps_;
    MetadataSearch metadata_;
};

} // namespace

std::string_view kindName(Kind kind)
{
    switch (kind) {
    case Kind::Stripped: return "stripped text";
    case Kind::Readable: return "readable text";
    case Kind::Article: return "article text";
    }
    return {};
}

std::unique_ptr<Converter> makeConverter(const Options &options, Sink &out, std::size_t sizeHint)
{
    if (options.envelope != Envelope::Text)
        return makeEnvelope(options, out, sizeHint);
    switch (options.kind) {
    case Kind::Stripped:
        if (options.syntax != Syntax::Plain)
            throw std::invalid_argument("the stripped text has no syntax but plain text");
        return std::make_unique<StrippedConverter>(options, out);
    case Kind::Readable: return std::make_unique<ReadableConverter>(options, out);
    case Kind::Article: return std::make_unique<ArticleConverter>(options, out, sizeHint);
    }
    return nullptr;
}

} // namespace quillan::text
