#include "text/page_title.h"

#include "base/fd_io.h"
#include "base/utf8.h"
#include "html/encoding/decoder.h"
#include "html/tokenizer/token_sink.h"
#include "html/tokenizer/tokenizer.h"

#include <fcntl.h>
#include <unistd.h>

#include <vector>

namespace quillan {

namespace {

bool isHtmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// Follows the tokens as far as the first title has ended. It switches the
// tokenizer into the text states a tree builder would, so that what a
// script or style sheet holds is never read as tags.
class TitleSink final : public html::TokenSink {
public:
    void attach(html::Tokenizer &tokenizer) { tokenizer_ = &tokenizer; }
    bool done() const { return done_; }
    const std::string &text() const { return text_; }

    void characters(std::string_view utf8) override
    {
        if (!inTitle_)
            return;
        for (const char c : utf8) {
            if (isHtmlSpace(c)) {
                pendingSpace_ = !text_.empty();
                continue;
            }
            if (pendingSpace_) {
                text_ += ' ';
                pendingSpace_ = false;
            }
            text_ += c;
        }
        if (text_.size() > kMaxTitleBytes) {
            const char *cut = base::IncompleteUtf8Tail(text_.data(), text_.data() + kMaxTitleBytes);
            text_.resize(std::size_t(cut - text_.data()));
            while (!text_.empty() && text_.back() == ' ')
                text_.pop_back();
            finishTitle();
        }
    }

    void startTag(const html::Tag &tag) override
    {
        if (done_)
            return;
        if (foreignDepth_ > 0) {
            if ((tag.name == "svg" || tag.name == "math") && !tag.selfClosing)
                ++foreignDepth_;
            return;
        }
        using State = html::Tokenizer::TextState;
        const std::string_view name = tag.name;
        if (name == "title") {
            inTitle_ = true;
            tokenizer_->setState(State::Rcdata);
        } else if (name == "svg" || name == "math") {
            if (!tag.selfClosing)
                foreignDepth_ = 1;
        } else if (name == "textarea") {
            tokenizer_->setState(State::Rcdata);
        } else if (name == "script") {
            tokenizer_->setState(State::ScriptData);
        } else if (name == "style" || name == "xmp" || name == "iframe" || name == "noembed" || name == "noframes" ||
                   name == "noscript") {
            tokenizer_->setState(State::Rawtext);
        } else if (name == "plaintext") {
            done_ = true; // the rest of the page is text
        }
    }

    void endTag(const html::Tag &tag) override
    {
        if (foreignDepth_ > 0 && (tag.name == "svg" || tag.name == "math"))
            --foreignDepth_;
        else if (inTitle_ && tag.name == "title")
            finishTitle();
    }

    void endOfFile() override
    {
        if (inTitle_)
            finishTitle();
    }

private:
    void finishTitle()
    {
        inTitle_ = false;
        done_ = true;
    }

    html::Tokenizer *tokenizer_ = nullptr;
    std::string text_;
    int foreignDepth_ = 0;
    bool inTitle_ = false;
    bool pendingSpace_ = false;
    bool done_ = false;
};

// Decodes and tokenizes pieces of a page until its title is known.
class TitleScan {
public:
    explicit TitleScan(std::string_view httpCharset) : decoder_(httpCharset), tokenizer_(sink_)
    {
        sink_.attach(tokenizer_);
    }

    bool done() const { return sink_.done(); }

    void feed(std::string_view bytes)
    {
        utf8_.clear();
        decoder_.decode(bytes, utf8_);
        tokenizer_.feed(utf8_);
    }

    std::string finish()
    {
        if (!sink_.done()) {
            utf8_.clear();
            decoder_.finish(utf8_);
            tokenizer_.feed(utf8_);
            tokenizer_.finish();
        }
        return sink_.text();
    }

private:
    html::Decoder decoder_;
    TitleSink sink_;
    html::Tokenizer tokenizer_;
    std::string utf8_;
};

constexpr std::size_t ScanPiece = 64 * 1024;

} // namespace

std::string pageTitle(std::string_view page, std::string_view httpCharset)
{
    TitleScan scan(httpCharset);
    page = page.substr(0, kTitleScanBytes);
    while (!page.empty() && !scan.done()) {
        const std::string_view piece = page.substr(0, ScanPiece);
        scan.feed(piece);
        page.remove_prefix(piece.size());
    }
    return scan.finish();
}

std::string pageTitleOfFile(const std::filesystem::path &htmlPath, std::string_view httpCharset)
{
    const base::UniqueFd fd(::open(htmlPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0)
        return {};
    TitleScan scan(httpCharset);
    std::vector<char> buffer(ScanPiece);
    std::size_t read = 0;
    while (read < kTitleScanBytes && !scan.done()) {
        const ssize_t n = base::ReadFull(fd.get(), buffer.data(), std::min(buffer.size(), kTitleScanBytes - read));
        if (n <= 0)
            break;
        scan.feed(std::string_view(buffer.data(), std::size_t(n)));
        read += std::size_t(n);
    }
    return scan.finish();
}

} // namespace quillan
