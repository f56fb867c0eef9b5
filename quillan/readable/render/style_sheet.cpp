#include "render/style_sheet.h"

#include "common/text.h"
#include "common/byte_scan.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

namespace quillan::readable {
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

// The value of `declaration`'s property when its name is `property`.
std::optional<std::string_view> valueIf(std::string_view declaration, std::string_view property)
{
    const std::size_t colon = declaration.find(':');
    if (colon == std::string_view::npos || !platform::EqualsNoCase(trim(declaration.substr(0, colon)), property))
        return std::nullopt;
    std::string_view value = trim(declaration.substr(colon + 1));
    if (const std::size_t bang = value.find('!'); bang != std::string_view::npos)
        value = trim(value.substr(0, bang));
    return value;
}

// The value of the last declaration of `property` (lower case) in a
// declaration list, trimmed, without "!important"; empty when there is none.
std::string_view lastValueOf(std::string_view declarations, std::string_view property)
{
    std::string_view found;
    const bool upperCase =
        std::any_of(declarations.begin(), declarations.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
    if (upperCase) {
        // Rare: every declaration is looked at.
        while (!declarations.empty()) {
            const std::size_t semicolon = declarations.find(';');
            if (const auto value = valueIf(declarations.substr(0, semicolon), property))
                found = *value;
            declarations.remove_prefix(semicolon == std::string_view::npos ? declarations.size() : semicolon + 1);
        }
        return found;
    }
    // Usual: only where the name occurs.
    for (std::size_t at = declarations.find(property); at != std::string_view::npos;
         at = declarations.find(property, at + property.size())) {
        const std::size_t start = declarations.rfind(';', at);
        const std::size_t from = start == std::string_view::npos ? 0 : start + 1;
        const std::size_t semicolon = declarations.find(';', at);
        if (const auto value = valueIf(declarations.substr(from, semicolon - from), property))
            found = *value;
    }
    return found;
}

enum class Verdict { None, Hides, Shows };

Verdict judge(std::string_view declarations)
{
    // Most declaration lists name neither property; lower case is the rule
    // and the case-blind look below is only for lists that might.
    if (declarations.find("isplay") == std::string_view::npos &&
        declarations.find("ISPLAY") == std::string_view::npos &&
        declarations.find("isibility") == std::string_view::npos &&
        declarations.find("ISIBILITY") == std::string_view::npos)
        return Verdict::None;
    const std::string_view display = lastValueOf(declarations, "display");
    const std::string_view visibility = lastValueOf(declarations, "visibility");
    if (platform::EqualsNoCase(display, "none") || platform::EqualsNoCase(visibility, "hidden") ||
        platform::EqualsNoCase(visibility, "collapse"))
        return Verdict::Hides;
    if (!display.empty())
        return Verdict::Shows;
    return Verdict::None;
}

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

// Whether test() holds for one of the names `classes` (an element's class
// attribute) lists.
template <class Test>
bool anyClass(std::string_view classes, Test test)
{
    std::size_t i = 0;
    while (i < classes.size()) {
        while (i < classes.size() && isSpace(classes[i]))
            ++i;
        std::size_t j = i;
        while (j < classes.size() && !isSpace(classes[j]))
            ++j;
        if (j > i && test(classes.substr(i, j - i)))
            return true;
        i = j;
    }
    return false;
}

// Whether `classes` (an element's class attribute) lists `name`.
bool hasClass(std::string_view classes, std::string_view name)
{
    return anyClass(classes, [name](std::string_view c) { return c == name; });
}

} // namespace

bool InlineStyleHides(std::string_view styleAttribute)
{
    return judge(styleAttribute) == Verdict::Hides;
}

void HidingStyleSheet::feed(std::string_view css)
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
        if (quote_ == 0 && c != '{' && c != '}' && c != '/' && c != ';' && c != '"' && c != '\'') {
            // A run of characters that change no state, copied whole.
            const char *q = platform::FindAny(p + 1, end, '{', '}', '/', ';');
            q = platform::FindAny(p + 1, q, '"', '\'', '"', '\'');
            append(buffer, std::string_view(p, static_cast<std::size_t>(q - p)));
            p = q;
            continue;
        }
        ++p;
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

void HidingStyleSheet::append(std::string &buffer, std::string_view text)
{
    if (state_ == State::SkipBlock)
        return;
    if (buffer.size() + text.size() <= kMaxRuleBytes)
        buffer.append(text);
    else
        overflow_ = true;
}

void HidingStyleSheet::endStyleElement()
{
    // A style element ends every rule and comment it opened.
    state_ = State::Prelude;
    inComment_ = slashPending_ = starPending_ = escape_ = overflow_ = false;
    quote_ = 0;
    depth_ = 0;
    prelude_.clear();
    block_.clear();
}

void HidingStyleSheet::endRule()
{
    if (!overflow_)
        applyRule(prelude_, block_);
    prelude_.clear();
    block_.clear();
    overflow_ = false;
}

void HidingStyleSheet::applyRule(std::string_view selectors, std::string_view declarations)
{
    const Verdict verdict = judge(declarations);
    if (verdict == Verdict::None || (verdict == Verdict::Shows && count_ == 0))
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
                compound.tag.push_back(platform::AsciiLower(c));
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
        if (verdict == Verdict::Hides)
            add(std::move(compound));
        else
            remove(compound);
    }
}

HidingStyleSheet::Index &HidingStyleSheet::indexFor(const Compound &c, std::string *key)
{
    if (!c.id.empty()) {
        *key = c.id;
        return byId_;
    }
    if (!c.classes.empty()) {
        *key = c.classes.front();
        return byClass_;
    }
    *key = c.tag;
    return byTag_;
}

void HidingStyleSheet::add(Compound compound)
{
    std::size_t size = compound.tag.size() + compound.id.size();
    for (const std::string &name : compound.classes)
        size += name.size();
    if (count_ >= kMaxSelectors || bytes_ + size > kMaxSelectorBytes)
        return;
    std::string key;
    std::vector<Compound> &bucket = indexFor(compound, &key)[key];
    if (std::find(bucket.begin(), bucket.end(), compound) != bucket.end())
        return;
    bucket.push_back(std::move(compound));
    ++count_;
    bytes_ += size;
}

void HidingStyleSheet::remove(const Compound &compound)
{
    std::string key;
    Index &index = indexFor(compound, &key);
    const auto it = index.find(key);
    if (it == index.end())
        return;
    const auto found = std::find(it->second.begin(), it->second.end(), compound);
    if (found == it->second.end())
        return;
    it->second.erase(found);
    --count_;
}

bool HidingStyleSheet::matches(const Compound &c, std::string_view tag, std::string_view id, std::string_view classes)
{
    if (!c.tag.empty() && c.tag != tag)
        return false;
    if (!c.id.empty() && c.id != id)
        return false;
    for (const std::string &name : c.classes)
        if (!hasClass(classes, name))
            return false;
    return true;
}

bool HidingStyleSheet::hides(std::string_view tag, std::string_view id, std::string_view classes) const
{
    if (count_ == 0)
        return false;
    auto anyIn = [&](const Index &index, std::string_view key) {
        const auto it = index.find(key);
        if (it == index.end())
            return false;
        for (const Compound &c : it->second)
            if (matches(c, tag, id, classes))
                return true;
        return false;
    };
    if (!byTag_.empty() && anyIn(byTag_, tag))
        return true;
    if (!id.empty() && !byId_.empty() && anyIn(byId_, id))
        return true;
    return !byClass_.empty() && anyClass(classes, [&](std::string_view c) { return anyIn(byClass_, c); });
}

} // namespace quillan::readable
