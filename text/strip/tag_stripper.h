#pragma once
// The tag-stripping filter as a streaming state machine.
//
// Input is cut into lines at CR or CR LF (a lone LF is an ordinary byte).
// On each line every "&nbsp;" (exact, case-sensitive) becomes one space, then
// "<" opens and ">" closes a tag; neither is ever copied, and bytes inside a
// tag are dropped. The in-tag flag carries across lines. What is left is
// trimmed of spaces (byte 32 only) and written, followed by CR LF, when at
// least two bytes remain.
//
// The filter holds at most a few bytes of its own between calls, whatever the
// line length, so any input streams through in constant memory, and the
// result does not depend on how the input is cut into chunks.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace quillan::text::strip {

class TagStripper {
public:
    // Receives the output in pieces of at most bufferSize bytes.
    using Sink = std::function<void(std::string_view)>;

    explicit TagStripper(Sink sink, std::size_t bufferSize = 64 * 1024);

    // Filters one chunk of input. Output is handed to the sink whenever the
    // internal buffer fills, and at finish().
    void feed(std::string_view input);

    // Ends the input (the last line needs no terminator) and hands over
    // everything still buffered. The filter is then ready for a new input.
    void finish();

private:
    enum class Trim : std::uint8_t { Empty, One, Writing };

    // Where the scanner writes: the output position and the count of
    // pending spaces, kept in locals while a chunk is scanned and stored
    // back around every call that uses used_ and pendingSpaces_.
    struct Cursor {
        char *out;
        std::uint64_t pending;
    };
    Cursor cursor() { return {buf_.get() + used_, pendingSpaces_}; }
    void store(const Cursor &at)
    {
        used_ = static_cast<std::size_t>(at.out - buf_.get());
        pendingSpaces_ = at.pending;
    }
    std::size_t room(const Cursor &at) const { return static_cast<std::size_t>(buf_.get() + capacity_ - at.out); }

    void textRun(Cursor &at, const char *p, const char *q, const char *inputEnd);
    void nbspSpace(Cursor &at);
    void writePending(Cursor &at);
    void writeBytes(Cursor &at, const char *from, std::size_t n, const char *inputEnd);
    void flushPartialEntity();
    void endLine();
    void put(char c);
    void put(const char *p, std::size_t n);
    void putSpaces(std::uint64_t n);
    void flush();

    Sink sink_;
    std::unique_ptr<char[]> buf_;
    std::size_t capacity_;
    std::size_t used_ = 0;

    bool inTag_ = false;
    bool afterCR_ = false;           // a LF right after CR belongs to the line end
    std::uint8_t entityMatched_ = 0; // bytes of "&nbsp;" matched so far
    Trim trim_ = Trim::Empty;
    char held_ = 0;                   // the first kept byte, while it is the only one
    std::uint64_t pendingSpaces_ = 0; // spaces after the last written byte, not yet written
};

} // namespace quillan::text::strip
