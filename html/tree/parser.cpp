#include "html/tree/parser.h"

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
