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
#include <string>
#include <string_view>

namespace quillan {

class TagStripper {
public:
    // Filters one chunk of input, appending whatever output is complete to
    // `out`. At most 2 * input.size() + 8 bytes are appended.
    void feed(std::string_view input, std::string &out);

    // Ends the input: the last line needs no terminator.
    void finish(std::string &out);

    bool inTag() const { return inTag_; }

private:
    enum class Trim : std::uint8_t { Empty, One, Writing };

    void literal(char c, std::string &out);   // after &nbsp; handling
    void text(char c, std::string &out);      // outside tags, to the trimmer
    void flushPartialEntity(std::string &out);
    void endLine(std::string &out);
    std::size_t copyRun(const char *p, const char *end, std::string &out);

    bool inTag_ = false;
    bool afterCR_ = false;        // a LF right after CR belongs to the line end
    std::uint8_t entityMatched_ = 0;  // bytes of "&nbsp;" matched so far
    Trim trim_ = Trim::Empty;
    char held_ = 0;               // the first kept byte, while only one is known
    std::uint64_t pendingSpaces_ = 0;  // spaces after the last written byte
};

} // namespace quillan
