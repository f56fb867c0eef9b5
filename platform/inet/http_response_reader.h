#pragma once
// Reading an HTTP/1.x response as its bytes arrive: the status line and
// header, each bound checked as the bytes come (never read whole first),
// then the body as its framing says (Content-Length, chunked, or up to the
// connection's end). Interim responses (1xx) are passed over. Plain C++.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

class HttpResponseReader {
public:
    // The bounds of a response's header (and of a chunked body's trailer).
    static constexpr int MaxHeaderLines = 100;
    static constexpr std::size_t MaxHeaderLineBytes = 100 * 1024;
    static constexpr std::size_t MaxHeaderBytes = 256 * 1024;

    enum class Failure {
        None,
        NotHttp,        // the reply does not start with "HTTP/"
        BadStatusLine,  // it does, but the rest of the line is no status line
        TooManyLines,   // more than MaxHeaderLines header lines
        LineTooLong,    // a header line longer than MaxHeaderLineBytes
        HeaderTooLarge, // more than MaxHeaderBytes of header
        BadChunk,       // a chunked body's size line that is not one
        ClosedTooEarly, // the connection ended before the response did
    };

    // Takes bytes from the front of `data` and returns how many it took:
    // all of them, except that it stops right after the response's header
    // is complete, so that the caller can look at it (headArrived()) before
    // any of the body. The body's bytes, unframed, are added to *body.
    std::size_t read(std::string_view data, std::string *body);

    // The connection has ended: a body that runs to the connection's end is
    // complete; anything else not yet complete fails as ClosedTooEarly.
    void connectionEnded();

    // Once, right after the header is complete; cleared by the call.
    bool takeHeadArrived() { return std::exchange(headArrived_, false); }
    bool headComplete() const { return headDone_; }
    bool complete() const { return state_ == State::Complete; }
    Failure failure() const { return failure_; }
    // The failure in words for the user; empty without one.
    std::string failureText() const;

    int status() const { return status_; }
    const std::string &reason() const { return reason_; }
    // The values of the headers of that name (any case), trimmed, joined by
    // ", " when there are several; empty when none.
    std::string header(std::string_view name) const;
    bool hasHeader(std::string_view name) const;
    // The length the response announced, or -1.
    std::int64_t announcedLength() const { return announcedLength_; }

private:
    enum class State { StatusLine, Header, Body, ChunkSize, ChunkData, ChunkEnd, Trailer, Complete, Failed };
    enum class Framing { Length, Chunked, ToEnd };

    bool fail(Failure failure);
    // Adds one byte of a header (or trailer) line; false on a failure.
    bool headerByte(char c);
    bool endStatusLine();
    void endHead();

    State state_ = State::StatusLine;
    Failure failure_ = Failure::None;
    bool headArrived_ = false;
    bool headDone_ = false;
    std::string line_;
    int lines_ = 0;
    std::size_t headerBytes_ = 0;
    int status_ = 0;
    std::string reason_;
    std::vector<std::pair<std::string, std::string>> headers_;
    Framing framing_ = Framing::ToEnd;
    std::int64_t announcedLength_ = -1;
    std::uint64_t remaining_ = 0;
};

} // namespace platform
