#pragma once
// The part of a page's style that decides what is hidden: rules of <style>
// blocks whose selectors are simple (a tag, #id, .class, or a compound of
// them such as div.note or .a.b, in selector lists) and that set
// `display: none` or `visibility: hidden`, and the same two declarations in
// an element's style attribute.
//
// Everything else in a style sheet is skipped: style elements for other
// media than the screen (the renderer does not feed them), selectors with combinators,
// attributes or pseudo-classes, and every rule inside an at-rule (@media,
// @supports, ...), since whether those apply depends on the reader's screen.
// A later simple rule that sets another display value takes a hiding rule
// with the same selector back.
//
// The sheet is fed in pieces as a <style> element's text arrives and keeps
// bounded memory: a rule longer than kMaxRuleBytes is skipped, and at most
// kMaxSelectors hiding selectors of kMaxSelectorBytes in all are kept.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quillan::readable {

// Whether an element's style attribute hides it.
bool InlineStyleHides(std::string_view styleAttribute);

class HidingStyleSheet {
public:
    static constexpr std::size_t kMaxRuleBytes = 8192;
    static constexpr std::size_t kMaxSelectors = 16384;
    static constexpr std::size_t kMaxSelectorBytes = 1 << 20;

    // A piece of a style element's text (rules may continue in the next
    // piece). Call endStyleElement() when the element ends.
    void feed(std::string_view css);
    void endStyleElement();

    bool empty() const { return count_ == 0; }

    // Whether a rule hides an element with this (lower-case) tag name and
    // these id and class attribute values.
    bool hides(std::string_view tag, std::string_view id, std::string_view classes) const;

private:
    struct Compound {
        std::string tag;
        std::string id;
        std::vector<std::string> classes;
        bool operator==(const Compound &) const = default;
    };
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    using Index = std::unordered_map<std::string, std::vector<Compound>, Hash, std::equal_to<>>;

    void append(std::string &buffer, std::string_view text);
    void endRule();
    void applyRule(std::string_view selectors, std::string_view declarations);
    void add(Compound compound);
    void remove(const Compound &compound);
    Index &indexFor(const Compound &c, std::string *key);
    static bool matches(const Compound &c, std::string_view tag, std::string_view id, std::string_view classes);

    enum class State { Prelude, Block, AtRule, SkipBlock };
    State state_ = State::Prelude;
    bool inComment_ = false;
    bool slashPending_ = false;
    bool starPending_ = false;
    char quote_ = 0;
    bool escape_ = false;
    bool overflow_ = false;
    int depth_ = 0;
    std::string prelude_;
    std::string block_;

    Index byId_;
    Index byClass_;
    Index byTag_;
    std::size_t count_ = 0;
    std::size_t bytes_ = 0; // of the selectors kept, never given back
};

} // namespace quillan::readable
