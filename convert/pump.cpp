#include "convert/pump.h"

#include "base/fd_io.h"

#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace quillan::convert {
namespace {

using base::ReadFull;
using base::WriteAll;

constexpr std::size_t kReadSize = 64 * 1024;

// Below this size a helper thread costs more than it saves.
constexpr off_t kOverlapThreshold = 1 << 20;

constexpr std::size_t kSlotSize = 256 * 1024;
constexpr std::size_t kSlots = 4;

// The text written as it comes.
class FdSink final : public text::Sink {
public:
    explicit FdSink(int fd) : fd_(fd) {}
    void write(std::string_view text) override
    {
        if (const int error = WriteAll(fd_, text.data(), text.size()))
            throw WriteFailure{error};
    }

private:
    int fd_;
};

text::Result pumpPlain(int inFd, int outFd, const text::Options &options, std::size_t size)
{
    FdSink sink(outFd);
    const std::unique_ptr<text::Converter> converter = text::makeConverter(options, sink, size);
    readChunks(inFd, [&converter](std::string_view chunk) { converter->feed(chunk); });
    return converter->finish();
}

// Two rings of fixed slots shared with one helper thread: input slots the
// helper fills and the caller filters, output slots the caller fills and
// the helper writes. Only the slot indexes and counts are shared, under one
// mutex; the bytes of a slot belong to one side at a time.
class OverlappedIo {
public:
    OverlappedIo(int inFd, int outFd) : inFd_(inFd), outFd_(outFd)
    {
        for (auto &slot : in_)
            slot.reset(new char[kSlotSize]);
        for (auto &slot : out_)
            slot.reset(new char[kSlotSize]);
        helper_ = std::thread([this] { run(); });
    }

    OverlappedIo(const OverlappedIo &) = delete;
    OverlappedIo &operator=(const OverlappedIo &) = delete;

    // Stops the helper, abandoning whatever it has not done yet.
    ~OverlappedIo()
    {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        helper_.join();
    }

    // The next piece of input; empty at the end. Hands the previous piece
    // back. Throws a failure of either side.
    std::string_view nextInput()
    {
        std::unique_lock lock(mutex_);
        if (holdingInput_) {
            holdingInput_ = false;
            inTake_ = (inTake_ + 1) % kSlots;
            --inBusy_;
            changed_.notify_all();
        }
        changed_.wait(lock, [this] { return inFilled_ != 0 || inEnded_ || readError_ || writeError_; });
        if (writeError_)
            throw WriteFailure{writeError_};
        if (inFilled_ != 0) {
            --inFilled_;
            holdingInput_ = true;
            return {in_[inTake_].get(), inLength_[inTake_]};
        }
        if (readError_)
            throw ReadFailure{readError_};
        return {};
    }

    // Copies output into the slot being filled, handing full slots over.
    void write(std::string_view data)
    {
        while (!data.empty()) {
            const std::size_t take = std::min(data.size(), kSlotSize - outFill_);
            std::memcpy(out_[outFillSlot_].get() + outFill_, data.data(), take);
            outFill_ += take;
            data.remove_prefix(take);
            if (outFill_ == kSlotSize)
                queueOutput();
        }
    }

    // Hands over the last output and waits until all of it is written.
    void finish()
    {
        if (outFill_ != 0)
            queueOutput();
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return outQueued_ == 0 || writeError_; });
        if (writeError_)
            throw WriteFailure{writeError_};
    }

private:
    void queueOutput()
    {
        std::unique_lock lock(mutex_);
        outLength_[outFillSlot_] = outFill_;
        ++outQueued_;
        changed_.notify_all();
        // The next slot is free once fewer than all slots wait for writing.
        changed_.wait(lock, [this] { return outQueued_ < kSlots || writeError_; });
        if (writeError_)
            throw WriteFailure{writeError_};
        outFillSlot_ = (outFillSlot_ + 1) % kSlots;
        outFill_ = 0;
    }

    bool canRead() const { return !inEnded_ && readError_ == 0 && inBusy_ < kSlots; }
    bool canWrite() const { return outQueued_ != 0 && writeError_ == 0; }

    // The helper: writing first, so that the caller never waits for a slot
    // longer than it must, then reading ahead.
    void run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return stop_ || canWrite() || canRead(); });
            if (stop_)
                return;
            if (canWrite()) {
                const std::size_t slot = outWrite_;
                lock.unlock();
                const int error = WriteAll(outFd_, out_[slot].get(), outLength_[slot]);
                lock.lock();
                if (error) {
                    writeError_ = error;
                } else {
                    outWrite_ = (outWrite_ + 1) % kSlots;
                    --outQueued_;
                }
            } else {
                const std::size_t slot = inFill_;
                lock.unlock();
                const ssize_t n = ReadFull(inFd_, in_[slot].get(), kSlotSize);
                lock.lock();
                if (n < 0) {
                    readError_ = static_cast<int>(-n);
                } else {
                    if (n > 0) {
                        inLength_[slot] = static_cast<std::size_t>(n);
                        inFill_ = (inFill_ + 1) % kSlots;
                        ++inFilled_;
                        ++inBusy_;
                    }
                    if (static_cast<std::size_t>(n) < kSlotSize)
                        inEnded_ = true;
                }
            }
            changed_.notify_all();
        }
    }

    const int inFd_;
    const int outFd_;
    std::array<std::unique_ptr<char[]>, kSlots> in_;
    std::array<std::unique_ptr<char[]>, kSlots> out_;

    // Shared with the helper, under mutex_.
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false;
    std::array<std::size_t, kSlots> inLength_{};
    std::size_t inFill_ = 0;   // next input slot the helper fills
    std::size_t inTake_ = 0;   // next input slot the caller takes
    std::size_t inFilled_ = 0; // filled, not yet taken
    std::size_t inBusy_ = 0;   // filled or held by the caller
    bool inEnded_ = false;
    int readError_ = 0;
    std::array<std::size_t, kSlots> outLength_{};
    std::size_t outWrite_ = 0;  // next output slot the helper writes
    std::size_t outQueued_ = 0; // handed over, not yet written
    int writeError_ = 0;

    // The caller's own.
    bool holdingInput_ = false;
    std::size_t outFillSlot_ = 0;
    std::size_t outFill_ = 0;

    std::thread helper_;
};

// The text handed to the helper thread.
class OverlappedSink final : public text::Sink {
public:
    explicit OverlappedSink(OverlappedIo &io) : io_(io) {}
    void write(std::string_view text) override { io_.write(text); }

private:
    OverlappedIo &io_;
};

text::Result pumpOverlapped(int inFd, int outFd, const text::Options &options, std::size_t size)
{
    OverlappedIo io(inFd, outFd);
    OverlappedSink sink(io);
    const std::unique_ptr<text::Converter> converter = text::makeConverter(options, sink, size);
    for (std::string_view piece = io.nextInput(); !piece.empty(); piece = io.nextInput())
        converter->feed(piece);
    text::Result result = converter->finish();
    io.finish();
    return result;
}

} // namespace

text::Result pump(int inFd, int outFd, const text::Options &options)
{
    struct stat st {};
    const bool file = ::fstat(inFd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
    const std::size_t size = file ? static_cast<std::size_t>(st.st_size) : 0;
    if (file && st.st_size >= kOverlapThreshold)
        return pumpOverlapped(inFd, outFd, options, size);
    return pumpPlain(inFd, outFd, options, size);
}

void readChunks(int inFd, const std::function<void(std::string_view)> &feed)
{
    std::unique_ptr<char[]> buffer(new char[kReadSize]);
    for (;;) {
        const ssize_t n = base::ReadSome(inFd, buffer.get(), kReadSize);
        if (n < 0)
            throw ReadFailure{static_cast<int>(-n)};
        if (n == 0)
            return;
        feed(std::string_view(buffer.get(), static_cast<std::size_t>(n)));
    }
}

} // namespace quillan::convert
