#include "archive/warc_reader.h"

#include "base/text.h"

#include <cstring>

namespace quillan::archive {

namespace {
constexpr std::size_t kBuffer = 64 * 1024;
constexpr std::size_t kMaxLine = 64 * 1024;
constexpr std::size_t kMaxHeader = 256 * 1024;

} // namespace

std::string_view WarcHeader::field(std::string_view name) const
{
    for (const auto &[key, value] : fields)
        if (base::EqualsNoCase(key, name))
            return value;
    return {};
}

std::string RecordOffset::text() const
{
    std::string s = std::to_string(file);
    if (inMember != 0)
        s += "+" + std::to_string(inMember);
    return s;
}

std::string Damage::skipped() const
{
    return "bytes " + where.text() + "-" + resumedAt.text() + " skipped";
}

WarcReader::WarcReader(ArchiveInput &input, DamageReport onDamage) : input_(input), onDamage_(std::move(onDamage)) {}

RecordOffset WarcReader::here() const
{
    const std::uint64_t consumed = input_.memberPosition() - (end_ - pos_);
    if (input_.compressed())
        return {input_.memberOffset(), consumed};
    return {input_.memberOffset() + consumed, 0};
}

void WarcReader::damaged(const std::string &reason)
{
    // The segment's own fault, found after this, is the same damage.
    segmentReported_ = true;
    settle(offset_);
    pending_ = Damage{offset_, reason, {}};
}

void WarcReader::settle(const RecordOffset &resumedAt)
{
    if (!pending_)
        return;
    Damage damage = std::move(*pending_);
    pending_.reset();
    damage.resumedAt = resumedAt;
    if (onDamage_)
        onDamage_(damage);
}

void WarcReader::rewindToBlock()
{
    // The next record may lie inside the bytes taken for this block.
    if (!input_.damaged() && input_.rewindTo(blockStart_.file, blockStart_.inMember))
        pos_ = end_ = 0;
}

bool WarcReader::fillBuffer()
{
    if (pos_ < end_)
        return true;
    const std::string_view bytes = input_.next(kBuffer);
    buf_ = bytes.data();
    pos_ = 0;
    end_ = bytes.size();
    return end_ > 0;
}

bool WarcReader::readLine(std::string &line, std::size_t limit, bool &tooLong)
{
    line.clear();
    tooLong = false;
    for (;;) {
        if (!fillBuffer())
            return false;
        const char *from = buf_ + pos_;
        const auto *nl = static_cast<const char *>(std::memchr(from, '\n', end_ - pos_));
        const std::size_t n = nl ? std::size_t(nl - from) : end_ - pos_;
        if (line.size() + n > limit) {
            tooLong = true;
            return false;
        }
        line.append(from, n);
        pos_ += n;
        if (nl) {
            ++pos_;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return true;
        }
    }
}

bool WarcReader::advanceSegment()
{
    if (input_.damaged() && !segmentReported_) {
        offset_ = here();
        damaged(input_.damage());
        resync_ = true;
    }
    if (!input_.nextSegment())
        return false;
    // After damage the next member found may start inside a record: the
    // reading goes on at the next record header.
    pos_ = end_ = 0;
    segmentReported_ = false;
    return true;
}

bool WarcReader::next()
{
    if (inRecord_)
        finish();
    std::string line;
    for (;;) {
        if (!fillBuffer()) {
            if (!advanceSegment()) {
                settle(input_.compressed() ? RecordOffset{input_.endOffset(), 0} : here());
                return false;
            }
            continue;
        }
        // Blank lines between records are tolerated.
        if (buf_[pos_] == '\r' || buf_[pos_] == '\n') {
            ++pos_;
            continue;
        }
        offset_ = here();
        bool tooLong = false;
        const bool whole = readLine(line, kMaxLine, tooLong);
        if (whole && (line == "WARC/1.0" || line == "WARC/1.1")) {
            header_ = WarcHeader{};
            header_.version = line;
            if (readHeader()) {
                settle(offset_);
                segmentReported_ = false;
                inRecord_ = true;
                blockStart_ = here();
                input_.keepFrom(blockStart_.file);
                remaining_ = header_.contentLength;
                resync_ = false;
                return true;
            }
            resync_ = true;
            continue;
        }
        if (tooLong) {
            // Whatever this is, it is no header: skip to its end.
            while (!readLine(line, kMaxLine, tooLong) && tooLong) {
            }
        }
        if (!resync_) {
            if (input_.damaged() && !whole) {
                damaged(input_.damage());
                segmentReported_ = true;
            } else {
                damaged("not a WARC record header");
            }
            resync_ = true;
        }
    }
}

bool WarcReader::readHeader()
{
    std::string line;
    std::size_t total = 0;
    bool haveLength = false;
    for (;;) {
        bool tooLong = false;
        if (!readLine(line, kMaxLine, tooLong)) {
            if (tooLong) {
                damaged("header line over 64 KiB");
            } else if (input_.damaged()) {
                damaged(input_.damage());
                segmentReported_ = true;
            } else {
                damaged("record cut short in its header");
            }
            return false;
        }
        total += line.size() + 2;
        if (total > kMaxHeader) {
            damaged("header over 256 KiB");
            return false;
        }
        if (line.empty())
            break;
        if ((line[0] == ' ' || line[0] == '\t') && !header_.fields.empty()) {
            std::string &value = header_.fields.back().second;
            value += ' ';
            value += base::TrimSpacesAndTabs(line);
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0) {
            damaged("bad header field");
            return false;
        }
        header_.fields.emplace_back(std::string(base::TrimSpacesAndTabs(std::string_view(line).substr(0, colon))),
                                    std::string(base::TrimSpacesAndTabs(std::string_view(line).substr(colon + 1))));
    }
    const std::string_view length = header_.field("Content-Length");
    if (!length.empty() && length.size() <= 18) {
        haveLength = true;
        std::uint64_t value = 0;
        for (const char c : length) {
            if (c < '0' || c > '9') {
                haveLength = false;
                break;
            }
            value = value * 10 + std::uint64_t(c - '0');
        }
        header_.contentLength = value;
    }
    if (!haveLength) {
        damaged("missing or bad Content-Length");
        return false;
    }
    return true;
}

std::string_view WarcReader::readBlockView(std::size_t size)
{
    if (!inRecord_ || remaining_ == 0 || size == 0)
        return {};
    const std::size_t want = std::size_t(std::min<std::uint64_t>(size, remaining_));
    std::string_view bytes;
    if (pos_ < end_) {
        bytes = std::string_view(buf_ + pos_, std::min(want, end_ - pos_));
        pos_ += bytes.size();
    } else {
        bytes = input_.next(want);
    }
    remaining_ -= bytes.size();
    return bytes;
}

std::size_t WarcReader::readBlock(char *out, std::size_t size)
{
    const std::string_view bytes = readBlockView(size);
    if (!bytes.empty())
        std::memcpy(out, bytes.data(), bytes.size());
    return bytes.size();
}

bool WarcReader::finish()
{
    if (!inRecord_)
        return false;
    while (remaining_ > 0 && !readBlockView(kBuffer).empty()) {
    }
    inRecord_ = false;
    if (remaining_ > 0) {
        if (input_.damaged()) {
            damaged(input_.damage());
            segmentReported_ = true;
        } else {
            damaged("block cut short: " + std::to_string(header_.contentLength - remaining_) + " of " +
                    std::to_string(header_.contentLength) + " bytes");
        }
        resync_ = true;
        rewindToBlock();
        return false;
    }
    // The record's end: CR LF CR LF (LF alone accepted). The end of the
    // input right after the block stands for it.
    for (int newlines = 0; newlines < 2;) {
        if (!fillBuffer()) {
            if (input_.damaged()) {
                damaged(input_.damage());
                segmentReported_ = true;
                resync_ = true;
                return false;
            }
            return true;
        }
        const char c = buf_[pos_];
        if (c == '\n') {
            ++newlines;
            ++pos_;
        } else if (c == '\r') {
            ++pos_;
        } else {
            damaged("the record does not end where its Content-Length (" + std::to_string(header_.contentLength) +
                    ") says");
            resync_ = true;
            rewindToBlock();
            return false;
        }
    }
    return true;
}

} // namespace quillan::archive
