// The HTML tokenizer: turns a page's text, UTF-8 given in chunks of any size,
// into the calls of a TokenSink, by the tokenization state machine of the HTML
// Standard.
//
// Contract:
// - feed() takes the next chunk. A chunk may end anywhere: inside a tag, a
//   character reference, a CR LF pair or a multi-byte character. The tokens
//   do not depend on where the chunks end. Nothing is kept of a chunk after
//   feed() returns except the bytes of an unfinished construct that needs to
//   see what follows (under a hundred: a character reference, a CR, a
//   character's first bytes); the text of a tag, comment or DOCTYPE being
//   read is kept in the tokenizer's own buffers, up to the bounds below.
// - finish() says the input has ended: the pending tokens are emitted and
//   then TokenSink::endOfFile(). feed() after finish() and finish() a second
//   time do nothing.
// - Line ends: CR LF and a lone CR reach the sink as LF, also when a chunk
//   ends between the CR and the LF.
// - The input is expected to be valid UTF-8 (the decoder's job). Other bytes
//   never cause a fault; they pass through as they are.
// - Character data reaches TokenSink::characters() as views into the chunk
//   where it can (plain text is never copied) and never split inside a code
//   point; so do the names and values of a tag that lies in one chunk.
//   Buffers are reused from token to token: once they have grown to the
//   largest tag, comment or DOCTYPE seen, reading allocates nothing (but for
//   the index of a tag with very many attributes).
// - Memory stays bounded whatever the input. Each text the tokenizer has to
//   collect is cut to its first kMaxTokenText bytes (never inside a
//   character): a tag name, an attribute's name, an attribute's value, a
//   comment (bogus ones too), a DOCTYPE name and its public and system
//   identifiers. The rest of it is read and dropped. A tag keeps attributes
//   while the names and values it has kept come to less than
//   kMaxTagAttributeText bytes and it has fewer than kMaxTagAttributes; an
//   attribute that starts after either bound is dropped, as a repeated name
//   is. Below the bounds the tokens are exactly the Standard's. The rule
//   holds whether a tag is read from one chunk or across many.
// - The sink may call setState(), setForeignContent() and the other setters
//   from inside its startTag() (or any other call); a state set there applies
//   from the first character after the tag. The tokenizer is not re-entrant:
//   a sink never calls feed() or finish().
// - Parse errors are not reported; the tokens are what the Standard makes of
//   the erroneous input.
#pragma once

#include "html/tokenizer/token_sink.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quillan::html {

class Tokenizer {
public:
    // The states a tree builder (or a test) switches the tokenizer to.
    enum class TextState : std::uint8_t { Data, Rcdata, Rawtext, ScriptData, Plaintext, CdataSection };

    static constexpr std::size_t kMaxTokenText = std::size_t{1} << 20;
    static constexpr std::size_t kMaxTagAttributeText = std::size_t{4} << 20;
    static constexpr std::size_t kMaxTagAttributes = 4096;

    explicit Tokenizer(TokenSink &sink);
    Tokenizer(const Tokenizer &) = delete;
    Tokenizer &operator=(const Tokenizer &) = delete;

    void feed(std::string_view chunk);
    void finish();

    // Where the next character is read: after <title> or <textarea> RCDATA,
    // after <style>, <xmp>, <iframe>, <noembed>, <noframes> RAWTEXT, after
    // <script> script data, after <plaintext> PLAINTEXT. CdataSection is for
    // tests that start inside a CDATA section.
    void setState(TextState state);
    // Whether the adjusted current node is in foreign content (SVG, MathML):
    // only then is "<![CDATA[" a CDATA section rather than a bogus comment.
    void setForeignContent(bool foreign) { foreign_ = foreign; }
    // The name of the last start tag, which decides whether an end tag ends
    // RCDATA, RAWTEXT or script data. Set by every start tag emitted; set it by
    // hand only to start in one of those states mid-document.
    void setLastStartTag(std::string_view name) { lastStartTag_.assign(name); }
    // Where the tokens go from the next one on (also when called from inside
    // a sink's call); `sink` must outlive its use.
    void setSink(TokenSink &sink) { sink_ = &sink; }

private:
    enum class State : std::uint8_t;
    struct AttributeRange {
        std::uint32_t nameStart = 0;
        std::uint32_t nameLength = 0;
        std::uint32_t valueStart = 0;
        std::uint32_t valueLength = 0;
    };

    const char *run(const char *p, const char *end, bool eof);
    // Reads a tag from just after its '<' as far as it has the common shape,
    // emitting it when it is complete; answers where it stopped, with the
    // state there in state_.
    const char *readTag(const char *p, const char *end);
    // Copies a tag read as views (its name and attributeViews_) to the
    // buffers, for the state machine to go on with.
    void copyTag(bool endTag, std::string_view name);
    const char *scanText(const char *p, const char *end, bool eof, char a, char b, char c, char d);

    void emitView(std::string_view text);
    void flushText();
    void emitEof();

    void beginTag(bool endTag);
    void beginAttribute();
    void endAttributeName();
    void closeAttribute();
    // Cuts each buffer being collected back to kMaxTokenText.
    void boundBuffers();
    void emitTag();
    void emitComment();
    void beginDoctype();
    void emitDoctype();

    bool returnsToAttribute() const;
    void appendReference(std::string_view text);
    void finishNumericReference();
    // Steps of the end tag name states of RCDATA, RAWTEXT and script data;
    // false when the character was not consumed.
    bool endTagNameStep(int c, State fallback);

    TokenSink *sink_;
    State state_;
    State returnState_;
    bool foreign_ = false;
    bool finished_ = false;

    std::string textBuffer_; // characters that are not a view of the input
    std::string carry_;      // bytes of an unfinished construct across feed() calls
    std::string carryWork_;

    std::string lastStartTag_;
    std::string temp_; // the Standard's temporary buffer (end tag names, <script> escapes)

    bool endTag_ = false;
    bool selfClosing_ = false;
    bool attributeOpen_ = false;
    bool attributeDuplicate_ = false;
    bool attributeDropped_ = false; // past the tag's bounds
    std::size_t fieldStart_ = 0;    // where the attribute name or value being read starts
    std::string tagName_;
    std::string attributeText_;
    std::vector<AttributeRange> attributeRanges_;
    std::vector<Attribute> attributeViews_;
    std::unordered_multimap<std::size_t, std::uint32_t> attributeIndex_; // name hash to range, for long tags

    std::string comment_;

    std::string doctypeName_;
    std::string publicId_;
    std::string systemId_;
    bool hasDoctypeName_ = false;
    bool hasPublicId_ = false;
    bool hasSystemId_ = false;
    bool forceQuirks_ = false;

    std::uint32_t referenceCode_ = 0;
};

} // namespace quillan::html
