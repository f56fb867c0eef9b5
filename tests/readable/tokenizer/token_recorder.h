// A token sink that writes down what it receives, one line per token, with
// adjacent character runs joined; and helpers that run a tokenizer over an
// input cut into chunks.
#pragma once

#include "tokenizer.h"

#include <gtest/gtest.h>

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
    bool ended = false;
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
        ended = true;
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

// Tokenizes input, cut into chunks of chunkSize bytes (0: one chunk), from
// the given state; answers the recorded tokens.
inline std::vector<std::string>
tokenize(std::string_view input, std::size_t chunkSize,
         quillan::html::Tokenizer::TextState state = quillan::html::Tokenizer::TextState::Data,
         std::string_view lastStartTag = {}, bool infoset = false)
{
    Recorder recorder;
    recorder.infoset = infoset;
    quillan::html::Tokenizer tokenizer(recorder);
    tokenizer.setState(state);
    if (!lastStartTag.empty())
        tokenizer.setLastStartTag(lastStartTag);
    if (chunkSize == 0) {
        tokenizer.feed(input);
    } else {
        for (std::size_t i = 0; i < input.size(); i += chunkSize)
            tokenizer.feed(input.substr(i, chunkSize));
    }
    tokenizer.finish();
    EXPECT_TRUE(recorder.ended) << "no end of file for " << shown(input);
    EXPECT_EQ(recorder.badRuns, 0) << "empty or cut character runs for " << shown(input);
    return recorder.tokens;
}

} // namespace tokentest
