#include "html/tree/parser.h"

#include <utility>

namespace quillan::html {

Parser::Parser(TreeOptions options) : document_(NodeKind::Document), builder_(document_, options), tokenizer_(builder_)
{
    builder_.attach(tokenizer_);
}

Parser::Parser(const FragmentContext &context, TreeOptions options)
    : document_(NodeKind::DocumentFragment), builder_(document_, options), tokenizer_(builder_)
{
    builder_.attach(tokenizer_);
    builder_.setFragmentContext(context.ns, context.localName);
    fragmentHtml_ = builder_.fragmentRoot();
}

Parser::~Parser() = default;

void Parser::watch(TokenSink *watcher, std::function<bool()> enough)
{
    tee_.watcher = watcher;
    tee_.enough = std::move(enough);
    if (watcher)
        tokenizer_.setSink(tee_);
    else
        tokenizer_.setSink(builder_);
}

void Parser::Tee::characters(std::string_view utf8)
{
    parser_.builder_.characters(utf8);
    watcher->characters(utf8);
}

void Parser::Tee::startTag(const Tag &tag)
{
    parser_.builder_.startTag(tag);
    watcher->startTag(tag);
    if (enough && enough())
        parser_.watch(nullptr); // from the next token on
}

void Parser::Tee::endTag(const Tag &tag)
{
    parser_.builder_.endTag(tag);
    watcher->endTag(tag);
}

void Parser::Tee::comment(std::string_view text)
{
    parser_.builder_.comment(text);
    watcher->comment(text);
}

void Parser::Tee::doctype(const Doctype &doctype)
{
    parser_.builder_.doctype(doctype);
    watcher->doctype(doctype);
}

void Parser::Tee::endOfFile()
{
    parser_.builder_.endOfFile();
    watcher->endOfFile();
}

void Parser::feed(std::string_view chunk)
{
    if (!finished_)
        tokenizer_.feed(chunk);
}

Document Parser::finish()
{
    if (!finished_) {
        finished_ = true;
        tokenizer_.finish();
        if (fragmentHtml_ != kNoNode)
            document_.moveChildren(fragmentHtml_, document_.root());
    }
    return std::move(document_);
}

Document parseDocument(std::string_view html, TreeOptions options)
{
    Parser parser(options);
    parser.reserve(html.size());
    parser.feed(html);
    return parser.finish();
}

Document parseFragment(std::string_view html, const FragmentContext &context, TreeOptions options)
{
    Parser parser(context, options);
    parser.reserve(html.size());
    parser.feed(html);
    return parser.finish();
}

} // namespace quillan::html
