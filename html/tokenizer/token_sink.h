#pragma once
// What the HTML tokenizer hands on: the tokens of the HTML Standard's
// tokenization stage, as views into the tokenizer's own buffers. A view is
// valid only during the call that receives it; a sink that needs a value
// later copies it.
//
// Every text is UTF-8. Tag and attribute names are lower-cased (ASCII only,
// as the Standard says); character references are already resolved; U+0000
// and the other replacements the Standard makes are already made.

#include <cstdint>
#include <span>
#include <string_view>

namespace quillan::html {

struct Attribute {
    std::string_view name;
    std::string_view value;
};

struct Tag {
    // `known` when the producer does not say which known name this is.
    static constexpr std::uint32_t kNotGiven = UINT32_MAX;

    std::string_view name;
    // The engine's number for the name (html/elements/elements.h: the
    // KnownName whose lower-case text `name` is) when the producer knows it
    // without a search, as a walk of a Document does; kNotGiven otherwise
    // (the tokenizer), and then a reader looks the name up.
    std::uint32_t known = kNotGiven;
    // In source order; a repeated name is dropped (the first one wins).
    std::span<const Attribute> attributes;
    bool selfClosing = false;

    // The value of the attribute `key` (lower case), or nullptr-data view
    // when the tag has none (an empty value is an empty, non-null view).
    std::string_view attribute(std::string_view key) const
    {
        for (const Attribute &a : attributes)
            if (a.name == key)
                return a.value.data() ? a.value : std::string_view("", 0);
        return {};
    }
    bool hasAttribute(std::string_view key) const { return attribute(key).data() != nullptr; }
};

struct Doctype {
    std::string_view name;
    std::string_view publicId;
    std::string_view systemId;
    bool hasName = false;
    bool hasPublicId = false;
    bool hasSystemId = false;
    bool forceQuirks = false;
};

// The tokenizer knows no tree: the sink decides what a start tag changes.
// From inside startTag() a sink may switch the tokenizer's state (RCDATA after
// <title>, RAWTEXT after <style>, script data after <script>, PLAINTEXT, ...)
// and say whether the adjusted current node is in foreign content (CDATA
// sections); the switch applies from the first character after the tag.
class TokenSink {
public:
    virtual ~TokenSink() = default;

    // A run of character data. A run may be split across several calls at any
    // point between code points.
    virtual void characters(std::string_view utf8) = 0;
    virtual void startTag(const Tag &tag) = 0;
    virtual void endTag(const Tag &tag) = 0;
    virtual void comment(std::string_view) {}
    virtual void doctype(const Doctype &) {}
    virtual void endOfFile() {}
};

} // namespace quillan::html
