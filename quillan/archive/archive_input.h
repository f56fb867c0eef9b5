#pragma once
// The bytes of a web archive as they are read from a file or a pipe: plain,
// or gzip (one member per record as crawlers write them, or one member for
// the whole file), told apart by the first bytes. Plain C++, in buffers of
// bounded size whatever the archive's size.
//
// A gzip member is inflated whole (by libdeflate) when it is sound and
// inflates to at most 8 MiB, as a member per record does; a larger one,
// or a damaged one, is streamed (by zlib), which also finds where the
// damage starts.
//
// The bytes come in segments: a plain archive is one segment; a gzip
// archive has a segment per member. A segment ends cleanly (the member's
// end, or the file's) or damaged: a member cut short, or data that does not
// inflate. After a damaged member the reading goes on at the next gzip
// member header found in the file, looked for from the damaged member's own
// start: its bytes are kept while it is under 4 MiB compressed, and a file
// is read again from there; only a larger member on a pipe is scanned from
// where the fault showed.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quillan::archive {

// A read that failed: the system's errno.
struct InputFailure {
    int error;
};

class ArchiveInput {
public:
    explicit ArchiveInput(int fd);
    ~ArchiveInput();
    ArchiveInput(const ArchiveInput &) = delete;
    ArchiveInput &operator=(const ArchiveInput &) = delete;

    // Up to `size` bytes more of the current segment, where they are: valid
    // until the next call on this input; empty at its end. Throws
    // InputFailure.
    std::string_view next(std::size_t size);
    // The same bytes copied into `out`; 0 at the segment's end.
    std::size_t read(char *out, std::size_t size);

    // Leaves the current segment (the rest of it unread) for the next one;
    // false when the input has none.
    bool nextSegment();

    // Goes back to `fileOffset` in a plain archive, to read again from
    // there: in a file, or on a pipe from the bytes kept since keepFrom()
    // (while they are under 4 MiB); false (and nothing changed) for a gzip
    // archive or bytes no longer at hand.
    bool rewindTo(std::uint64_t fileOffset);
    // In a plain archive on a pipe, keeps the bytes from `fileOffset` on
    // for rewindTo().
    void keepFrom(std::uint64_t fileOffset) { keepFrom_ = fileOffset; }

    bool compressed() const { return gzip_; }
    // Where the current segment starts in the file.
    std::uint64_t segmentOffset() const { return segmentStart_; }
    // Bytes handed out from the current segment so far.
    std::uint64_t segmentPosition() const { return segmentOut_; }
    // Whether the current segment ended damaged, and why.
    bool damaged() const { return !damage_.empty(); }
    const std::string &damage() const { return damage_; }
    // Bytes read from the file so far.
    std::uint64_t bytesIn() const { return bytesIn_; }

private:
    enum class State { Open, Ended, NoMore };

    bool fill();
    // Forgets the bytes before `from` in the buffer, keeping their offsets.
    void dropBefore(std::size_t from);
    // A buffer of `size` bytes, holding what the old one held.
    void grow(std::size_t size);
    // Reads what the file has into the buffer's free end; false at its end.
    bool readMore();
    std::uint64_t rawPosition() const { return rawBase_ + inPos_; }
    bool seekRaw(std::uint64_t offset);
    // Moves the reading to `offset`, from the kept bytes or the file; false
    // (and nothing changed) when neither has it.
    bool scanFrom(std::uint64_t offset);
    // Starts the member at the reading position; `whole`: inflated whole
    // when it can be.
    bool startMember(bool whole);
    bool findMember();
    std::size_t inflateSome(char *out, std::size_t size);
    // Inflates the member that starts at the reading position whole, when
    // it is sound and fits the whole-member buffer; else it is streamed.
    void inflateWhole();
    void fillUpTo(std::size_t bytes);

    struct Zlib;
    int fd_;
    bool gzip_ = false;
    bool seekable_ = false;
    std::unique_ptr<char[]> in_;
    std::size_t inSize_;
    std::size_t inPos_ = 0;
    std::size_t inEnd_ = 0;
    bool eof_ = false;
    std::uint64_t rawBase_ = 0; // file offset of in_[0]
    std::uint64_t bytesIn_ = 0;
    std::optional<std::uint64_t> keepFrom_;
    std::unique_ptr<Zlib> z_;
    bool whole_ = false; // the current member is inflated whole in out_
    std::unique_ptr<char[]> out_;
    std::size_t outSize_ = 0;
    std::size_t outPos_ = 0;
    std::size_t outEnd_ = 0;
    std::unique_ptr<char[]> piece_; // what next() inflates a streamed member into
    State state_ = State::Open;
    std::uint64_t segmentStart_ = 0;
    std::uint64_t segmentOut_ = 0;
    std::string damage_;
};

} // namespace quillan::archive
