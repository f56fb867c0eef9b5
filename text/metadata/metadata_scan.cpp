#include "text/metadata/metadata_scan.h"

#include "base/text.h"
#include "html/scan/page_scan.h"
#include "html/tokenizer/token_sink.h"
#include "html/tokenizer/tokenizer.h"
#include "text/article/tokenizer_control.h"
#include "text/metadata/candidates.h"
#include "text/metadata/json.h"
#include "text/metadata/json_ld.h"
#include "text/metadata/meta_names.h"
#include "text/metadata/normalise.h"
#include "text/readable/elements.h"
#include "text/readable/style_sheet.h"
#include "text/readable/tokenizer_switch.h"
#include "text/readable/url_parser.h"

#include <algorithm>
#include <array>
#include <optional>
#include <stdexcept>
#include <vector>

namespace quillan::text::metadata {

namespace {

// A longer <title> is not a title worth keeping whole; a paragraph is read
// as far as a description could reach.
constexpr std::size_t kMaxTitleText = 4096;
constexpr std::size_t kMaxParagraphText = 4096;
// A byline is a line: longer text is an author's box, a biography.
constexpr std::size_t kMaxBylineCharacters = 100;
// A <div>'s own text is a paragraph when it is as long as a sentence or two.
constexpr std::size_t kMinDivParagraph = 80;
// Bylines read at once: one inside another, as "By <a rel=author>".
constexpr std::size_t kMaxOpenBylines = 4;

bool isHtmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// The words of a space-separated attribute, lower case.
std::vector<std::string> wordsOf(std::string_view value)
{
    std::vector<std::string> words;
    std::string word;
    for (std::size_t i = 0; i <= value.size(); ++i) {
        if (i == value.size() || isHtmlSpace(value[i])) {
            if (!word.empty())
                words.push_back(std::move(word));
            word.clear();
        } else {
            word += base::AsciiLower(value[i]);
        }
    }
    return words;
}

// The text of a JSON-LD script without the wrapper pages put around it for
// old browsers: "<![CDATA[ ... ]]>", "<!-- ... -->", each perhaps behind
// "//".
std::string_view unwrapped(std::string_view text)
{
    auto trim = [](std::string_view s) {
        while (!s.empty() && isHtmlSpace(s.front()))
            s.remove_prefix(1);
        while (!s.empty() && isHtmlSpace(s.back()))
            s.remove_suffix(1);
        return s;
    };
    text = trim(text);
    for (const auto &[open, close] :
         {std::pair<std::string_view, std::string_view>{"<![CDATA[", "]]>"}, {"<!--", "-->"}}) {
        std::string_view inner = text;
        if (inner.starts_with("//"))
            inner = trim(inner.substr(2));
        if (!inner.starts_with(open) || !inner.ends_with(close))
            continue;
        inner = trim(inner.substr(open.size(), inner.size() - open.size() - close.size()));
        if (inner.ends_with("//"))
            inner = trim(inner.substr(0, inner.size() - 2));
        return inner;
    }
    return text;
}

// Whether a start tag is the body's, or starts it: anything but what a
// head holds, as a tree builder leaves the head for the body.
bool startsBody(std::string_view name)
{
    static constexpr std::string_view kHead[] = {"html",  "head",     "meta", "link",     "title",   "script",
                                                 "style", "noscript", "base", "basefont", "bgsound", "template"};
    return std::find(std::begin(kHead), std::end(kHead), name) == std::end(kHead);
}

// Where the first paragraph is looked for, and what ends one.
bool isArticleElement(std::string_view name)
{
    return name == "article" || name == "main";
}
bool isAsideElement(std::string_view name)
{
    return name == "header" || name == "nav" || name == "footer" || name == "aside" || name == "form";
}
bool endsParagraph(std::string_view name)
{
    static constexpr std::array<std::string_view, 20> Blocks{
        "p",      "div",    "table", "ul", "ol", "dl", "li", "section", "article", "main",
        "header", "footer", "nav",   "h1", "h2", "h3", "h4", "h5",      "h6",      "blockquote"};
    return std::find(Blocks.begin(), Blocks.end(), name) != Blocks.end();
}

// Whether a word of a class or id names a byline: one holding "byline"
// ("FeatureByline"), or one whose parts between "-" and "_" hold "author",
// "authors" or "writer" ("author-name", "post_author"; not "authorization"),
// but not a button to follow an author nor an author's biography.
bool namesByline(std::string_view word)
{
    if (word.find("byline") != std::string_view::npos)
        return true;
    bool named = false;
    for (std::size_t start = 0; start <= word.size();) {
        const std::size_t end = std::min(word.find_first_of("-_", start), word.size());
        const std::string_view part = word.substr(start, end - start);
        if (part == "follow" || part == "bio")
            return false;
        named = named || part == "author" || part == "authors" || part == "writer";
        start = end + 1;
    }
    return named;
}

// Whether an element in the page's body is marked as holding its author's
// name: rel="author", itemprop="author", a class or id that names a byline.
// The page's <html>, <head> and <body> are never a byline, whatever their
// class.
bool marksAuthor(const html::Tag &tag)
{
    const std::string_view name = tag.name;
    if (name == "meta" || name == "link" || name == "html" || name == "head" || name == "body")
        return false;
    for (const std::string_view attribute : {"rel", "itemprop"})
        for (const std::string &word : wordsOf(tag.attribute(attribute)))
            if (word == "author")
                return true;
    for (const std::string_view attribute : {"class", "id"})
        for (const std::string &word : wordsOf(tag.attribute(attribute)))
            if (namesByline(word))
                return true;
    return false;
}

// Whether an element inside a byline holds the name alone: itemprop="name".
bool marksName(const html::Tag &tag)
{
    for (const std::string &word : wordsOf(tag.attribute("itemprop")))
        if (word == "name")
            return true;
    return false;
}

// Whether an element's class or id makes it the readers' comments, whose
// bylines are theirs and not the page's. The page's <html>, <head> and
// <body> never are.
bool holdsComments(const html::Tag &tag)
{
    if (tag.name == "html" || tag.name == "head" || tag.name == "body")
        return false;
    for (const std::string_view attribute : {"class", "id"})
        for (const std::string &word : wordsOf(tag.attribute(attribute)))
            if (word.find("comment") != std::string::npos)
                return true;
    return false;
}

std::size_t characterCount(std::string_view utf8)
{
    return std::size_t(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// The name in a byline's text: the separator before the date it often
// ends with taken off ("By Ann -").
std::string bylineName(std::string_view text)
{
    std::string name = collapseSpace(text);
    for (const std::string_view dash : {" \xE2\x80\x94", " \xE2\x80\x93", " |", " -", ","})
        if (name.ends_with(dash))
            name.resize(name.size() - dash.size());
    return name;
}

// An element read through to its end: nested elements of its name are
// counted so that its own end tag is known, and a <p> ends where a block
// starts, as a tree builder ends it.
class OpenElement {
public:
    bool open() const { return depth_ > 0; }
    void begin(std::string_view name)
    {
        name_ = name;
        depth_ = 1;
    }
    // Whether the start tag ends the element.
    bool startTag(std::string_view name)
    {
        if (!open())
            return false;
        if (name_ == "p" && endsParagraph(name)) {
            close();
            return true;
        }
        depth_ += name == name_;
        return false;
    }
    // Whether the end tag ends the element.
    bool endTag(std::string_view name)
    {
        if (!open() || name != name_ || --depth_ > 0)
            return false;
        close();
        return true;
    }
    void close()
    {
        name_.clear();
        depth_ = 0;
    }

private:
    std::string name_;
    int depth_ = 0;
};

// Whether a reader never sees what an element holds: a script, a style
// sheet, a template, an element hidden by its attribute or its style. The
// page's own <html>, <head> and <body> are never passed over, since their
// end tags are often left out.
bool hidesItsContent(const html::Tag &tag)
{
    const std::string_view name = tag.name;
    if (name == "html" || name == "head" || name == "body")
        return false;
    const std::uint32_t flags = readable::FlagsOf(readable::LookupElement(name).element);
    if (flags & readable::kVoid)
        return false;
    return (flags & readable::kNotDisplayed) || tag.hasAttribute("hidden") ||
           readable::InlineStyle(tag.attribute("style")).hides;
}

bool isJsonLd(std::string_view type)
{
    return base::EqualsNoCase(collapseSpace(type), "application/ld+json");
}

// Collects what the tags say, switching the tokenizer as a tree builder
// would.
class MetadataSink final : public html::TokenSink {
public:
    void attach(html::Tokenizer &tokenizer)
    {
        tokenizer_ = &tokenizer;
        control_.attach(tokenizer);
    }
    explicit MetadataSink(Reach reach) : reach_(reach) {}
    bool done() const { return done_; }
    Candidates &candidates() { return candidates_; }
    std::vector<json::Value> &jsonLd() { return jsonLd_; }
    const std::optional<std::string> &baseHref() const { return baseHref_; }

    void characters(std::string_view utf8) override
    {
        if (in_ == Inside::Title && title_.size() < kMaxTitleText)
            title_.append(utf8.substr(0, kMaxTitleText - title_.size()));
        else if (in_ == Inside::JsonLd && script_.size() <= json::kMaxTextBytes)
            script_.append(utf8.substr(0, json::kMaxTextBytes + 1 - script_.size()));
        if (hidden_.open())
            return;
        for (Byline &byline : bylines_) {
            if (byline.text.size() < kMaxParagraphText)
                byline.text.append(utf8.substr(0, kMaxParagraphText - byline.text.size()));
            if (byline.nameElement.open() && byline.name.size() < kMaxParagraphText)
                byline.name.append(utf8.substr(0, kMaxParagraphText - byline.name.size()));
        }
        if (in_ == Inside::Paragraph && paragraph_.size() < kMaxParagraphText)
            paragraph_.append(utf8.substr(0, kMaxParagraphText - paragraph_.size()));
    }

    void startTag(const html::Tag &tag) override
    {
        if (done_)
            return;
        const std::string_view name = tag.name;
        if (reach_ == Reach::Head && startsBody(name)) {
            done_ = true;
            return;
        }
        if (foreignDepth_ > 0) {
            if ((name == "svg" || name == "math") && !tag.selfClosing)
                ++foreignDepth_;
            return;
        }
        if (name == "svg" || name == "math") {
            if (!tag.selfClosing) {
                foreignDepth_ = 1;
                if (tokenizer_)
                    tokenizer_->setForeignContent(true);
            }
            return;
        }
        if (in_ == Inside::Paragraph && endsParagraph(name))
            endParagraph();
        const bool isVoid = readable::FlagsOf(readable::LookupElement(name).element) & readable::kVoid;
        if (!hidden_.startTag(name) && !hidden_.open() && hidesItsContent(tag))
            hidden_.begin(name);
        const bool shown = !hidden_.open();
        if (!comments_.startTag(name) && !comments_.open() && !isVoid && holdsComments(tag))
            comments_.begin(name);
        for (std::size_t i = bylines_.size(); i-- > 0;) {
            Byline &byline = bylines_[i];
            if (byline.element.startTag(name)) {
                endByline(i);
                continue;
            }
            if (!byline.nameElement.startTag(name) && !byline.nameElement.open() && byline.name.empty() && !isVoid &&
                marksName(tag))
                byline.nameElement.begin(name);
        }
        if (shown && !comments_.open() && !bylineFound_ && !isVoid && bylines_.size() < kMaxOpenBylines &&
            marksAuthor(tag)) {
            bylines_.push_back({{}, {}, {}, {}, bylineOrder_++});
            bylines_.back().element.begin(name);
        }
        if (isArticleElement(name))
            ++articleDepth_;
        else if (isAsideElement(name))
            ++asideDepth_;
        if (name == "meta")
            meta(tag);
        else if (name == "link")
            link(tag);
        else if (name == "html" && !htmlSeen_) {
            htmlSeen_ = true;
            candidates_.add(Field::Language, Source::Html, tag.attribute("lang"));
            candidates_.add(Field::Language, Source::Html, tag.attribute("xml:lang"));
        } else if (name == "base" && !baseHref_ && tag.hasAttribute("href"))
            baseHref_ = std::string(tag.attribute("href"));
        else if (name == "title" && !titleSeen_)
            in_ = Inside::Title;
        else if (name == "script" && isJsonLd(tag.attribute("type")))
            in_ = Inside::JsonLd;
        else if (name == "plaintext")
            done_ = true; // the rest of the page is text
        else if ((name == "p" || (name == "div" && articleDepth_ > 0)) && shown && in_ == Inside::Nothing &&
                 asideDepth_ == 0 && !(articleDepth_ == 0 ? first_ : inArticle_)) {
            in_ = Inside::Paragraph;
            paragraphMinimum_ = name == "p" ? 0 : kMinDivParagraph;
        }
        if (tokenizer_)
            readable::SwitchTokenizerAfter(control_, readable::LookupElement(name).element);
    }

    void endTag(const html::Tag &tag) override
    {
        if (foreignDepth_ > 0) {
            if ((tag.name == "svg" || tag.name == "math") && --foreignDepth_ == 0 && tokenizer_)
                tokenizer_->setForeignContent(false);
            return;
        }
        hidden_.endTag(tag.name);
        comments_.endTag(tag.name);
        for (std::size_t i = bylines_.size(); i-- > 0;) {
            bylines_[i].nameElement.endTag(tag.name);
            if (bylines_[i].element.endTag(tag.name))
                endByline(i);
        }
        if (isArticleElement(tag.name) && articleDepth_ > 0)
            --articleDepth_;
        else if (isAsideElement(tag.name) && asideDepth_ > 0)
            --asideDepth_;
        if (in_ == Inside::Paragraph && endsParagraph(tag.name))
            endParagraph();
        else if (in_ == Inside::Title && tag.name == "title")
            endTitle();
        else if (in_ == Inside::JsonLd && tag.name == "script")
            endScript();
    }

    void endOfFile() override
    {
        if (in_ == Inside::Title)
            endTitle();
        else if (in_ == Inside::JsonLd)
            endScript();
        else if (in_ == Inside::Paragraph)
            endParagraph();
        while (!bylines_.empty())
            endByline(bylines_.size() - 1);
    }

    // The first paragraph of the page's article, else of its body.
    const std::optional<std::string> &firstParagraph() const { return inArticle_ ? inArticle_ : first_; }

private:
    enum class Inside : std::uint8_t { Nothing, Title, JsonLd, Paragraph };

    void meta(const html::Tag &tag)
    {
        const std::string_view content = tag.attribute("content");
        if (!content.data())
            return;
        if (base::EqualsNoCase(base::TrimSpacesAndTabs(tag.attribute("http-equiv")), "content-language"))
            candidates_.add(Field::Language, Source::HttpEquiv, content);
        for (const std::string_view attribute : {"property", "name"})
            for (const std::string &word : wordsOf(tag.attribute(attribute)))
                if (const MetaName *key = metaName(word))
                    candidates_.add(key->field, key->source, content);
        itemprop(tag, content);
    }

    void link(const html::Tag &tag)
    {
        const std::string_view href = tag.attribute("href");
        if (!href.data())
            return;
        for (const std::string &rel : wordsOf(tag.attribute("rel"))) {
            if (rel == "canonical")
                candidates_.add(Field::Url, Source::Link, href);
            else if (rel == "image_src")
                candidates_.add(Field::Image, Source::Link, href);
        }
        itemprop(tag, href);
    }

    void itemprop(const html::Tag &tag, std::string_view value)
    {
        for (const std::string &word : wordsOf(tag.attribute("itemprop")))
            if (const MetaName *key = itempropName(word))
                candidates_.add(key->field, key->source, value);
    }

    void endTitle()
    {
        in_ = Inside::Nothing;
        titleSeen_ = true;
        candidates_.add(Field::Title, Source::TitleElement, title_);
    }

    void endScript()
    {
        in_ = Inside::Nothing;
        if (std::optional<json::Value> value = json::parse(unwrapped(script_)))
            jsonLd_.push_back(std::move(*value));
        script_.clear();
    }

    // Of the bylines read, the first to start that is a line long is the
    // page's; once it is known, no more are looked for.
    void endByline(std::size_t index)
    {
        const Byline byline = std::move(bylines_[index]);
        bylines_.erase(bylines_.begin() + std::ptrdiff_t(index));
        // A name marked inside it is the author's name alone.
        std::string name = bylineName(collapseSpace(byline.name).empty() ? byline.text : byline.name);
        if (!name.empty() && characterCount(collapseSpace(byline.text)) <= kMaxBylineCharacters &&
            byline.order < bylineOrderFound_) {
            byline_ = std::move(name);
            bylineOrderFound_ = byline.order;
        }
        if (!byline_.empty() && bylines_.empty() && !bylineFound_) {
            bylineFound_ = true;
            candidates_.add(Field::Author, Source::Byline, byline_);
        }
    }

    void endParagraph()
    {
        in_ = Inside::Nothing;
        std::string text = collapseSpace(paragraph_);
        paragraph_.clear();
        if (text.empty() || characterCount(text) < paragraphMinimum_)
            return;
        if (articleDepth_ > 0 && !inArticle_)
            inArticle_ = text;
        if (!first_)
            first_ = std::move(text);
    }

    html::Tokenizer *tokenizer_ = nullptr; // none when another reading's tokens come
    article::TokenizerControl control_;
    Candidates candidates_;
    std::vector<json::Value> jsonLd_;
    std::optional<std::string> baseHref_;
    std::string title_;
    std::string script_;
    std::string paragraph_;
    struct Byline {
        OpenElement element;
        std::string text;
        OpenElement nameElement; // the first element inside marked itemprop="name"
        std::string name;
        std::size_t order; // the how-manieth byline started
    };

    OpenElement hidden_;   // the element whose content no reader sees
    OpenElement comments_; // the readers' comments being read
    std::vector<Byline> bylines_;
    std::size_t bylineOrder_ = 0;
    std::size_t bylineOrderFound_ = std::size_t(-1);
    std::string byline_; // the page's byline, once one is read
    bool bylineFound_ = false;
    std::size_t paragraphMinimum_ = 0; // the characters the paragraph being read needs
    std::optional<std::string> first_;
    std::optional<std::string> inArticle_;
    int articleDepth_ = 0;
    int asideDepth_ = 0;
    Inside in_ = Inside::Nothing;
    int foreignDepth_ = 0;
    Reach reach_;
    bool htmlSeen_ = false;
    bool titleSeen_ = false;
    bool done_ = false;
};

} // namespace

struct MetadataScan::Parts {
    Parts(std::string_view httpCharset, std::string_view pageAddress, Reach reach, Input input)
        : sink(reach), address(pageAddress)
    {
        if (input == Input::Tokens) {
            if (reach != Reach::Head)
                throw std::invalid_argument("only the head is read from another reading's tokens");
            return;
        }
        scan.emplace(httpCharset, sink, kMetadataScanBytes, [this] { return sink.done(); });
        sink.attach(scan->tokenizer());
    }

    MetadataSink sink;
    std::optional<html::PageScan> scan; // Input::Bytes
    std::string address;
    Source titleSource = Source::TitleElement;
    bool finished = false;
};

MetadataScan::MetadataScan(std::string_view httpCharset, std::string_view address, Reach reach, Input input)
    : parts_(std::make_unique<Parts>(httpCharset, address, reach, input))
{}

MetadataScan::~MetadataScan() = default;

bool MetadataScan::done() const
{
    return parts_->scan ? parts_->scan->done() : parts_->sink.done();
}

void MetadataScan::feed(std::string_view bytes)
{
    if (parts_->scan)
        parts_->scan->feed(bytes);
}

html::TokenSink &MetadataScan::tokens()
{
    return parts_->sink;
}

Metadata MetadataScan::finish()
{
    if (!parts_->finished) {
        parts_->finished = true;
        if (parts_->scan)
            parts_->scan->finish();
        readJsonLd(parts_->sink.jsonLd(), parts_->sink.candidates());
        if (const std::optional<std::string> &paragraph = parts_->sink.firstParagraph())
            parts_->sink.candidates().add(Field::Description, Source::Paragraph, *paragraph);
    }
    // Relative addresses go against <base href>, itself resolved against
    // the page's address, as a browser resolves the page's links.
    std::string base = parts_->address;
    if (const std::optional<std::string> &href = parts_->sink.baseHref())
        if (std::optional<std::string> resolved = readable::parseUrl(*href, parts_->address))
            base = std::move(*resolved);
    return choose(parts_->sink.candidates(), base, &parts_->titleSource);
}

Source MetadataScan::titleSource() const
{
    return parts_->titleSource;
}

std::string_view MetadataScan::encodingName() const
{
    return parts_->scan ? parts_->scan->encodingName() : std::string_view();
}

Metadata pageMetadata(std::string_view page, std::string_view httpCharset, std::string_view address)
{
    MetadataScan scan(httpCharset, address);
    scan.feed(page);
    return scan.finish();
}

} // namespace quillan::text::metadata
