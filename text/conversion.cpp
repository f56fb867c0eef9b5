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
// conversion from the same bytes; and for the article, the title the page
// gives itself in its head, which decides the article's first line with its
// headings. That one is read from the head alone, asked for or not, so that
// the article's first line is the same whether the metadata is asked for or
// not, at the cost of reading the head.
class PageTaps {
public:
    static constexpr std::size_t kHeadPiece = 2048;

    PageTaps(const Options &options)
    {
        if (options.title == TitleSearch::Find)
            title_.emplace(options.httpCharset);
        if (options.metadata == MetadataSearch::Find)
            metadata_.emplace(options.httpCharset, options.address);
        if (options.kind == Kind::Article)
            head_.emplace(options.httpCharset, options.address, metadata::Reach::Head);
    }
    void feed(std::string_view bytes)
    {
        if (title_ && !title_->done())
            title_->feed(bytes);
        if (metadata_ && !metadata_->done())
            metadata_->feed(bytes);
        // The head is read a piece at a time, so that it stops soon after
        // the body starts rather than at the end of the piece it came in.
        for (std::size_t at = 0; head_ && at < bytes.size() && !head_->done(); at += kHeadPiece)
            head_->feed(bytes.substr(at, kHeadPiece));
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
        if (head_) {
            const metadata::Metadata found = head_->finish();
            if (const metadata::Source from = head_->titleSource(); from != metadata::Source::TitleElement)
                ownTitle_ = {found.title, std::string(metadata::titleSourceName(from))};
        }
    }
    // After finish(): the title the page gives itself in its head besides its
    // <title>; empty for other kinds than the article, or when it gives none.
    const article::OwnTitle &ownTitle() const { return ownTitle_; }

private:
    std::optional<TitleScan> title_;
    std::optional<metadata::MetadataScan> metadata_;
    std::optional<metadata::MetadataScan> head_;
    article::OwnTitle ownTitle_;
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
          taps_(options), metadata_(options.metadata)
    {}

    void feed(std::string_view bytes) override
    {
        taps_.feed(bytes);
        // The text is kept until the page has ended: it is handed over, not
        // copied.
        std::string text;
        text.reserve(bytes.size());
        decoder_.decode(bytes, text);
        article_.feed(std::move(text));
    }

    Result finish() override
    {
        std::string text;
        decoder_.finish(text);
        article_.feed(std::move(text));
        Result result;
        result.pageEncoding = decoder_.choice().name;
        result.textEncoding = Utf8;
        // The metadata first: the title the page gives itself in it goes
        // over to the article, which decides its first line with it.
        taps_.finish(result);
        article_.setOwnTitle(taps_.ownTitle());
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
