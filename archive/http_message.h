#pragma once
// The HTTP response kept in a WARC response record: its head (status and
// fields) and its body, decoded from the transfer coding (chunked) and the
// content codings (gzip, deflate, br) it was sent with. Plain C++; the body
// is decoded as it is fed, in bounded memory.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillan::archive {

struct HttpHead {
    int status = 0;
    std::vector<std::pair<std::string, std::string>> fields;
    std::string_view field(std::string_view name) const; // first of that name, any case; empty when none
};

// Where the head of `bytes` ends (after its empty line), or nothing while
// no empty line has been seen; LF alone is accepted for CR LF.
std::optional<std::size_t> httpHeadEnd(std::string_view bytes);

// Parses a response head ("HTTP/1.1 200 OK" and its fields, up to the empty
// line); nothing when it is not one.
std::optional<HttpHead> parseHttpHead(std::string_view head);

// The media type of a Content-Type value, lowercase, without parameters
// ("text/html"), and its charset parameter as given (quotes taken off).
std::string mediaTypeOf(std::string_view contentType);
std::string charsetOf(std::string_view contentType);

// A body that cannot be decoded: why.
struct BodyFault {
    std::string reason;
};

class BodyDecoder {
public:
    using Sink = std::function<void(std::string_view)>;

    // Decoding the body of a response with these Transfer-Encoding and
    // Content-Encoding values. Throws BodyFault for a coding not known.
    BodyDecoder(std::string_view transferEncoding, std::string_view contentEncoding, Sink sink);
    ~BodyDecoder();
    BodyDecoder(const BodyDecoder &) = delete;
    BodyDecoder &operator=(const BodyDecoder &) = delete;

    // Throws BodyFault, or what the sink throws.
    void feed(std::string_view bytes);
    // The body has ended; throws BodyFault when it was cut short.
    void finish();
    // Whether a content coding is undone: then the body decoded may be far
    // larger than the body given.
    bool inflates() const { return inflates_; }

private:
    class Stage;
    class Chunked;
    class Inflate;
    class Brotli;
    std::vector<std::unique_ptr<Stage>> stages_; // the first is fed
    Sink sink_;
    bool inflates_ = false;
};

} // namespace quillan::archive
