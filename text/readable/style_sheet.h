#pragma once
// The part of a page's style that changes its text: rules of <style> blocks
// whose selectors are simple (a tag, #id, .class, or a compound of them such
// as div.note or .a.b, in selector lists) and that set `display: none`,
// `visibility: hidden` or `text-transform`, and the same declarations in an
// element's style attribute.
//
// Everything else in a style sheet is skipped: style elements for other
// media than the screen (the renderer does not feed them), selectors with combinators,
// attributes or pseudo-classes, and every rule inside an at-rule (@media,
// @supports, ...), since whether those apply depends on the reader's screen.
// A later simple rule that sets another display value takes a hiding rule
// with the same selector back. Of the rules that set text-transform and
// match an element, the most specific (ids, then classes, then the tag)
// wins, and of those the last.
//
// The sheet is fed in pieces as a <style> element's text arrives and keeps
// bounded memory: a rule longer than kMaxRuleBytes is skipped, and at most
// kMaxSelectors selectors of kMaxSelectorBytes in all are kept.
//
// Matching costs one pass over the element's class list and one test of
// each rule that could match: every rule is filed under one key, its id, or
// else its class that the fewest rules named when it came, or else its tag,
// and an element looks up each of its (distinct) class names once.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quillan::text::readable {

// The case the text of an element is shown in; Inherit when nothing sets it.
enum class TextTransform : std::uint8_t { Inherit, None, Uppercase, Lowercase, Capitalize };

// What a style attribute or the sheet's rules say of one element.
struct ElementStyle {
    bool hides = false;
    TextTransform transform = TextTransform::Inherit;
};

// What an element's style attribute says.
ElementStyle InlineStyle(std::string_view styleAttribute);

class StyleSheet {
public:
    static constexpr std::size_t kMaxRuleBytes = 8192;
    static constexpr std::size_t kMaxSelectors = 16384;
    static constexpr std::size_t kMaxSelectorBytes = 1 << 20;

    // A piece of a style element's text (rules may continue in the next
    // piece). Call endStyleElement() when the element ends.
    void feed(std::string_view css);
    void endStyleElement();

    bool empty() const { return rules_.empty(); }

    // What the rules say of an element with this (lower-case) tag name and
    // these id and class attribute values.
    ElementStyle match(std::string_view tag, std::string_view id, std::string_view classes) const;

    // How many rules match() has tested in all, for tests of its cost.
    std::size_t rulesTested() const { return tested_; }

private:
    struct Compound {
        std::string tag;
        std::string id;
        std::vector<std::string> classes; // sorted, no name twice
    };
    struct Rule {
        Compound selector;
        bool hides = false;
        TextTransform transform = TextTransform::Inherit;
        std::uint32_t transformOrder = 0; // when the transform was set
        std::uint32_t specificity = 0;
    };
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    using Index = std::unordered_map<std::string, std::vector<std::uint32_t>, Hash, std::equal_to<>>;

    void append(std::string &buffer, std::string_view text);
    void endRule();
    void applyRule(std::string_view selectors, std::string_view declarations);
    Rule *ruleFor(Compound compound, bool create);
    bool matches(const Rule &rule, std::string_view tag, std::string_view id) const;

    enum class State { Prelude, Block, AtRule, SkipBlock };
    State state_ = State::Prelude;
    bool inComment_ = false;
    bool slashPending_ = false;
    bool starPending_ = false;
    char quote_ = 0;
    bool escape_ = false;
    bool overflow_ = false;
    int depth_ = 0;
    std::size_t brackets_ = 0; // open [ and ( of the prelude
    std::string prelude_;
    std::string block_;

    std::vector<Rule> rules_;
    std::unordered_map<std::string, std::uint32_t> bySelector_; // a selector's text in a fixed form, to its rule
    Index byId_;
    Index byClass_;
    Index byTag_;
    std::unordered_map<std::string, std::uint32_t, Hash, std::equal_to<>> classUses_; // rules naming each class
    std::size_t bytes_ = 0;                                                           // of the selectors kept
    std::uint32_t order_ = 0;
    bool anyTransform_ = false;

    mutable std::vector<std::string_view> classes_; // an element's class names, sorted, each once
    mutable std::size_t tested_ = 0;
};

} // namespace quillan::text::readable
