// A token sink that writes down what it receives, one line per token, with
// adjacent character runs joined; and helpers that run a tokenizer over an
// input cut into chunks.
#pragma once

#include "html/tokenizer/tokenizer.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tokentest {

inline std::string shown(std::string_view s)
{
    std::string out = "\"";
    for (const char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (b < 0x20 || b == 0x7F) {
            static const char digits[] = "0123456789ABCDEF";
            out += "\\x";
            out.push_back(digits[b >> 4]);
            out.push_back(digits[b & 15]);
        } else {
            out.push_back(c);
        }
    }
    return out + "\"";
}

// Whether s starts and ends on whole UTF-8 characters.
inline bool wholeCharacters(std::string_view s)
{
    if (s.empty())
        return true;
    if ((static_cast<unsigned char>(s.front()) & 0xC0) == 0x80)
        return false;
    std::size_t i = s.size();
    for (int back = 0; back < 4 && i > 0; ++back) {
        const auto b = static_cast<unsigned char>(s[--i]);
        if (b < 0x80)
            return true;
        if (b >= 0xC0) {
            const std::size_t need = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
            return s.size() - i == need;
        }
    }
    return true;
}

// Text as an XML infoset can hold it: form feeds become spaces and code
// points XML does not allow become U+FFFD (the html5lib suite's
// xmlViolation cases expect this of a tree coerced into an infoset).
inline std::string infosetText(std::string_view s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t n = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
        n = std::min(n, s.size() - i);
        std::uint32_t cp = n == 1 ? b : b & (0x7F >> n);
        for (std::size_t k = 1; k < n; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        if (cp == 0x0C)
            out.push_back(' ');
        else if ((cp < 0x20 && cp != 0x09 && cp != 0x0A && cp != 0x0D) || (cp >= 0xD800 && cp <= 0xDFFF) ||
                 cp == 0xFFFE || cp == 0xFFFF)
            out += "\xEF\xBF\xBD";
        else
            out.append(s.substr(i, n));
        i += n;
    }
    return out;
}

// A comment as an infoset can hold it: no "--" inside, no '-' at the end.
inline std::string infosetComment(std::string_view s)
{
    std::string out;
    for (const char c : s) {
        if (c == '-' && !out.empty() && out.back() == '-')
            out.push_back(' ');
        out.push_back(c);
    }
    if (!out.empty() && out.back() == '-')
        out.push_back(' ');
    return infosetText(out);
}

class Recorder : public quillan::html::TokenSink {
public:
    std::vector<std::string> tokens;
    int endOfFileCalls = 0;
    bool infoset = false; // write the tokens as coerced into an XML infoset
    int badRuns = 0;      // character calls that were empty or cut a character

    void characters(std::string_view utf8) override
    {
        if (utf8.empty() || !wholeCharacters(utf8))
            ++badRuns;
        if (pendingText_)
            text_.append(utf8);
        else
            text_.assign(utf8);
        pendingText_ = true;
    }
    void startTag(const quillan::html::Tag &tag) override
    {
        flush();
        std::string line = "StartTag " + shown(tag.name) + " {";
        for (const auto &a : tag.attributes)
            line += shown(a.name) + ":" + shown(infoset ? infosetText(a.value) : std::string(a.value)) + ",";
        line += "}";
        if (tag.selfClosing)
            line += " selfclosing";
        tokens.push_back(line);
    }
    void endTag(const quillan::html::Tag &tag) override
    {
        flush();
        tokens.push_back("EndTag " + shown(tag.name));
    }
    void comment(std::string_view data) override
    {
        flush();
        tokens.push_back("Comment " + shown(infoset ? infosetComment(data) : std::string(data)));
    }
    void doctype(const quillan::html::Doctype &d) override
    {
        flush();
        tokens.push_back("DOCTYPE " + (d.hasName ? shown(d.name) : "null") + " " +
                         (d.hasPublicId ? shown(d.publicId) : "null") + " " +
                         (d.hasSystemId ? shown(d.systemId) : "null") + (d.forceQuirks ? " quirks" : " ok"));
    }
    void endOfFile() override
    {
        flush();
        ++endOfFileCalls;
    }

private:
    void flush()
    {
        if (pendingText_)
            tokens.push_back("Character " + shown(infoset ? infosetText(text_) : text_));
        pendingText_ = false;
    }
    std::string text_;
    bool pendingText_ = false;
};

// What a tree builder does to the tokenizer, reduced to what matters here:
// the elements whose text the tokenizer reads in another state, and SVG and
// MathML as foreign content.
class SwitchingRecorder : public Recorder {
public:
    quillan::html::Tokenizer *tokenizer = nullptr; // none: switch nothing

    void startTag(const quillan::html::Tag &tag) override
    {
        Recorder::startTag(tag);
        if (tokenizer == nullptr)
            return;
        using S = quillan::html::Tokenizer::TextState;
        const std::string_view n = tag.name;
        if (n == "title" || n == "textarea")
            tokenizer->setState(S::Rcdata);
        else if (n == "style" || n == "xmp" || n == "iframe" || n == "noembed" || n == "noframes")
            tokenizer->setState(S::Rawtext);
        else if (n == "script")
            tokenizer->setState(S::ScriptData);
        else if (n == "plaintext")
            tokenizer->setState(S::Plaintext);
        else if ((n == "svg" || n == "math") && !tag.selfClosing)
            tokenizer->setForeignContent(true);
    }
    void endTag(const quillan::html::Tag &tag) override
    {
        Recorder::endTag(tag);
        if (tokenizer != nullptr && (tag.name == "svg" || tag.name == "math"))
            tokenizer->setForeignContent(false);
    }
};

struct Options {
    quillan::html::Tokenizer::TextState state = quillan::html::Tokenizer::TextState::Data;
    std::string_view lastStartTag;
    bool infoset = false;
    bool treeBuilder = false; // switch states as a tree builder would
};

struct Result {
    std::vector<std::string> tokens;
    int endOfFileCalls = 0;
    int badRuns = 0;
};

// Tokenizes input cut at the given chunk sizes, used in turn and repeated
// ({} or {0}: one chunk).
inline Result tokenizeChunks(std::string_view input, const std::vector<std::size_t> &sizes, const Options &options = {})
{
    SwitchingRecorder recorder;
    quillan::html::Tokenizer tokenizer(recorder);
    if (options.treeBuilder)
        recorder.tokenizer = &tokenizer;
    recorder.infoset = options.infoset;
    tokenizer.setState(options.state);
    if (!options.lastStartTag.empty())
        tokenizer.setLastStartTag(options.lastStartTag);
    std::size_t turn = 0;
    for (std::size_t at = 0; at < input.size();) {
        std::size_t n = sizes.empty() ? 0 : sizes[turn++ % sizes.size()];
        if (n == 0)
            n = input.size();
        tokenizer.feed(input.substr(at, n));
        at += n;
    }
    tokenizer.finish();
    return {recorder.tokens, recorder.endOfFileCalls, recorder.badRuns};
}

} // namespace tokentest
