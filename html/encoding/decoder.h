#pragma once
// The readable mode's first stage: a page's bytes, in chunks of any size, to
// UTF-8, in one pass and in constant memory.
//
// Which encoding, in this order:
//   1. A byte-order mark (EF BB BF, FE FF, FF FE): UTF-8, UTF-16BE or
//      UTF-16LE. The mark itself is dropped.
//   2. The HTTP charset the page came with, when the caller passes one and it
//      is a known label.
//   3. The <meta> prescan (prescanMeta) of the first kPrescanLength bytes.
//   4. A <meta> declaration further on, found before any byte above 0x7F has
//      been decoded: the prescan once more, over the first kLateMetaLength
//      bytes once they are in, or over the bytes that came before step 5
//      decides, whichever comes first. Only encodings that read ASCII as
//      ASCII are taken (UTF-8, the single-byte ones, the multi-byte ones but
//      ISO-2022-JP), so the ASCII passed on already means the same in them.
//      It stands in for a browser's change of encoding when its parser meets
//      a declaration late.
//   5. UTF-8 when the page looks like valid UTF-8, else windows-1252. The rule:
//      ASCII reads the same in both, so the bytes up to the first byte above
//      0x7F pass through at once; from that byte on, a window of
//      kDetectWindow bytes (or the rest of the page when shorter) is held
//      back and checked. When the window is valid UTF-8 the page is UTF-8
//      (a sequence cut by the window's end counts as valid; one cut by the
//      page's end does not); otherwise it is windows-1252. Invalid UTF-8
//      later in a page chosen as UTF-8 becomes U+FFFD. A page with no byte
//      above 0x7F is UTF-8.
//
// The output is UTF-8. Bytes the chosen encoding does not define become
// U+FFFD: for UTF-8 one per maximal subpart of an invalid sequence, as the
// Encoding Standard says; for the others one per byte the system's iconv
// rejects (two bytes for UTF-16, a code unit), and one for a sequence cut
// short by the end of the page. The "replacement" encoding gives one U+FFFD
// for a page of any non-zero length. Line ends are not touched.
//
// Legacy encodings go through glibc's iconv under the name that matches the
// WHATWG decoder (Shift_JIS as CP932, EUC-KR as CP949, Big5 as BIG5-HKSCS,
// GBK and gb18030 as GB18030, ISO-2022-JP as ISO-2022-JP-3, KOI8-U as
// KOI8-RU, x-mac-cyrillic as MAC-UK, ...); ASCII between the characters of
// the multi-byte ones but ISO-2022-JP is copied without iconv. Single-byte
// encodings are decoded through a 256-entry table filled from iconv when
// the encoding is chosen; bytes 0x80-0x9F that iconv leaves undefined in
// the windows-* encodings are the C1 controls of the same number, and the
// three bytes where glibc's table is older than the WHATWG one (macintosh
// 0xF0, windows-1255 0xCA, x-mac-cyrillic 0xFF) are set as the WHATWG table
// says; so is a lone 0x80 in gb18030 and GBK (the euro sign) and in
// Shift_JIS (U+0080), which glibc rejects. x-user-defined needs no table
// from iconv.
//
// Memory: at most kPrescanLength bytes (steps 1-3) or kDetectWindow bytes
// (step 5) are held back, and a copy of at most kLateMetaLength bytes is kept
// for step 4, whatever the chunks; output is appended as soon as it is known,
// and the result is the same however the page is cut into chunks.

#include "html/encoding/encoding.h"

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quillan::html {

// Bytes held back to decide between UTF-8 and windows-1252.
inline constexpr std::size_t kDetectWindow = 4096;

// How far into an all-ASCII start of a page a <meta> declaration still counts.
inline constexpr std::size_t kLateMetaLength = 64 * 1024;

struct EncodingChoice {
    enum class Source {
        Undecided, // not enough bytes seen yet
        Bom,
        Http,
        Meta,
        LateMeta,  // a <meta> past the first kPrescanLength bytes, after ASCII only
        Utf8Valid, // no declaration; the bytes looked like UTF-8
        Default,   // no declaration; the bytes were not UTF-8: windows-1252
    };
    std::string_view name; // the WHATWG name; empty while undecided
    Source source = Source::Undecided;
};

class Decoder {
public:
    // `httpCharset`: the charset parameter of the page's HTTP Content-Type,
    // or empty for a page that did not come by HTTP or came without one. One
    // pair of surrounding quotes is dropped; an unknown label is ignored.
    // (encodingFromContentType() finds it in a whole Content-Type value.)
    explicit Decoder(std::string_view httpCharset = {});
    ~Decoder();
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;
    Decoder(Decoder &&) noexcept;
    Decoder &operator=(Decoder &&) noexcept;

    // Appends the UTF-8 of `bytes` to `out` (nothing in `out` is cleared).
    // What cannot be decoded yet (the start of the page while the encoding is
    // being decided, a sequence the chunk cuts short) is kept for the next
    // call. Bytes given after finish() are ignored.
    void decode(std::string_view bytes, std::string &out);

    // The page has ended: appends whatever was held back, decided now.
    // Call it once, after the last decode().
    void finish(std::string &out);

    // The encoding chosen and why. Undecided until enough bytes were seen;
    // always decided after finish().
    const EncodingChoice &choice() const noexcept { return choice_; }

private:
    enum class Phase { Sniffing, Detecting, Decoding, Finished };
    struct Converter; // the iconv side: handle and carried bytes

    bool sniff(bool atEnd);
    void decide(EncodingInfo info, EncodingChoice::Source source);
    void decideFromWindow(bool atEnd);
    bool scanLate();
    void keepForLateScan(std::string_view bytes);
    void route(std::string_view bytes, std::string &out);
    void decodeChosen(std::string_view bytes, std::string &out);
    void decodeUtf8(std::string_view bytes, std::string &out);
    void decodeTable(std::string_view bytes, std::string &out);
    void flush(std::string &out);

    struct TableEntry {
        char bytes[3];
        unsigned char length;
    };

    std::optional<EncodingInfo> http_;
    Phase phase_ = Phase::Sniffing;
    EncodingChoice choice_;
    EncodingFamily family_ = EncodingFamily::Utf8;
    std::string head_;    // the start of the page while sniffing
    std::string window_;  // the bytes checked for UTF-8 while detecting
    std::string pending_; // a UTF-8 sequence cut short by the last chunk
    std::string late_;    // the start of the page for the late <meta> scan
    bool lateScan_ = true;
    std::array<TableEntry, 256> table_{};
    std::unique_ptr<Converter> converter_;
    bool replaced_ = false; // the "replacement" encoding gave its U+FFFD
};

// The whole of `bytes` decoded at once, by a Decoder.
std::string decodeToUtf8(std::string_view bytes, std::string_view httpCharset = {}, EncodingChoice *choice = nullptr);

} // namespace quillan::html
