#include "text/readable/style_sheet.h"

#include "base/byte_scan.h"
#include "base/text.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace quillan::text::readable {
namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

enum class Verdict { None, Hides, Shows };

struct Declarations {
    Verdict display = Verdict::None;
    TextTransform transform = TextTransform::Inherit;
};

// The case a text-transform value asks for; Inherit for a value not known.
TextTransform transformOf(std::string_view value)
{
    // A value may pair the case with other keywords (full-width): the case
    // keyword decides.
    while (!value.empty()) {
        std::size_t n = 0;
        while (n < value.size() && !isSpace(value[n]))
            ++n;
        const std::string_view word = value.substr(0, n);
        value = trim(value.substr(n));
        if (base::EqualsNoCase(word, "uppercase"))
            return TextTransform::Uppercase;
        if (base::EqualsNoCase(word, "lowercase"))
            return TextTransform::Lowercase;
        if (base::EqualsNoCase(word, "capitalize"))
            return TextTransform::Capitalize;
        if (base::EqualsNoCase(word, "none") || base::EqualsNoCase(word, "initial"))
            return TextTransform::None;
    }
    return TextTransform::Inherit;
}

Declarations judge(std::string_view declarations)
{
    // One pass over the declarations, a colon and a semicolon at a time;
    // the last declaration of each property counts.
    std::string_view display, visibility, transform;
    bool anyTransform = false;
    const char *p = declarations.data();
    const char *const end = p + declarations.size();
    while (p < end) {
        // A piece without a colon before its semicolon names nothing.
        const char *colon = base::FindAnyOf(p, end, ':', ';');
        if (colon == end)
            break;
        if (*colon == ';') {
            p = colon + 1;
            continue;
        }
        const char *semicolon = base::FindAnyOf(colon + 1, end, ';', ';');
        const std::string_view name = trim(std::string_view(p, static_cast<std::size_t>(colon - p)));
        p = semicolon + (semicolon < end ? 1 : 0);
        if (name.size() != 7 && name.size() != 10 && name.size() != 14)
            continue;
        std::string_view value = trim(std::string_view(colon + 1, static_cast<std::size_t>(semicolon - colon - 1)));
        if (const std::size_t bang = value.find('!'); bang != std::string_view::npos)
            value = trim(value.substr(0, bang));
        if (base::EqualsNoCase(name, "display"))
            display = value;
        else if (base::EqualsNoCase(name, "visibility"))
            visibility = value;
        else if (base::EqualsNoCase(name, "text-transform")) {
            transform = value;
            anyTransform = true;
        }
    }
    Declarations result;
    if (base::EqualsNoCase(display, "none") || base::EqualsNoCase(visibility, "hidden") ||
        base::EqualsNoCase(visibility, "collapse"))
        result.display = Verdict::Hides;
    else if (!display.empty())
        result.display = Verdict::Shows;
    if (anyTransform)
        result.transform = transformOf(transform);
    return result;
}

// The characters that change the state of a rule's prelude.
constexpr auto kPreludeStops = [] {
    std::array<bool, 256> stops{};
    for (const unsigned char c : std::string_view("{}/;\"'[]()"))
        stops[c] = true;
    return stops;
}();

bool isNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

std::string_view takeName(std::string_view &s)
{
    std::size_t n = 0;
    while (n < s.size() && isNameChar(s[n]))
        ++n;
    const std::string_view name = s.substr(0, n);
    s.remove_prefix(n);
    return name;
}

// Up to this many class names are kept in the order given and compared one
// by one; more are sorted.
constexpr std::size_t kFewClasses = 8;

// The class names a class attribute lists, each once (sorted when there
// are more than a few).
void classNames(std::string_view classes, std::vector<std::string_view> &names)
{
    names.clear();
    std::size_t i = 0;
    while (i < classes.size()) {
        while (i < classes.size() && isSpace(classes[i]))
            ++i;
        std::size_t j = i;
        while (j < classes.size() && !isSpace(classes[j]))
            ++j;
        if (j > i) {
            const std::string_view name = classes.substr(i, j - i);
            if (names.size() >= kFewClasses || std::find(names.begin(), names.end(), name) == names.end())
                names.push_back(name);
        }
        i = j;
    }
    if (names.size() > kFewClasses) {
        std::sort(names.begin(), names.end());
        names.erase(std::unique(names.begin(), names.end()), names.end());
    }
}

} // namespace

ElementStyle InlineStyle(std::string_view styleAttribute)
{
    const Declarations d = judge(styleAttribute);
    return {d.display == Verdict::Hides, d.transform};
}

void StyleSheet::feed(std::string_view css)
{
    // Only the characters that change the state are looked at one by one.
    const char *p = css.data();
    const char *const end = p + css.size();
    while (p < end) {
        if (inComment_) {
            if (starPending_ && *p == '/') {
                inComment_ = starPending_ = false;
                ++p;
                continue;
            }
            const void *star = std::memchr(p, '*', static_cast<std::size_t>(end - p));
            if (!star)
                return;
            p = static_cast<const char *>(star) + 1;
            starPending_ = true;
            continue;
        }
        std::string &buffer = state_ == State::Block ? block_ : prelude_;
        const char c = *p;
        if (slashPending_) {
            slashPending_ = false;
            if (c == '*' && quote_ == 0) {
                if (!buffer.empty() && state_ != State::SkipBlock)
                    buffer.pop_back();
                inComment_ = true;
                starPending_ = false;
                ++p;
                continue;
            }
        }
        const bool inPrelude = state_ == State::Prelude;
        const bool bracket = c == '[' || c == ']' || c == '(' || c == ')';
        if (quote_ == 0 && c != '{' && c != '}' && c != '/' && c != ';' && c != '"' && c != '\'' &&
            !(inPrelude && bracket)) {
            // A run of characters that change no state, copied whole.
            const char *q = p + 1;
            if (inPrelude && brackets_ > 0) {
                // Inside brackets (rare): looked at byte by byte.
                while (q < end && !kPreludeStops[static_cast<unsigned char>(*q)])
                    ++q;
            } else {
                // (In a block a semicolon changes nothing: it is copied
                // with the run.)
                q = inPrelude ? base::FindAnyOf(p + 1, end, '{', '}', '/', ';', '"', '\'', '[', '(')
                              : base::FindAnyOf(p + 1, end, '{', '}', '/', '"', '\'');
            }
            append(buffer, std::string_view(p, static_cast<std::size_t>(q - p)));
            p = q;
            continue;
        }
        ++p;
        if (quote_ == 0 && inPrelude && (bracket || brackets_ > 0)) {
            // Inside [...] or (...) of a prelude, braces and semicolons are
            // part of it, as a CSS parser reads such blocks whole (a sheet
            // that starts with "<![CDATA[" is one rule up to its "]").
            if (c == '[' || c == '(')
                ++brackets_;
            else if ((c == ']' || c == ')') && brackets_ > 0)
                --brackets_;
            if (c != '"' && c != '\'' && c != '/') {
                append(buffer, std::string_view(&c, 1));
                continue;
            }
        }
        if (quote_ != 0) {
            if (escape_)
                escape_ = false;
            else if (c == '\\')
                escape_ = true;
            else if (c == quote_ || c == '\n')
                quote_ = 0;
        } else if (c == '"' || c == '\'') {
            quote_ = c;
        } else if (c == '/') {
            slashPending_ = true;
        } else if (c == '{') {
            if (state_ == State::Prelude) {
                const std::string_view prelude = trim(prelude_);
                if (!prelude.empty() && prelude.front() == '@') {
                    state_ = State::SkipBlock;
                    depth_ = 1;
                    prelude_.clear();
                } else {
                    state_ = State::Block;
                    depth_ = 0;
                }
                continue;
            }
            ++depth_;
            if (state_ == State::Block)
                overflow_ = true; // a nested rule: not a simple one
            continue;
        } else if (c == '}') {
            if (state_ == State::Prelude) {
                prelude_.clear();
                overflow_ = false;
            } else if (state_ == State::SkipBlock) {
                if (--depth_ == 0)
                    state_ = State::Prelude;
            } else if (depth_ > 0) {
                --depth_;
            } else {
                endRule();
                state_ = State::Prelude;
            }
            continue;
        } else if (c == ';' && state_ == State::Prelude) {
            // An at-rule statement (@import, @charset) or junk: dropped.
            prelude_.clear();
            overflow_ = false;
            continue;
        }
        append(buffer, std::string_view(&c, 1));
    }
}

void StyleSheet::append(std::string &buffer, std::string_view text)
{
    if (state_ == State::SkipBlock)
        return;
    if (buffer.size() + text.size() <= kMaxRuleBytes)
        buffer.append(text);
    else
        overflow_ = true;
}

void StyleSheet::endStyleElement()
{
    // A style element ends every rule and comment it opened.
    state_ = State::Prelude;
    inComment_ = slashPending_ = starPending_ = escape_ = overflow_ = false;
    quote_ = 0;
    depth_ = 0;
    brackets_ = 0;
    prelude_.clear();
    block_.clear();
}

void StyleSheet::endRule()
{
    if (!overflow_)
        applyRule(prelude_, block_);
    prelude_.clear();
    block_.clear();
    overflow_ = false;
}

void StyleSheet::applyRule(std::string_view selectors, std::string_view declarations)
{
    const Declarations d = judge(declarations);
    const bool setsTransform = d.transform != TextTransform::Inherit;
    if (!setsTransform && (d.display == Verdict::None || (d.display == Verdict::Shows && rules_.empty())))
        return;
    while (!selectors.empty()) {
        const std::size_t comma = selectors.find(',');
        std::string_view s = trim(selectors.substr(0, comma));
        selectors.remove_prefix(comma == std::string_view::npos ? selectors.size() : comma + 1);

        Compound compound;
        bool simple = !s.empty();
        if (simple && isNameChar(s.front())) {
            const std::string_view tag = takeName(s);
            compound.tag.reserve(tag.size());
            for (const char c : tag)
                compound.tag.push_back(base::AsciiLower(c));
        }
        while (simple && !s.empty()) {
            const char kind = s.front();
            s.remove_prefix(1);
            const std::string_view name = takeName(s);
            if (name.empty() || (kind != '#' && kind != '.') || (kind == '#' && !compound.id.empty()))
                simple = false;
            else if (kind == '#')
                compound.id = name;
            else
                compound.classes.emplace_back(name);
        }
        if (!simple)
            continue;
        std::sort(compound.classes.begin(), compound.classes.end());
        compound.classes.erase(std::unique(compound.classes.begin(), compound.classes.end()), compound.classes.end());
        // A rule that only shows needs no rule of its own.
        Rule *rule = ruleFor(std::move(compound), setsTransform || d.display == Verdict::Hides);
        if (!rule)
            continue;
        if (d.display != Verdict::None)
            rule->hides = d.display == Verdict::Hides;
        if (setsTransform) {
            rule->transform = d.transform;
            rule->transformOrder = ++order_;
            anyTransform_ = true;
        }
    }
}

StyleSheet::Rule *StyleSheet::ruleFor(Compound compound, bool create)
{
    std::string key = compound.tag;
    key += '#';
    key += compound.id;
    for (const std::string &name : compound.classes) {
        key += '.';
        key += name;
    }
    if (const auto it = bySelector_.find(key); it != bySelector_.end())
        return &rules_[it->second];
    if (!create || rules_.size() >= kMaxSelectors || bytes_ + key.size() > kMaxSelectorBytes)
        return nullptr;
    bytes_ += key.size();

    const auto index = static_cast<std::uint32_t>(rules_.size());
    if (!compound.id.empty()) {
        byId_[compound.id].push_back(index);
    } else if (!compound.classes.empty()) {
        // Filed under the class fewest rules have named so far (the last of
        // equals): a class every rule shares (.a.b1, .a.b2, ...) does not
        // gather them all.
        const std::string *rarest = nullptr;
        std::uint32_t fewest = 0;
        for (const std::string &name : compound.classes) {
            const auto it = classUses_.find(name);
            const std::uint32_t uses = it == classUses_.end() ? 0 : it->second;
            if (!rarest || uses <= fewest) {
                rarest = &name;
                fewest = uses;
            }
        }
        byClass_[*rarest].push_back(index);
    } else {
        byTag_[compound.tag].push_back(index);
    }
    for (const std::string &name : compound.classes)
        ++classUses_[name];

    Rule rule;
    rule.specificity = (compound.id.empty() ? 0u : 1u << 20) +
                       (static_cast<std::uint32_t>(std::min<std::size_t>(compound.classes.size(), 1023)) << 10) +
                       (compound.tag.empty() ? 0u : 1u);
    rule.selector = std::move(compound);
    rules_.push_back(std::move(rule));
    bySelector_.emplace(std::move(key), index);
    return &rules_.back();
}

bool StyleSheet::matches(const Rule &rule, std::string_view tag, std::string_view id) const
{
    ++tested_;
    const Compound &c = rule.selector;
    if (!c.tag.empty() && c.tag != tag)
        return false;
    if (!c.id.empty() && c.id != id)
        return false;
    const bool sorted = classes_.size() > kFewClasses;
    for (const std::string &name : c.classes) {
        const bool found = sorted
                               ? std::binary_search(classes_.begin(), classes_.end(), std::string_view(name))
                               : std::find(classes_.begin(), classes_.end(), std::string_view(name)) != classes_.end();
        if (!found)
            return false;
    }
    return true;
}

ElementStyle StyleSheet::match(std::string_view tag, std::string_view id, std::string_view classes) const
{
    ElementStyle style;
    if (rules_.empty())
        return style;
    classes_.clear();
    if (!classes.empty())
        classNames(classes, classes_);
    std::uint32_t bestSpecificity = 0, bestOrder = 0;
    // Each rule is filed once, so each is tested at most once here.
    auto test = [&](const Index &index, std::string_view key) {
        const auto it = index.find(key);
        if (it == index.end())
            return false;
        for (const std::uint32_t i : it->second) {
            const Rule &rule = rules_[i];
            if (!rule.hides && rule.transform == TextTransform::Inherit)
                continue;
            if ((style.hides || !rule.hides) && rule.transform == TextTransform::Inherit)
                continue; // could change nothing
            if (!matches(rule, tag, id))
                continue;
            style.hides = style.hides || rule.hides;
            if (rule.transform != TextTransform::Inherit &&
                (rule.specificity > bestSpecificity ||
                 (rule.specificity == bestSpecificity && rule.transformOrder > bestOrder))) {
                style.transform = rule.transform;
                bestSpecificity = rule.specificity;
                bestOrder = rule.transformOrder;
            }
            if (style.hides && !anyTransform_)
                return true; // nothing more to learn
        }
        return false;
    };
    if (!byTag_.empty() && test(byTag_, tag))
        return style;
    if (!id.empty() && !byId_.empty() && test(byId_, id))
        return style;
    if (!byClass_.empty())
        for (const std::string_view name : classes_)
            if (test(byClass_, name))
                return style;
    return style;
}

} // namespace quillan::text::readable
