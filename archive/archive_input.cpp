#include "archive/archive_input.h"

#include "base/fd_io.h"

#include <cstring>
#include <libdeflate.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace quillan::archive {

namespace {
constexpr std::size_t kInputBuffer = 256 * 1024;
// The compressed bytes of the current member are kept up to this much, so
// that the scan after a damaged member starts again from its start, on a
// pipe too; past it the scan goes on from where the fault showed.
constexpr std::size_t kMaxKept = 4 * 1024 * 1024;
// A member is inflated whole into a buffer that grows to this size; a
// larger one (such as one member for the whole file) is streamed.
constexpr std::size_t kFirstWhole = 256 * 1024;
constexpr std::size_t kMaxWhole = 8 * 1024 * 1024;

// The fixed start of a gzip member: magic, deflate, no reserved flag bits.
bool looksLikeGzipHeader(const unsigned char *p)
{
    return p[0] == 0x1f && p[1] == 0x8b && p[2] == 8 && (p[3] & 0xE0) == 0;
}

// A descriptor: a regular file can go back, anything else cannot.
class FdSource final : public ArchiveSource {
public:
    explicit FdSource(int fd) : fd_(fd) {}
    std::size_t read(char *out, std::size_t size) override
    {
        const ssize_t n = base::ReadSome(fd_, out, size);
        if (n < 0)
            throw InputFailure{int(-n)};
        return std::size_t(n);
    }
    std::optional<std::uint64_t> position() override
    {
        struct stat st {};
        const off_t here = ::lseek(fd_, 0, SEEK_CUR);
        if (here < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))
            return std::nullopt;
        return std::uint64_t(here);
    }
    bool seek(std::uint64_t offset) override { return ::lseek(fd_, off_t(offset), SEEK_SET) >= 0; }

private:
    int fd_;
};
} // namespace

struct ArchiveInput::Zlib {
    z_stream stream{};
    bool ready = false;
    bool scanned = false; // the member was found by scanning past damage
    libdeflate_decompressor *whole = nullptr;
    ~Zlib()
    {
        if (ready)
            inflateEnd(&stream);
        libdeflate_free_decompressor(whole);
    }
};

ArchiveInput::ArchiveInput(int fd)
    : ownSource_(std::make_unique<FdSource>(fd)), source_(ownSource_.get()), in_(new char[kInputBuffer]),
      inSize_(kInputBuffer)
{
    start();
}

ArchiveInput::ArchiveInput(ArchiveSource &source) : source_(&source), in_(new char[kInputBuffer]), inSize_(kInputBuffer)
{
    start();
}

void ArchiveInput::start()
{
    const std::optional<std::uint64_t> here = source_->position();
    seekable_ = here.has_value();
    rawBase_ = here.value_or(0);
    memberStart_ = rawBase_;
    while (inEnd_ < 2 && fill()) {
    }
    const auto *p = reinterpret_cast<const unsigned char *>(in_.get());
    gzip_ = inEnd_ >= 2 && p[0] == 0x1f && p[1] == 0x8b;
    if (gzip_) {
        z_ = std::make_unique<Zlib>();
        if (inflateInit2(&z_->stream, 16 + MAX_WBITS) != Z_OK)
            throw InputFailure{ENOMEM};
        z_->ready = true;
        z_->whole = libdeflate_alloc_decompressor();
        if (!z_->whole)
            throw InputFailure{ENOMEM};
        startMember(true);
    }
}

ArchiveInput::~ArchiveInput() = default;

bool ArchiveInput::fill()
{
    if (eof_)
        return false;
    dropBefore(keptFrom());
    if (inEnd_ == inSize_) {
        if (inPos_ == 0 || inSize_ >= kMaxKept)
            return inPos_ < inEnd_;
        grow(std::min(kMaxKept, inSize_ * 2));
    }
    return readMore();
}

std::size_t ArchiveInput::keptFrom() const
{
    // Kept while under kMaxKept: on a pipe the bytes from the offset asked
    // for, else (or when they are too many) the current member's.
    const auto kept = [this](std::uint64_t keep) {
        return keep >= rawBase_ && keep - rawBase_ < inPos_ && inEnd_ - (keep - rawBase_) < kMaxKept;
    };
    if (!seekable_ && keepFrom_) {
        const std::uint64_t from = gzip_ ? std::min(*keepFrom_, memberStart_) : *keepFrom_;
        if (kept(from))
            return std::size_t(from - rawBase_);
    }
    if (gzip_ && kept(memberStart_))
        return std::size_t(memberStart_ - rawBase_);
    return inPos_;
}

void ArchiveInput::dropBefore(std::size_t from)
{
    if (from == 0)
        return;
    std::memmove(in_.get(), in_.get() + from, inEnd_ - from);
    rawBase_ += from;
    inEnd_ -= from;
    inPos_ -= from;
}

void ArchiveInput::grow(std::size_t size)
{
    std::unique_ptr<char[]> larger(new char[size]);
    std::memcpy(larger.get(), in_.get(), inEnd_);
    in_ = std::move(larger);
    inSize_ = size;
}

bool ArchiveInput::readMore()
{
    const std::size_t n = source_->read(in_.get() + inEnd_, inSize_ - inEnd_);
    if (n == 0) {
        eof_ = true;
        return false;
    }
    inEnd_ += n;
    bytesIn_ += std::uint64_t(n);
    return true;
}

bool ArchiveInput::seekRaw(std::uint64_t offset)
{
    if (!source_->seek(offset))
        return false;
    inPos_ = inEnd_ = 0;
    rawBase_ = offset;
    eof_ = false;
    return true;
}

bool ArchiveInput::scanFrom(std::uint64_t offset)
{
    if (offset >= rawBase_ && offset <= rawBase_ + inEnd_) {
        inPos_ = std::size_t(offset - rawBase_);
        return true;
    }
    return seekable_ && seekRaw(offset);
}

bool ArchiveInput::rewindTo(std::uint64_t fileOffset, std::uint64_t inMember)
{
    if (!gzip_) {
        if (fileOffset < memberStart_)
            return false;
        if (!seekable_ && fileOffset >= rawBase_ && fileOffset <= rawBase_ + inEnd_)
            inPos_ = std::size_t(fileOffset - rawBase_);
        else if (!seekable_ || !seekRaw(fileOffset))
            return false;
        memberOut_ = fileOffset - memberStart_;
        state_ = State::Open;
        return true;
    }
    if (inMember > kMaxWhole || !scanFrom(fileOffset))
        return false;
    // The member again from its start, its first bytes dropped.
    startMember(true);
    z_->scanned = false;
    char scratch[16 * 1024];
    while (memberOut_ < inMember && state_ == State::Open) {
        const std::size_t want = std::size_t(std::min<std::uint64_t>(sizeof scratch, inMember - memberOut_));
        if (whole_) {
            const std::size_t n = std::min(want, outEnd_ - outPos_);
            if (n == 0)
                break;
            outPos_ += n;
            memberOut_ += n;
        } else {
            inflateSome(scratch, want);
        }
    }
    return memberOut_ == inMember;
}

bool ArchiveInput::startMember(bool whole)
{
    memberStart_ = rawPosition();
    memberOut_ = 0;
    damage_.clear();
    inflateReset(&z_->stream);
    state_ = State::Open;
    whole_ = false;
    if (whole)
        inflateWhole();
    return true;
}

void ArchiveInput::inflateWhole()
{
    // The bytes at hand are made at least half a buffer, so that a member
    // of a usual size is inflated at the first try.
    if (inEnd_ - inPos_ < kInputBuffer / 2)
        fillUpTo(kInputBuffer);
    for (;;) {
        if (!out_) {
            out_.reset(new char[kFirstWhole]);
            outSize_ = kFirstWhole;
        }
        std::size_t inUsed = 0;
        std::size_t outUsed = 0;
        const libdeflate_result rc = libdeflate_gzip_decompress_ex(z_->whole, in_.get() + inPos_, inEnd_ - inPos_,
                                                                   out_.get(), outSize_, &inUsed, &outUsed);
        if (rc == LIBDEFLATE_SUCCESS) {
            whole_ = true;
            inPos_ += inUsed;
            outPos_ = 0;
            outEnd_ = outUsed;
            return;
        }
        if (rc == LIBDEFLATE_INSUFFICIENT_SPACE) {
            if (outSize_ >= kMaxWhole)
                return;
            outSize_ = std::min(kMaxWhole, outSize_ * 2);
            out_.reset(new char[outSize_]);
            continue;
        }
        // Damaged, or going on past the bytes at hand: with more of them,
        // tried again; else streamed, which finds where the damage is.
        const std::size_t had = inEnd_ - inPos_;
        if (eof_ || had >= kMaxKept)
            return;
        fillUpTo(std::min(kMaxKept, std::max(inSize_, had * 2)));
        if (inEnd_ - inPos_ == had)
            return;
    }
}

void ArchiveInput::fillUpTo(std::size_t bytes)
{
    // Reads until `bytes` from the reading position are at hand (the
    // buffer grown for them), or the file ends.
    while (inEnd_ - inPos_ < bytes && !eof_) {
        dropBefore(keptFrom());
        if (inSize_ - inPos_ < bytes)
            grow(inPos_ + bytes);
        if (!readMore())
            break;
    }
}

std::string_view ArchiveInput::take(char *into, std::size_t size)
{
    while (size > 0) {
        if (state_ == State::MemberEnd)
            startNextMember();
        if (state_ != State::Open)
            return {};
        if (whole_) {
            const std::size_t n = std::min(size, outEnd_ - outPos_);
            if (n == 0) {
                state_ = State::MemberEnd;
                continue;
            }
            const std::string_view bytes(out_.get() + outPos_, n);
            outPos_ += n;
            memberOut_ += n;
            if (into)
                std::memcpy(into, bytes.data(), n);
            return bytes;
        }
        if (gzip_) {
            constexpr std::size_t kPiece = 64 * 1024;
            char *out = into;
            if (!out) {
                if (!piece_)
                    piece_.reset(new char[kPiece]);
                out = piece_.get();
                size = std::min(size, kPiece);
            }
            if (const std::size_t n = inflateSome(out, size))
                return {out, n};
            continue;
        }
        if (inPos_ == inEnd_ && !fill()) {
            state_ = State::Ended;
            return {};
        }
        const std::size_t n = std::min(size, inEnd_ - inPos_);
        const std::string_view bytes(in_.get() + inPos_, n);
        inPos_ += n;
        memberOut_ += n;
        if (into)
            std::memcpy(into, bytes.data(), n);
        return bytes;
    }
    return {};
}

std::string_view ArchiveInput::next(std::size_t size)
{
    return take(nullptr, size);
}

std::size_t ArchiveInput::read(char *out, std::size_t size)
{
    return take(out, size).size();
}

std::size_t ArchiveInput::inflateSome(char *out, std::size_t size)
{
    z_stream &z = z_->stream;
    z.next_out = reinterpret_cast<Bytef *>(out);
    z.avail_out = unsigned(std::min<std::size_t>(size, 1u << 30));
    const unsigned asked = z.avail_out;
    while (z.avail_out == asked && state_ == State::Open) {
        if (inPos_ == inEnd_ && !fill()) {
            damage_ = "gzip member cut short at the end of the file";
            state_ = State::Ended;
            break;
        }
        z.next_in = reinterpret_cast<Bytef *>(in_.get() + inPos_);
        z.avail_in = unsigned(inEnd_ - inPos_);
        const int rc = inflate(&z, Z_NO_FLUSH);
        inPos_ = std::size_t(reinterpret_cast<char *>(z.next_in) - in_.get());
        if (rc == Z_STREAM_END) {
            state_ = State::MemberEnd;
        } else if (rc == Z_MEM_ERROR) {
            throw InputFailure{ENOMEM};
        } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
            if (z_->scanned && memberOut_ == 0 && z.avail_out == asked) {
                // Not a member after all, only bytes that looked like one:
                // the scan goes on past them.
                scanFrom(memberStart_ + 1);
                if (!findMember())
                    return 0;
                continue;
            }
            damage_ = std::string("gzip data damaged (") + (z.msg ? z.msg : "inflate failed") + ")";
            state_ = State::Ended;
        }
    }
    const std::size_t produced = asked - z.avail_out;
    memberOut_ += produced;
    return produced;
}

bool ArchiveInput::findMember()
{
    z_->scanned = true;
    for (;;) {
        if (inEnd_ - inPos_ < 4 && !fill() && inEnd_ - inPos_ < 4) {
            state_ = State::NoMore;
            return false;
        }
        const char *from = in_.get() + inPos_;
        const void *hit = std::memchr(from, 0x1f, inEnd_ - inPos_);
        if (!hit) {
            inPos_ = inEnd_;
            continue;
        }
        inPos_ = std::size_t(static_cast<const char *>(hit) - in_.get());
        if (inEnd_ - inPos_ < 4 && fill())
            continue;
        // A member found by scanning past damage may be no member at all:
        // the streaming inflater tells that at its first bytes.
        if (inEnd_ - inPos_ >= 4 && looksLikeGzipHeader(reinterpret_cast<const unsigned char *>(in_.get() + inPos_)))
            return startMember(false);
        ++inPos_;
    }
}

void ArchiveInput::startNextMember()
{
    // The next member follows at once, or the file ends.
    while (inEnd_ - inPos_ < 4 && fill()) {
    }
    if (inPos_ == inEnd_) {
        state_ = State::Ended;
        return;
    }
    z_->scanned = false;
    if (inEnd_ - inPos_ < 4 || !looksLikeGzipHeader(reinterpret_cast<const unsigned char *>(in_.get() + inPos_))) {
        startMember(false);
        damage_ = "bytes that are not a gzip member";
        state_ = State::Ended;
        return;
    }
    startMember(true);
}

bool ArchiveInput::nextSegment()
{
    if (state_ == State::NoMore)
        return false;
    if (!gzip_) {
        state_ = State::NoMore;
        return false;
    }
    // The rest of this segment, unread: inflated and dropped, which is how
    // its end is found.
    char scratch[16 * 1024];
    while (state_ == State::Open || state_ == State::MemberEnd)
        take(scratch, sizeof scratch);
    if (state_ == State::NoMore || !damaged()) {
        state_ = State::NoMore;
        return false;
    }
    scanFrom(memberStart_ + 1);
    return findMember();
}

} // namespace quillan::archive
