#include "convert/readable_converter.h"

#include "convert/stream_io.h"

#include "base/fd_io.h"
#include "html/encoding/decoder.h"
#include "html/tokenizer/tokenizer.h"
#include "text/article/article_input.h"
#include "text/article/tokenizer_control.h"
#include "text/readable/text_renderer.h"

#include <stdexcept>
#include <system_error>

#include <sys/stat.h>

namespace quillan {
namespace {

class FdTextSink final : public text::readable::TextSink {
public:
    explicit FdTextSink(int fd) : fd_(fd) {}
    void write(std::string_view utf8) override
    {
        if (const int error = base::WriteAll(fd_, utf8.data(), utf8.size()))
            throw WriteFailure{error};
    }

private:
    int fd_;
};

void pumpReadable(int inFd, int outFd, const ReadableOptions &options)
{
    FdTextSink sink(outFd);
    struct stat info {};
    const bool file = ::fstat(inFd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
    ReadableText text(sink, options, file ? static_cast<std::size_t>(info.st_size) : 0);
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
    Parts(text::readable::TextSink &out, const ReadableOptions &options, std::size_t sizeHint)
        : article(options.article ? std::make_unique<text::article::ArticleInput>(out, renderOptions(options), sizeHint)
                                  : nullptr),
          renderer(options.article
                       ? nullptr
                       : std::make_unique<text::readable::TextRenderer>(out, renderOptions(options), &control)),
          tokenizer(options.article ? nullptr : std::make_unique<html::Tokenizer>(*renderer)),
          decoder(options.httpCharset), onArticleChosen(options.onArticleChosen)
    {
        if (tokenizer)
            control.attach(*tokenizer);
    }
    void feed(std::string_view utf8)
    {
        if (article)
            article->feed(utf8);
        else
            tokenizer->feed(utf8);
    }
    static text::readable::RenderOptions renderOptions(const ReadableOptions &options)
    {
        text::readable::RenderOptions o;
        o.links = options.links;
        o.address = options.address;
        o.width = options.width;
        return o;
    }

    // The article mode: the page's tree, its main content only.
    std::unique_ptr<text::article::ArticleInput> article;
    // The readable mode: the tokens straight into the renderer.
    text::article::TokenizerControl control;
    std::unique_ptr<text::readable::TextRenderer> renderer;
    std::unique_ptr<html::Tokenizer> tokenizer;
    html::Decoder decoder;
    std::function<void(const text::article::ArticleChoice &)> onArticleChosen;
};

ReadableText::ReadableText(text::readable::TextSink &out, const ReadableOptions &options, std::size_t sizeHint)
    : parts_(std::make_unique<Parts>(out, options, sizeHint))
{}

ReadableText::~ReadableText() = default;

void ReadableText::feed(std::string_view bytes)
{
    if (parts_->article) {
        // The article mode keeps the text until the page has ended.
        std::string text;
        text.reserve(bytes.size());
        parts_->decoder.decode(bytes, text);
        parts_->article->feed(std::move(text));
        return;
    }
    text_.clear();
    parts_->decoder.decode(bytes, text_);
    parts_->feed(text_);
}

void ReadableText::finish()
{
    text_.clear();
    parts_->decoder.finish(text_);
    parts_->feed(text_);
    if (parts_->article) {
        parts_->article->finish();
        if (parts_->onArticleChosen)
            parts_->onArticleChosen(parts_->article->choice());
    } else {
        parts_->tokenizer->finish();
    }
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
