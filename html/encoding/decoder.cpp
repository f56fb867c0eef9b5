#include "html/encoding/decoder.h"

#include "html/encoding/utf8.h"

#include "base/utf8.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace quillan::html {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";

// glibc's name for the converter that decodes as the WHATWG decoder does.
struct IconvName {
    std::string_view whatwg;
    const char *iconv;
};
constexpr IconvName kIconvNames[] = {
    {"IBM866", "IBM866"},
    {"ISO-8859-2", "ISO-8859-2"},
    {"ISO-8859-3", "ISO-8859-3"},
    {"ISO-8859-4", "ISO-8859-4"},
    {"ISO-8859-5", "ISO-8859-5"},
    {"ISO-8859-6", "ISO-8859-6"},
    {"ISO-8859-7", "ISO-8859-7"},
    {"ISO-8859-8", "ISO-8859-8"},
    {"ISO-8859-8-I", "ISO-8859-8"}, // the same bytes; only the text direction differs
    {"ISO-8859-10", "ISO-8859-10"},
    {"ISO-8859-13", "ISO-8859-13"},
    {"ISO-8859-14", "ISO-8859-14"},
    {"ISO-8859-15", "ISO-8859-15"},
    {"ISO-8859-16", "ISO-8859-16"},
    {"KOI8-R", "KOI8-R"},
    {"KOI8-U", "KOI8-RU"}, // the WHATWG table has the Belarusian letters at 0xAE and 0xBE
    {"macintosh", "MACINTOSH"},
    {"windows-874", "WINDOWS-874"},
    {"windows-1250", "WINDOWS-1250"},
    {"windows-1251", "WINDOWS-1251"},
    {"windows-1252", "WINDOWS-1252"},
    {"windows-1253", "WINDOWS-1253"},
    {"windows-1254", "WINDOWS-1254"},
    {"windows-1255", "WINDOWS-1255"},
    {"windows-1256", "WINDOWS-1256"},
    {"windows-1257", "WINDOWS-1257"},
    {"windows-1258", "WINDOWS-1258"},
    {"x-mac-cyrillic", "MAC-UK"}, // the Ukrainian variant: Ґ and ґ at 0xA2 and 0xB6
    {"GBK", "GB18030"},           // GBK decodes as gb18030
    {"gb18030", "GB18030"},
    {"Big5", "BIG5-HKSCS"},
    {"EUC-JP", "EUC-JP"},
    {"ISO-2022-JP", "ISO-2022-JP-3"}, // also knows ESC ( I, the half-width katakana
    {"Shift_JIS", "CP932"},
    {"EUC-KR", "CP949"},
    {"UTF-16BE", "UTF-16BE"},
    {"UTF-16LE", "UTF-16LE"},
};

// Single bytes where glibc's table and the WHATWG table disagree.
struct ByteOverride {
    std::string_view whatwg;
    unsigned char byte;
    char32_t codePoint;
};
constexpr ByteOverride kByteOverrides[] = {
    {"macintosh", 0xF0, 0xF8FF},      // the Apple logo
    {"windows-1255", 0xCA, 0x05BA},   // HEBREW POINT HOLAM HASER FOR VAV
    {"x-mac-cyrillic", 0xFF, 0x20AC}, // the euro sign took the currency sign's place
};

const char *iconvNameFor(std::string_view whatwg)
{
    for (const IconvName &n : kIconvNames)
        if (n.whatwg == whatwg)
            return n.iconv;
    return nullptr;
}

std::string_view unquote(std::string_view s)
{
    if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front())
        return s.substr(1, s.size() - 2);
    return s;
}

// The longest run of bytes a legacy converter may need to see at once (an
// ISO-2022-JP escape, a four-byte gb18030 sequence).
constexpr std::size_t kMaxCarry = 8;

} // namespace

// An iconv conversion to UTF-8 and the bytes of a sequence that the last chunk
// cut short.
struct Decoder::Converter {
    iconv_t cd = reinterpret_cast<iconv_t>(-1);
    std::size_t unit = 1; // bytes skipped for a sequence iconv rejects
    // What a lone 0x80 means where glibc rejects it: gb18030 reads it as the
    // euro sign, Shift_JIS as U+0080.
    std::string_view at0x80 = utf8::kReplacement;
    std::string carry;

    explicit Converter(const char *name) : cd(name ? iconv_open("UTF-8", name) : reinterpret_cast<iconv_t>(-1)) {}
    ~Converter()
    {
        if (ok())
            iconv_close(cd);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;
    bool ok() const { return cd != reinterpret_cast<iconv_t>(-1); }

    // Converts the bytes it can of [p, p + n), replacing rejected ones. A
    // sequence that the end of the bytes cuts short is left unused, unless
    // `whole` says the next byte starts a new character: then its lead byte
    // is rejected too. Returns the number of bytes used.
    std::size_t convert(const char *p, std::size_t n, std::string &out, bool whole = false)
    {
        char buffer[8192];
        char *in = const_cast<char *>(p);
        std::size_t inLeft = n;
        while (inLeft > 0) {
            char *o = buffer;
            std::size_t oLeft = sizeof buffer;
            const std::size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
            const int error = errno;
            out.append(buffer, static_cast<std::size_t>(o - buffer));
            if (r != static_cast<std::size_t>(-1))
                break;
            if (error == E2BIG)
                continue;
            if (error == EINVAL && inLeft <= kMaxCarry && !whole)
                break;
            // EILSEQ (or anything else): one U+FFFD for the rejected unit.
            out.append(static_cast<unsigned char>(*in) == 0x80 ? at0x80 : utf8::kReplacement);
            const std::size_t skip = std::min(unit, inLeft);
            in += skip;
            inLeft -= skip;
        }
        return n - inLeft;
    }

    // Completes the sequence carried from the last chunk with the first
    // bytes of `bytes`; returns what is left of `bytes`. With asciiEndsRuns
    // (the multi-byte encodings), an ASCII byte after an ASCII byte starts a
    // character, so a sequence still unfinished there is rejected as it
    // would be in one piece.
    std::string_view drainCarry(std::string_view bytes, std::string &out, bool asciiEndsRuns = false)
    {
        while (!carry.empty() && !bytes.empty()) {
            const bool afterAscii = static_cast<unsigned char>(carry.back()) < 0x80;
            carry.push_back(bytes.front());
            bytes.remove_prefix(1);
            const bool whole = asciiEndsRuns && afterAscii && static_cast<unsigned char>(carry.back()) < 0x80;
            carry.erase(0, convert(carry.data(), carry.size(), out, whole));
        }
        return bytes;
    }

    // The end of the page: a carried sequence is cut short for good.
    void finish(std::string &out)
    {
        if (!carry.empty()) {
            out.append(utf8::kReplacement);
            carry.clear();
        }
        char buffer[64];
        char *o = buffer;
        std::size_t oLeft = sizeof buffer;
        iconv(cd, nullptr, nullptr, &o, &oLeft);
        out.append(buffer, static_cast<std::size_t>(o - buffer));
    }
};

Decoder::Decoder(std::string_view httpCharset)
{
    if (!httpCharset.empty())
        http_ = encodingInfoForLabel(unquote(httpCharset));
}

Decoder::~Decoder() = default;
Decoder::Decoder(Decoder &&) noexcept = default;
Decoder &Decoder::operator=(Decoder &&) noexcept = default;

// Decides from the start of the page, when it can: true once decided (or
// handed to detection). `atEnd`: no more bytes will come.
bool Decoder::sniff(bool atEnd)
{
    const std::string_view head = head_;
    // A byte-order mark, or what may still become one.
    for (std::string_view bom : {kUtf8Bom, kUtf16BeBom, kUtf16LeBom}) {
        if (head.starts_with(bom)) {
            const std::string_view name = bom == kUtf8Bom ? "UTF-8" : bom == kUtf16BeBom ? "UTF-16BE" : "UTF-16LE";
            decide(*encodingInfoForLabel(name), EncodingChoice::Source::Bom);
            head_.erase(0, bom.size());
            return true;
        }
        if (!atEnd && head.size() < bom.size() && bom.starts_with(head))
            return false;
    }
    if (http_) {
        decide(*http_, EncodingChoice::Source::Http);
        return true;
    }
    if (auto meta = prescanMeta(head.substr(0, kPrescanLength))) {
        decide(*encodingInfoForLabel(*meta), EncodingChoice::Source::Meta);
        return true;
    }
    if (!atEnd && head.size() < kPrescanLength)
        return false;
    phase_ = Phase::Detecting;
    return true;
}

void Decoder::decide(EncodingInfo info, EncodingChoice::Source source)
{
    choice_ = {info.name, source};
    family_ = info.family;
    phase_ = Phase::Decoding;
    switch (family_) {
    case EncodingFamily::Utf8:
    case EncodingFamily::Replacement: break;
    case EncodingFamily::UserDefined:
        for (unsigned b = 0; b < 256; ++b) {
            const char32_t cp = b < 0x80 ? b : 0xF780 + (b - 0x80);
            table_[b].length = static_cast<unsigned char>(base::EncodeUtf8(cp, table_[b].bytes));
        }
        break;
    case EncodingFamily::SingleByte: {
        Converter conv(iconvNameFor(info.name));
        const bool windows = info.name.starts_with("windows-");
        for (unsigned b = 0; b < 256; ++b) {
            TableEntry &e = table_[b];
            if (b < 0x80) {
                e.length = static_cast<unsigned char>(base::EncodeUtf8(b, e.bytes));
                continue;
            }
            // One byte through iconv, then its state flushed (windows-1255 and
            // windows-1258 hold a letter back for a following accent).
            std::string one;
            const char in = static_cast<char>(b);
            std::size_t used = 0;
            if (conv.ok()) {
                used = conv.convert(&in, 1, one);
                conv.finish(one);
                iconv(conv.cd, nullptr, nullptr, nullptr, nullptr);
            }
            if (used == 1 && one.size() <= 3 && one != utf8::kReplacement) {
                std::memcpy(e.bytes, one.data(), one.size());
                e.length = static_cast<unsigned char>(one.size());
            } else if (windows && b <= 0x9F) {
                e.length = static_cast<unsigned char>(base::EncodeUtf8(b, e.bytes));
            } else {
                e.length = static_cast<unsigned char>(base::EncodeUtf8(0xFFFD, e.bytes));
            }
        }
        for (const ByteOverride &o : kByteOverrides)
            if (o.whatwg == info.name)
                table_[o.byte].length = static_cast<unsigned char>(base::EncodeUtf8(o.codePoint, table_[o.byte].bytes));
        break;
    }
    case EncodingFamily::MultiByte:
    case EncodingFamily::Iso2022Jp:
    case EncodingFamily::Utf16Be:
    case EncodingFamily::Utf16Le:
        converter_ = std::make_unique<Converter>(iconvNameFor(info.name));
        if (!converter_->ok()) {
            // The system lacks the converter: say so in the text rather than
            // pass bytes that are not UTF-8.
            converter_.reset();
            family_ = EncodingFamily::Replacement;
            break;
        }
        if (family_ == EncodingFamily::Utf16Be || family_ == EncodingFamily::Utf16Le)
            converter_->unit = 2;
        if (info.name == "GBK" || info.name == "gb18030")
            converter_->at0x80 = "\xE2\x82\xAC";
        if (info.name == "Shift_JIS")
            converter_->at0x80 = "\xC2\x80";
        break;
    }
}

void Decoder::decideFromWindow(bool atEnd)
{
    const std::size_t valid = utf8::validPrefix(window_);
    bool isUtf8 = valid == window_.size();
    if (!isUtf8 && !atEnd) {
        const utf8::Fault fault = utf8::faultAt(std::string_view(window_).substr(valid));
        isUtf8 = fault.truncated;
    }
    if (isUtf8)
        decide(*encodingInfoForLabel("UTF-8"), EncodingChoice::Source::Utf8Valid);
    else
        decide(*encodingInfoForLabel("windows-1252"), EncodingChoice::Source::Default);
}

void Decoder::decode(std::string_view bytes, std::string &out)
{
    if (phase_ == Phase::Finished)
        return;
    if (phase_ == Phase::Sniffing) {
        const std::size_t take = std::min(bytes.size(), kPrescanLength - std::min(kPrescanLength, head_.size()));
        head_.append(bytes.substr(0, take));
        bytes.remove_prefix(take);
        if (!sniff(false))
            return;
        std::string head;
        head.swap(head_);
        route(head, out);
    }
    route(bytes, out);
}

// Bytes after the sniffing: held for detection, or decoded.
void Decoder::route(std::string_view bytes, std::string &out)
{
    if (phase_ == Phase::Detecting && window_.empty()) {
        const std::size_t ascii = utf8::asciiPrefix(bytes);
        keepForLateScan(bytes.substr(0, ascii));
        out.append(bytes.substr(0, ascii));
        bytes.remove_prefix(ascii);
    }
    if (phase_ == Phase::Detecting && !bytes.empty()) {
        const std::size_t take = std::min(bytes.size(), kDetectWindow - window_.size());
        keepForLateScan(bytes.substr(0, take));
        window_.append(bytes.substr(0, take));
        bytes.remove_prefix(take);
        if (phase_ == Phase::Detecting && window_.size() >= kDetectWindow && !scanLate())
            decideFromWindow(false);
    }
    if (phase_ == Phase::Decoding) {
        if (!window_.empty()) {
            std::string window;
            window.swap(window_);
            decodeChosen(window, out);
        }
        decodeChosen(bytes, out);
    }
}

// Copies the bytes for the late <meta> scan, which runs once the first
// kLateMetaLength bytes are in (and may decide the encoding).
void Decoder::keepForLateScan(std::string_view bytes)
{
    if (!lateScan_)
        return;
    late_.append(bytes.substr(0, std::min(bytes.size(), kLateMetaLength - late_.size())));
    if (late_.size() >= kLateMetaLength)
        scanLate();
}

// The prescan once more, over the first kLateMetaLength bytes (or as many as
// came before the decision). Only encodings that read ASCII as ASCII are
// taken: the ASCII passed on already must mean the same in them.
bool Decoder::scanLate()
{
    if (!lateScan_)
        return false;
    lateScan_ = false;
    const auto meta = prescanMeta(late_);
    std::string().swap(late_);
    if (!meta)
        return false;
    const EncodingInfo info = *encodingInfoForLabel(*meta);
    if (info.family != EncodingFamily::Utf8 && info.family != EncodingFamily::SingleByte &&
        info.family != EncodingFamily::MultiByte)
        return false;
    decide(info, EncodingChoice::Source::LateMeta);
    return true;
}

void Decoder::decodeChosen(std::string_view bytes, std::string &out)
{
    if (bytes.empty())
        return;
    switch (family_) {
    case EncodingFamily::Utf8: decodeUtf8(bytes, out); break;
    case EncodingFamily::SingleByte:
    case EncodingFamily::UserDefined: decodeTable(bytes, out); break;
    case EncodingFamily::Replacement:
        if (!replaced_)
            out.append(utf8::kReplacement);
        replaced_ = true;
        break;
    case EncodingFamily::MultiByte: {
        Converter &conv = *converter_;
        bytes = conv.drainCarry(bytes, out, true);
        // ASCII passes straight through. In these encodings an ASCII byte that
        // follows another ASCII byte always starts a character (trail bytes
        // may be ASCII, lead bytes never are), so iconv sees runs that end
        // there.
        while (!bytes.empty()) {
            const std::size_t ascii = utf8::asciiPrefix(bytes);
            out.append(bytes.substr(0, ascii));
            bytes.remove_prefix(ascii);
            if (bytes.empty())
                break;
            std::size_t end = 1;
            while (end < bytes.size() && !(static_cast<unsigned char>(bytes[end]) < 0x80 &&
                                           static_cast<unsigned char>(bytes[end - 1]) < 0x80))
                ++end;
            const bool whole = end < bytes.size();
            const std::size_t used = conv.convert(bytes.data(), end, out, whole);
            if (!whole) {
                conv.carry.assign(bytes.substr(used));
                break;
            }
            bytes.remove_prefix(end);
        }
        break;
    }
    case EncodingFamily::Iso2022Jp:
    case EncodingFamily::Utf16Be:
    case EncodingFamily::Utf16Le: {
        Converter &conv = *converter_;
        bytes = conv.drainCarry(bytes, out);
        const std::size_t used = conv.convert(bytes.data(), bytes.size(), out);
        conv.carry.append(bytes.substr(used));
        break;
    }
    }
}

void Decoder::decodeUtf8(std::string_view bytes, std::string &out)
{
    // First the sequence the last chunk cut short, byte by byte.
    while (!pending_.empty() && !bytes.empty()) {
        std::string probe = pending_;
        probe.push_back(bytes.front());
        const std::size_t valid = utf8::validPrefix(probe);
        if (valid == probe.size()) { // now whole
            out.append(probe);
            pending_.clear();
            bytes.remove_prefix(1);
            break;
        }
        const utf8::Fault fault = utf8::faultAt(probe);
        if (fault.truncated) {
            pending_ = std::move(probe);
            bytes.remove_prefix(1);
        } else { // the new byte does not fit: it starts afresh
            out.append(utf8::kReplacement);
            pending_.clear();
        }
    }
    while (!bytes.empty()) {
        const std::size_t valid = utf8::validPrefix(bytes);
        out.append(bytes.data(), valid);
        bytes.remove_prefix(valid);
        if (bytes.empty())
            break;
        const utf8::Fault fault = utf8::faultAt(bytes);
        if (fault.truncated) {
            pending_.assign(bytes);
            break;
        }
        out.append(utf8::kReplacement);
        bytes.remove_prefix(fault.length);
    }
}

void Decoder::decodeTable(std::string_view bytes, std::string &out)
{
    // In blocks, so that the room made for the worst case (three bytes out
    // for each byte in) stays small whatever the chunk.
    constexpr std::size_t kBlock = 1 << 16;
    while (!bytes.empty()) {
        const std::string_view block = bytes.substr(0, kBlock);
        bytes.remove_prefix(block.size());
        const auto *p = reinterpret_cast<const unsigned char *>(block.data());
        const std::size_t n = block.size();
        const std::size_t start = out.size();
        out.resize(start + n * 3);
        char *o = out.data() + start;
        std::size_t i = 0;
        while (i < n) {
            const std::size_t ascii = utf8::asciiPrefix(block.substr(i));
            std::memcpy(o, p + i, ascii);
            o += ascii;
            i += ascii;
            for (; i < n && p[i] >= 0x80; ++i) {
                const TableEntry &e = table_[p[i]];
                std::memcpy(o, e.bytes, 3);
                o += e.length;
            }
        }
        out.resize(static_cast<std::size_t>(o - out.data()));
    }
}

void Decoder::flush(std::string &out)
{
    if (family_ == EncodingFamily::Utf8 && !pending_.empty()) {
        out.append(utf8::kReplacement);
        pending_.clear();
    }
    if (converter_)
        converter_->finish(out);
}

void Decoder::finish(std::string &out)
{
    if (phase_ == Phase::Finished)
        return;
    if (phase_ == Phase::Sniffing) {
        sniff(true);
        std::string head;
        head.swap(head_);
        route(head, out);
    }
    if (phase_ == Phase::Detecting && !scanLate()) {
        if (window_.empty())
            decide(*encodingInfoForLabel("UTF-8"), EncodingChoice::Source::Utf8Valid);
        else
            decideFromWindow(true);
    }
    if (!window_.empty()) {
        std::string window;
        window.swap(window_);
        decodeChosen(window, out);
    }
    flush(out);
    phase_ = Phase::Finished;
}

std::string decodeToUtf8(std::string_view bytes, std::string_view httpCharset, EncodingChoice *choice)
{
    Decoder decoder(httpCharset);
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    decoder.decode(bytes, out);
    decoder.finish(out);
    if (choice)
        *choice = decoder.choice();
    return out;
}

} // namespace quillan::html
