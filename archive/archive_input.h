#pragma once
// The bytes of a web archive as they are read from a file or a pipe: plain,
// or gzip (one member per record as crawlers write them, one member for the
// whole file, or members of any size), told apart by the first bytes. Plain C++, in buffers of
// bounded size whatever the archive's size.
//
// A gzip member is inflated whole (by libdeflate) when it is sound and
// inflates to at most 8 MiB, as a member per record does; a larger one,
// or a damaged one, is streamed (by zlib), which also finds where the
// damage starts.
//
// The bytes come in segments. Members are only how the bytes were
// compressed: a member that ends cleanly is followed at once by the next
// one's bytes in the same segment, wherever the member boundaries fall
// (one member per record, fixed-size blocks cutting records in two, or one
// member for the whole file). A segment ends at the end of the file, or
// damaged: a member cut short, data that does not inflate, or bytes that
// are no gzip member. After a damaged segment the reading goes on at the
// next gzip member header found in the file, looked for from the damaged
// member's own start: its bytes are kept while it is under 4 MiB
// compressed, and a file is read again from there; only a larger member on
// a pipe is scanned from where the fault showed.

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

// Where an archive's bytes come from, when it is not a descriptor of its own.
class ArchiveSource {
public:
    virtual ~ArchiveSource() = default;
    // Up to `size` bytes into `out`: how many, 0 at the end. Throws
    // InputFailure.
    virtual std::size_t read(char *out, std::size_t size) = 0;
    // Where the reading stands, when the source can go back to a place it
    // read (as a file can); none when it cannot (as a pipe).
    virtual std::optional<std::uint64_t> position() = 0;
    // Moves the reading to `offset`; false when it could not.
    virtual bool seek(std::uint64_t offset) = 0;
};

class ArchiveInput {
public:
    explicit ArchiveInput(int fd);
    // Reads `source`, which must outlive the input.
    explicit ArchiveInput(ArchiveSource &source);
    ~ArchiveInput();
    ArchiveInput(const ArchiveInput &) = delete;
    ArchiveInput &operator=(const ArchiveInput &) = delete;

    // Up to `size` bytes more of the current segment, where they are: valid
    // until the next call on this input; empty at its end. The bytes of one
    // call come from one gzip member. Throws InputFailure.
    std::string_view next(std::size_t size);
    // The same bytes copied into `out`; 0 at the segment's end.
    std::size_t read(char *out, std::size_t size);

    // Leaves the current segment (the rest of it unread) for the next one;
    // false when the input has none.
    bool nextSegment();

    // Goes back to a place already read, to read again from there: in a
    // plain archive `fileOffset`; in a gzip archive `inMember` bytes into
    // the member at `fileOffset` (inflated again, so at most 8 MiB into
    // it). Works in a file, or on a pipe from the bytes kept since
    // keepFrom() (while they are under 4 MiB); false (and nothing changed)
    // when the bytes are no longer at hand, and false when a file changed
    // since they were read.
    bool rewindTo(std::uint64_t fileOffset, std::uint64_t inMember = 0);
    // On a pipe, keeps the bytes from `fileOffset` on (in a gzip archive,
    // a member's start) for rewindTo().
    void keepFrom(std::uint64_t fileOffset) { keepFrom_ = fileOffset; }

    bool compressed() const { return gzip_; }
    // Where the current gzip member starts in the file; in a plain archive,
    // where the reading started.
    std::uint64_t memberOffset() const { return memberStart_; }
    // Bytes handed out from the current member (from memberOffset() in a
    // plain archive) so far.
    std::uint64_t memberPosition() const { return memberOut_; }
    // Where the bytes read from the file end: at the end of the input, the
    // offset of its end.
    std::uint64_t endOffset() const { return rawBase_ + inEnd_; }
    // Whether the current segment ended damaged, and why.
    bool damaged() const { return !damage_.empty(); }
    const std::string &damage() const { return damage_; }
    // Bytes read from the file so far.
    std::uint64_t bytesIn() const { return bytesIn_; }

private:
    // MemberEnd: a member ended cleanly, the next one not yet started.
    enum class State { Open, MemberEnd, Ended, NoMore };

    bool fill();
    // Where the bytes that must stay in the buffer start.
    std::size_t keptFrom() const;
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
    // After a member's clean end: the next member, the file's clean end, or
    // damage (bytes that are no member).
    void startNextMember();
    bool findMember();
    // Up to `size` bytes: into `into` when given, else where they are.
    std::string_view take(char *into, std::size_t size);
    std::size_t inflateSome(char *out, std::size_t size);
    // Inflates the member that starts at the reading position whole, when
    // it is sound and fits the whole-member buffer; else it is streamed.
    void inflateWhole();
    void fillUpTo(std::size_t bytes);

    // Reads the first bytes, to tell plain from gzip.
    void start();

    struct Zlib;
    std::unique_ptr<ArchiveSource> ownSource_; // a descriptor's
    ArchiveSource *source_;
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
    std::uint64_t memberStart_ = 0;
    std::uint64_t memberOut_ = 0;
    std::string damage_;
};

} // namespace quillan::archive
