#pragma once
// Reading WARC records (WARC/1.0 and WARC/1.1) one at a time from an
// archive (archive_input.h): the header's fields whole, the block in
// pieces, so that memory stays bounded whatever a record's size.
//
// A record is a version line, named fields up to an empty line, a block of
// Content-Length bytes and an empty line twice (CR LF CR LF). Lines may end
// in LF alone; a field may go on over lines that start with a space or a
// tab. A header over 256 KiB, a missing or bad Content-Length, a block cut
// short, a record that does not end where its Content-Length says, or a
// damaged gzip member makes the record damaged. The reading goes on at the
// next "WARC/1.0" or "WARC/1.1" line at a line's start: after a wrong
// Content-Length (too short, too long, or past the end of the file) it is
// looked for from the damaged record's block on (read again from a file,
// kept from a pipe while the block is under 4 MiB; in a gzip archive its
// member inflated again, when the block starts in its first 8 MiB), so
// that it loses no record inside that block; after a
// damaged gzip member, from the next member found. Each damaged record is
// reported once the reading has gone on: where it starts, why, and where
// the reading went on, so that the bytes skipped are named.
//
// Gzip member boundaries do not matter to the records: a record may start
// and end anywhere in the inflated bytes, and the records read are those
// of the same bytes inflated into a plain archive.

#include "archive/archive_input.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillan::archive {

struct WarcHeader {
    std::string version; // "WARC/1.0" or "WARC/1.1"
    std::vector<std::pair<std::string, std::string>> fields;
    std::uint64_t contentLength = 0;

    // The value of the first field of that name (any case); empty when none.
    std::string_view field(std::string_view name) const;
};

// Where a record starts: in a compressed archive the file offset of the
// gzip member its first byte is in and the position within that member's
// inflated bytes, else the file offset (and 0).
struct RecordOffset {
    std::uint64_t file = 0;
    std::uint64_t inMember = 0;
    std::string text() const; // "1234" or "1234+56"
};

// A damaged record (or stretch of bytes that holds none).
struct Damage {
    RecordOffset where; // where it starts
    std::string reason;
    RecordOffset resumedAt;      // where the reading went on: the next record read, or the end of the input
    std::string skipped() const; // "bytes 1234-5678 skipped" (up to the second, not holding it)
};

class WarcReader {
public:
    using DamageReport = std::function<void(const Damage &damage)>;

    WarcReader(ArchiveInput &input, DamageReport onDamage);

    // Moves to the next sound record header; false at the end of the input.
    // The record before it is finished first when the caller has not. The
    // damage met on the way is reported here.
    bool next();
    const WarcHeader &header() const { return header_; }
    const RecordOffset &offset() const { return offset_; }

    // Up to `size` bytes more of the block, where they are: valid until the
    // next call on this reader or its input; empty at its end (or where it
    // was cut short).
    std::string_view readBlockView(std::size_t size);
    // The same bytes copied into `out`; 0 at the block's end.
    std::size_t readBlock(char *out, std::size_t size);

    // Reads the rest of the block and the record's end. True when the
    // record was sound; false when it was damaged (reported by the next
    // call to next()).
    bool finish();

private:
    bool fillBuffer();
    // A line without its end; false at the end of the segment, or when it
    // is longer than `limit` (then `tooLong`).
    bool readLine(std::string &line, std::size_t limit, bool &tooLong);
    bool readHeader();
    void damaged(const std::string &reason);
    // Reports the damage met since the last sound record, now that the
    // reading goes on at `resumedAt`.
    void settle(const RecordOffset &resumedAt);
    // Goes back to the block of the damaged record, to look for records in it.
    void rewindToBlock();
    RecordOffset here() const;
    bool advanceSegment();

    ArchiveInput &input_;
    DamageReport onDamage_;
    const char *buf_ = nullptr; // the input's bytes at hand, from pos_ to end_
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    WarcHeader header_;
    RecordOffset offset_;
    std::uint64_t remaining_ = 0;
    RecordOffset blockStart_;       // where the current record's block starts
    std::optional<Damage> pending_; // reported once the reading goes on
    bool inRecord_ = false;
    bool resync_ = false; // looking for the next record after a damaged one
    // Damage was reported since the last sound header: the current
    // segment's own fault, found later, is not reported again.
    bool segmentReported_ = false;
};

} // namespace quillan::archive
