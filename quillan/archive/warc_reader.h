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
// damaged gzip member makes the record damaged: it is reported (its offset
// and the reason) and the reading goes on at the next record: the next
// gzip member in a compressed archive, else the next "WARC/1.0" or
// "WARC/1.1" line, looked for from the damaged record's block on in a plain
// archive (read again from a file, or kept from a pipe while the block is
// under 4 MiB), so that a Content-Length too long loses no record after it.

#include "archive/archive_input.h"

#include <cstdint>
#include <functional>
#include <memory>
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

// Where a record starts: in a compressed archive the file offset of its
// gzip member and the position within the member's bytes, else the file
// offset (and 0).
struct RecordOffset {
    std::uint64_t file = 0;
    std::uint64_t inMember = 0;
    std::string text() const; // "1234" or "1234+56"
};

class WarcReader {
public:
    using DamageReport = std::function<void(const RecordOffset &where, const std::string &reason)>;

    WarcReader(ArchiveInput &input, DamageReport onDamage);

    // Moves to the next sound record header; false at the end of the input.
    // The record before it is finished first when the caller has not.
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
    // record was sound; false when it was damaged (and reported).
    bool finish();

private:
    bool fillBuffer();
    // A line without its end; false at the end of the segment, or when it
    // is longer than `limit` (then `tooLong`).
    bool readLine(std::string &line, std::size_t limit, bool &tooLong);
    bool readHeader();
    void damaged(const std::string &reason);
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
    RecordOffset blockStart_; // where the current record's block starts
    bool inRecord_ = false;
    bool resync_ = false; // looking for the next record after a damaged one
    // Damage was reported since the last sound header: the current
    // segment's own fault, found later, is not reported again.
    bool segmentReported_ = false;
};

} // namespace quillan::archive
