#pragma once
// Parsing HTML into a Document: the tokenizer and the tree builder joined.
//
// Contract:
// - A Parser takes a page's UTF-8 text in chunks of any size (feed()) and
//   answers the Document once the input has ended (finish()); the tree does
//   not depend on where the chunks end.
// - A Parser made with a FragmentContext parses the input as the HTML
//   fragment parsing algorithm does with a context element of that namespace
//   and local name (in a document that is not in quirks mode); the Document's
//   root is then a DocumentFragment holding the fragment's nodes.
// - parseDocument() and parseFragment() do it for input in one piece.
// - finish() may be called once; feed() after it does nothing.
// - watch() lets another sink read the tokens the tree is built from, as the
//   tree builder switches the tokenizer for them, without tokenizing the
//   text again.

#include "html/tokenizer/tokenizer.h"
#include "html/tree/document.h"
#include "html/tree/tree_builder.h"

#include <functional>
#include <memory>
#include <string_view>

namespace quillan::html {

struct FragmentContext {
    Namespace ns = Namespace::Html;
    std::string_view localName = "body";
};

class Parser {
public:
    explicit Parser(TreeOptions options = {});
    Parser(const FragmentContext &context, TreeOptions options = {});
    Parser(const Parser &) = delete;
    Parser &operator=(const Parser &) = delete;
    ~Parser();

    // A hint of the input's size in bytes, for the Document's storage.
    void reserve(std::size_t bytes) { document_.reserve(bytes); }
    // The Document's byte limit (Document::limitBytes()), the tree
    // builder's stack of open elements counted with it: feed() and finish()
    // throw DocumentTooLarge past it, and the Parser is then fit only to be
    // destroyed.
    void limitBytes(std::size_t bytes) { document_.limitBytes(bytes); }
    // The bytes counted against it.
    std::size_t bytesInUse() const { return document_.bytesInUse() + document_.besideBytes(); }
    void feed(std::string_view chunk);
    Document finish();

    // The tokens of every later feed() and finish() go to `watcher` too,
    // each after the tree builder has taken it (not the one the builder
    // throws DocumentTooLarge on), up to the start tag after which `enough`
    // (when given) first answers true; nullptr: to the tree builder alone.
    // `watcher` must outlive its use and only reads: the tree builder alone
    // switches the tokenizer.
    void watch(TokenSink *watcher, std::function<bool()> enough = {});

private:
    // A token to the tree builder, then to the watcher.
    class Tee final : public TokenSink {
    public:
        explicit Tee(Parser &parser) : parser_(parser) {}
        TokenSink *watcher = nullptr;
        std::function<bool()> enough;

        void characters(std::string_view utf8) override;
        void startTag(const Tag &tag) override;
        void endTag(const Tag &tag) override;
        void comment(std::string_view text) override;
        void doctype(const Doctype &doctype) override;
        void endOfFile() override;

    private:
        Parser &parser_;
    };

    Document document_;
    TreeBuilder builder_;
    Tokenizer tokenizer_;
    Tee tee_{*this};
    NodeId fragmentHtml_ = kNoNode;
    bool finished_ = false;
};

Document parseDocument(std::string_view html, TreeOptions options = {});
Document parseFragment(std::string_view html, const FragmentContext &context, TreeOptions options = {});

} // namespace quillan::html
