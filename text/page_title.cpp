#include "text/page_title.h"

#include "base/fd_io.h"
#include "base/utf8.h"
#include "html/scan/page_scan.h"
#include "html/tokenizer/token_sink.h"
#include "html/tokenizer/tokenizer.h"

#include <fcntl.h>
#include <unistd.h>

#include <vector>

namespace quillan::text {

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

constexpr std::size_t ScanPiece = 64 * 1024;

} // namespace

// The page read into the title's sink until the title is known.
struct TitleScan::Parts {
    explicit Parts(std::string_view httpCharset)
        : scan(httpCharset, sink, kTitleScanBytes, [this] { return sink.done(); })
    {
        sink.attach(scan.tokenizer());
    }

    TitleSink sink;
    html::PageScan scan;
};

TitleScan::TitleScan(std::string_view httpCharset) : parts_(std::make_unique<Parts>(httpCharset)) {}

TitleScan::~TitleScan() = default;

bool TitleScan::done() const
{
    return parts_->scan.done();
}

void TitleScan::feed(std::string_view bytes)
{
    parts_->scan.feed(bytes);
}

std::string TitleScan::finish()
{
    parts_->scan.finish();
    return parts_->sink.text();
}

std::string_view TitleScan::encodingName() const
{
    return parts_->scan.encodingName();
}

std::string pageTitle(std::string_view page, std::string_view httpCharset)
{
    TitleScan scan(httpCharset);
    scan.feed(page);
    return scan.finish();
}

std::string pageTitleOfFile(const std::filesystem::path &htmlPath, std::string_view httpCharset)
{
    const base::UniqueFd fd(::open(htmlPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0)
        return {};
    TitleScan scan(httpCharset);
    std::vector<char> buffer(ScanPiece);
    while (!scan.done()) {
        const ssize_t n = base::ReadFull(fd.get(), buffer.data(), buffer.size());
        if (n <= 0)
            break;
        scan.feed(std::string_view(buffer.data(), std::size_t(n)));
    }
    return scan.finish();
}

} // namespace quillan::text
