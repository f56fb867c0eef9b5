#include "conversion/readable_converter.h"

#include "conversion/stream_io.h"

#include "common/fd_io.h"
#include "encoding/decoder.h"
#include "article/article_extractor.h"
#include "render/text_renderer.h"
#include "tokenizer.h"

#include <stdexcept>
#include <system_error>

namespace quillan {
namespace {

class FdTextSink final : public readable::TextSink {
public:
    explicit FdTextSink(int fd) : fd_(fd) {}
    void write(std::string_view utf8) override
    {
        if (const int error = platform::WriteAll(fd_, utf8.data(), utf8.size()))
            throw WriteFailure{error};
    }

private:
    int fd_;
};

// The renderer's word on the tokenizer's state, passed on.
class TokenizerControl final : public readable::TokenizerSwitch {
public:
    void attach(html::Tokenizer &tokenizer) { tokenizer_ = &tokenizer; }
    void switchTo(readable::TextState state) override
    {
        using S = html::Tokenizer::TextState;
        switch (state) {
        case readable::TextState::Data: tokenizer_->setState(S::Data); break;
        case readable::TextState::Rcdata: tokenizer_->setState(S::Rcdata); break;
        case readable::TextState::Rawtext: tokenizer_->setState(S::Rawtext); break;
        case readable::TextState::ScriptData: tokenizer_->setState(S::ScriptData); break;
        case readable::TextState::Plaintext: tokenizer_->setState(S::Plaintext); break;
        }
    }
    void setForeignContent(bool foreign) override { tokenizer_->setForeignContent(foreign); }

private:
    html::Tokenizer *tokenizer_ = nullptr;
};

void pumpReadable(int inFd, int outFd, const ReadableOptions &options)
{
    FdTextSink sink(outFd);
    ReadableText text(sink, options);
    readChunks(inFd, [&text](std::string_view chunk) { text.feed(chunk); });
    text.finish();
}

TextPump readablePump(const ReadableOptions &options, const std::string &inName)
{
    return [&options, &inName](int inFd, int outFd) {
        try {
            pumpReadable(inFd, outFd, options);
        } catch (const std::system_error &e) {
            // The list of links could not be kept aside.
            throw ConversionError(inName, e.what());
        } catch (const std::length_error &e) {
            // A page too large for the article's tree.
            throw ConversionError(inName, e.what());
        }
    };
}

} // namespace

struct ReadableText::Parts {
    Parts(readable::TextSink &out, const ReadableOptions &options)
        : renderer(options.article ? nullptr
                                   : std::make_unique<readable::TextRenderer>(out, renderOptions(options), &control)),
          extractor(options.article
                        ? std::make_unique<readable::ArticleExtractor>(out, renderOptions(options), &control)
                        : nullptr),
          tokenizer(sink()), decoder(options.httpCharset), onArticleChosen(options.onArticleChosen)
    {
        control.attach(tokenizer);
    }
    html::TokenSink &sink()
    {
        if (extractor)
            return *extractor;
        return *renderer;
    }
    static readable::RenderOptions renderOptions(const ReadableOptions &options)
    {
        readable::RenderOptions o;
        o.links = options.links;
        o.address = options.address;
        o.width = options.width;
        return o;
    }

    TokenizerControl control;
    std::unique_ptr<readable::TextRenderer> renderer;
    std::unique_ptr<readable::ArticleExtractor> extractor; // instead of the renderer, for the main content only
    html::Tokenizer tokenizer;
    html::Decoder decoder;
    std::function<void(const readable::ArticleChoice &)> onArticleChosen;
};

ReadableText::ReadableText(readable::TextSink &out, const ReadableOptions &options)
    : parts_(std::make_unique<Parts>(out, options))
{}

ReadableText::~ReadableText() = default;

void ReadableText::feed(std::string_view bytes)
{
    text_.clear();
    parts_->decoder.decode(bytes, text_);
    parts_->tokenizer.feed(text_);
}

void ReadableText::finish()
{
    text_.clear();
    parts_->decoder.finish(text_);
    parts_->tokenizer.feed(text_);
    parts_->tokenizer.finish();
    if (parts_->extractor && parts_->onArticleChosen)
        parts_->onArticleChosen(parts_->extractor->choice());
}

std::string_view ReadableText::encodingName() const
{
    return parts_->decoder.choice().name;
}

void convertReadable(int inFd, int outFd, const std::string &inName, const std::string &outName,
                     const ReadableOptions &options)
{
    convertStream(inFd, outFd, inName, outName, readablePump(options, inName));
}

void convertReadableToFile(int inFd, const std::string &inName, const std::filesystem::path &textPath,
                           const ReadableOptions &options)
{
    convertToFile(inFd, inName, textPath, readablePump(options, inName));
}

void convertReadableHtmlFile(const std::filesystem::path &htmlPath, const std::filesystem::path &textPath,
                             const ReadableOptions &options)
{
    const std::string inName = htmlPath.string();
    convertHtmlFile(htmlPath, textPath, readablePump(options, inName));
}

std::filesystem::path convertReadableHtmlFile(const std::filesystem::path &htmlPath, const ReadableOptions &options)
{
    if (htmlPath.empty())
        throw ConversionError("", "no file name given");
    std::filesystem::path textPath = textPathFor(htmlPath);
    convertReadableHtmlFile(htmlPath, textPath, options);
    return textPath;
}

} // namespace quillan
