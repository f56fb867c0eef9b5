#include "archive/http_message.h"

#include "base/hex.h"
#include "base/text.h"

#include <brotli/decode.h>
#include <zlib.h>

namespace quillan::archive {

namespace {

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::string lowered(std::string_view s)
{
    std::string out(s);
    for (char &c : out)
        c = base::AsciiLower(c);
    return out;
}

// The comma-separated tokens of a field value, lowercase.
std::vector<std::string> tokensOf(std::string_view value)
{
    std::vector<std::string> tokens;
    while (!value.empty()) {
        const std::size_t comma = value.find(',');
        const std::string token = lowered(trimmed(value.substr(0, comma)));
        if (!token.empty())
            tokens.push_back(token);
        if (comma == std::string_view::npos)
            break;
        value.remove_prefix(comma + 1);
    }
    return tokens;
}

constexpr std::size_t kOut = 64 * 1024;

} // namespace

std::string_view HttpHead::field(std::string_view name) const
{
    for (const auto &[key, value] : fields)
        if (base::EqualsNoCase(key, name))
            return value;
    return {};
}

std::optional<std::size_t> httpHeadEnd(std::string_view bytes)
{
    for (std::size_t nl = bytes.find('\n'); nl != std::string_view::npos; nl = bytes.find('\n', nl + 1)) {
        std::size_t next = nl + 1;
        if (next < bytes.size() && bytes[next] == '\r')
            ++next;
        if (next < bytes.size() && bytes[next] == '\n')
            return next + 1;
    }
    return std::nullopt;
}

std::optional<HttpHead> parseHttpHead(std::string_view head)
{
    HttpHead parsed;
    bool first = true;
    while (!head.empty()) {
        const std::size_t nl = head.find('\n');
        std::string_view line = head.substr(0, nl);
        head.remove_prefix(nl == std::string_view::npos ? head.size() : nl + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (first) {
            first = false;
            // HTTP/1.1 200 OK, HTTP/1.0 404, HTTP/2 200
            if (line.substr(0, 5) != "HTTP/")
                return std::nullopt;
            const std::size_t space = line.find(' ');
            if (space == std::string_view::npos || space + 4 > line.size())
                return std::nullopt;
            int status = 0;
            for (std::size_t i = space + 1; i < space + 4; ++i) {
                if (line[i] < '0' || line[i] > '9')
                    return std::nullopt;
                status = status * 10 + (line[i] - '0');
            }
            if (space + 4 < line.size() && line[space + 4] != ' ')
                return std::nullopt;
            parsed.status = status;
            continue;
        }
        if (line.empty())
            break;
        if ((line[0] == ' ' || line[0] == '\t') && !parsed.fields.empty()) {
            parsed.fields.back().second += ' ';
            parsed.fields.back().second += trimmed(line);
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0)
            continue; // a line that is no field is passed over, as browsers do
        parsed.fields.emplace_back(std::string(trimmed(line.substr(0, colon))),
                                   std::string(trimmed(line.substr(colon + 1))));
    }
    if (first)
        return std::nullopt;
    return parsed;
}

std::string mediaTypeOf(std::string_view contentType)
{
    return lowered(trimmed(contentType.substr(0, contentType.find(';'))));
}

std::string charsetOf(std::string_view contentType)
{
    std::size_t semi = contentType.find(';');
    while (semi != std::string_view::npos) {
        std::string_view rest = contentType.substr(semi + 1);
        const std::size_t next = rest.find(';');
        std::string_view param = trimmed(rest.substr(0, next));
        const std::size_t equals = param.find('=');
        if (equals != std::string_view::npos && base::EqualsNoCase(trimmed(param.substr(0, equals)), "charset")) {
            std::string_view value = trimmed(param.substr(equals + 1));
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\''))
                value = value.substr(1, value.size() - 2);
            return std::string(trimmed(value));
        }
        semi = next == std::string_view::npos ? next : semi + 1 + next;
    }
    return {};
}

class BodyDecoder::Stage {
public:
    explicit Stage(Sink out) : out_(std::move(out)) {}
    virtual ~Stage() = default;
    virtual void feed(std::string_view bytes) = 0;
    virtual void finish() = 0;

protected:
    Sink out_;
};

// Transfer-Encoding: chunked. Chunk extensions and trailer fields are
// passed over.
class BodyDecoder::Chunked final : public Stage {
public:
    using Stage::Stage;
    void feed(std::string_view bytes) override
    {
        while (!bytes.empty()) {
            switch (state_) {
            case State::Size: {
                const char c = bytes.front();
                bytes.remove_prefix(1);
                if (c == '\n') {
                    if (digits_ == 0)
                        throw BodyFault{"chunked body: a chunk without its size"};
                    state_ = size_ == 0 ? State::Trailer : State::Data;
                } else if (c == ';') {
                    state_ = State::Extension;
                } else if (c == '\r' || c == ' ' || c == '\t') {
                } else {
                    const int v = base::HexDigitValue(c);
                    if (v < 0 || ++digits_ > 15)
                        throw BodyFault{"chunked body: bad chunk size"};
                    size_ = size_ * 16 + std::uint64_t(v);
                }
                break;
            }
            case State::Extension: {
                const std::size_t nl = bytes.find('\n');
                if (nl == std::string_view::npos)
                    return;
                bytes.remove_prefix(nl);
                state_ = State::Size;
                break;
            }
            case State::Data: {
                const std::size_t n = std::size_t(std::min<std::uint64_t>(size_, bytes.size()));
                out_(bytes.substr(0, n));
                bytes.remove_prefix(n);
                size_ -= n;
                if (size_ == 0)
                    state_ = State::DataEnd;
                break;
            }
            case State::DataEnd: {
                const char c = bytes.front();
                bytes.remove_prefix(1);
                if (c == '\n') {
                    state_ = State::Size;
                    digits_ = 0;
                } else if (c != '\r') {
                    throw BodyFault{"chunked body: a chunk longer than its size"};
                }
                break;
            }
            case State::Trailer: return;
            }
        }
    }
    void finish() override
    {
        if (state_ != State::Trailer)
            throw BodyFault{"chunked body cut short"};
    }

private:
    enum class State { Size, Extension, Data, DataEnd, Trailer };
    State state_ = State::Size;
    std::uint64_t size_ = 0;
    int digits_ = 0;
};

// gzip, and deflate with its zlib wrapper or without (as some servers send it).
class BodyDecoder::Inflate final : public Stage {
public:
    Inflate(Sink out, bool gzip) : Stage(std::move(out)), gzip_(gzip), buffer_(new char[kOut]) {}
    ~Inflate() override
    {
        if (ready_)
            inflateEnd(&z_);
    }
    void feed(std::string_view bytes) override
    {
        if (ended_ || bytes.empty())
            return;
        if (!ready_) {
            // deflate's first two bytes tell whether it has its zlib wrapper.
            if (!gzip_ && first_.size() + bytes.size() < 2) {
                first_.append(bytes);
                return;
            }
            if (!first_.empty()) {
                std::string joined;
                joined.swap(first_);
                joined.append(bytes);
                start(joined);
                feedStarted(joined);
                return;
            }
            start(bytes);
        }
        feedStarted(bytes);
    }
    void feedStarted(std::string_view bytes)
    {
        z_.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.data()));
        z_.avail_in = unsigned(bytes.size());
        while (z_.avail_in > 0 && !ended_) {
            z_.next_out = reinterpret_cast<Bytef *>(buffer_.get());
            z_.avail_out = kOut;
            const int rc = inflate(&z_, Z_NO_FLUSH);
            if (rc == Z_STREAM_END)
                ended_ = true;
            else if (rc != Z_OK && rc != Z_BUF_ERROR)
                throw BodyFault{std::string(gzip_ ? "gzip" : "deflate") + " body damaged"};
            if (kOut - z_.avail_out > 0)
                out_(std::string_view(buffer_.get(), kOut - z_.avail_out));
            else if (rc == Z_BUF_ERROR)
                break;
        }
    }
    void finish() override
    {
        if ((ready_ && !ended_) || !first_.empty())
            throw BodyFault{std::string(gzip_ ? "gzip" : "deflate") + " body cut short"};
    }

private:
    void start(std::string_view first)
    {
        int bits = 16 + MAX_WBITS;
        if (!gzip_) {
            const auto b0 = static_cast<unsigned char>(first[0]);
            const auto b1 = first.size() > 1 ? static_cast<unsigned char>(first[1]) : 0u;
            const bool zlibWrapped = (b0 & 0x0F) == 8 && ((b0 << 8) | b1) % 31 == 0;
            bits = zlibWrapped ? MAX_WBITS : -MAX_WBITS;
        }
        if (inflateInit2(&z_, bits) != Z_OK)
            throw BodyFault{"out of memory"};
        ready_ = true;
    }
    bool gzip_;
    std::string first_; // a first byte alone, until the second comes
    bool ready_ = false;
    bool ended_ = false;
    z_stream z_{};
    std::unique_ptr<char[]> buffer_;
};

class BodyDecoder::Brotli final : public Stage {
public:
    explicit Brotli(Sink out)
        : Stage(std::move(out)), state_(BrotliDecoderCreateInstance(nullptr, nullptr, nullptr)), buffer_(new char[kOut])
    {
        if (!state_)
            throw BodyFault{"out of memory"};
    }
    ~Brotli() override { BrotliDecoderDestroyInstance(state_); }
    void feed(std::string_view bytes) override
    {
        std::size_t availIn = bytes.size();
        const auto *nextIn = reinterpret_cast<const std::uint8_t *>(bytes.data());
        while (!ended_) {
            std::size_t availOut = kOut;
            auto *nextOut = reinterpret_cast<std::uint8_t *>(buffer_.get());
            const BrotliDecoderResult rc =
                BrotliDecoderDecompressStream(state_, &availIn, &nextIn, &availOut, &nextOut, nullptr);
            if (kOut - availOut > 0)
                out_(std::string_view(buffer_.get(), kOut - availOut));
            if (rc == BROTLI_DECODER_RESULT_ERROR)
                throw BodyFault{"br body damaged"};
            if (rc == BROTLI_DECODER_RESULT_SUCCESS)
                ended_ = true;
            if (rc == BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT)
                break;
        }
    }
    void finish() override
    {
        if (!ended_)
            throw BodyFault{"br body cut short"};
    }

private:
    BrotliDecoderState *state_;
    bool ended_ = false;
    std::unique_ptr<char[]> buffer_;
};

BodyDecoder::BodyDecoder(std::string_view transferEncoding, std::string_view contentEncoding, Sink sink)
    : sink_(std::move(sink))
{
    // Codings in the order they were applied; decoded last one first.
    std::vector<std::string> codings = tokensOf(contentEncoding);
    bool chunked = false;
    for (const std::string &t : tokensOf(transferEncoding)) {
        if (t == "chunked")
            chunked = true;
        else
            codings.push_back(t);
    }
    // Built from the sink backwards: each stage feeds the one after it.
    Sink next = [this](std::string_view bytes) { sink_(bytes); };
    std::vector<std::unique_ptr<Stage>> built;
    for (const std::string &coding : codings) { // first applied: decoded last
        std::unique_ptr<Stage> stage;
        if (coding == "gzip" || coding == "x-gzip")
            stage = std::make_unique<Inflate>(next, true);
        else if (coding == "deflate")
            stage = std::make_unique<Inflate>(next, false);
        else if (coding == "br")
            stage = std::make_unique<Brotli>(next);
        else if (coding == "identity")
            continue;
        else
            throw BodyFault{"content encoding '" + coding + "' not supported"};
        inflates_ = true;
        Stage *raw = stage.get();
        next = [raw](std::string_view bytes) { raw->feed(bytes); };
        built.push_back(std::move(stage));
    }
    if (chunked) {
        built.push_back(std::make_unique<Chunked>(next));
    }
    // built.back() is fed first.
    for (auto it = built.rbegin(); it != built.rend(); ++it)
        stages_.push_back(std::move(*it));
}

BodyDecoder::~BodyDecoder() = default;

void BodyDecoder::feed(std::string_view bytes)
{
    if (stages_.empty())
        sink_(bytes);
    else
        stages_.front()->feed(bytes);
}

void BodyDecoder::finish()
{
    for (auto &stage : stages_)
        stage->finish();
}

} // namespace quillan::archive
