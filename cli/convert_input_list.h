#pragma once
// The inputs of one run: those on the command line, then those of a list
// read as it goes. Plain C++.
//
// The list (a file, or standard input as a pipe or terminal) is read by a
// thread of its own into a queue of at most QueueLines lines, so a list of
// any length costs the same memory and a slow list never holds up the
// conversions already running. A line is one input: a CR before its LF is
// dropped, and blank lines are skipped. A line longer than MaxLineBytes, or
// holding a NUL byte, is not an input: it is handed out as a failure of its
// own (its number, its start and the reason) as soon as that is known, and
// the list goes on after its end. A line that has no end within
// MaxSkippedLineBytes (such as all of /dev/zero) ends the list with a
// failure saying so. Memory stays bounded whatever the list holds.
//
// Threads: next(), total() and ended() are for the thread that owns the
// source; onMore is called from the reader's thread whenever lines were
// added to an empty queue or the list ended, and must only post a wake-up.

#include "base/fd_io.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillan::cli {

struct InputEntry {
    std::string input;
    std::string failure; // not empty: no input, but this failure to report (without the program's name)
};

class InputSource {
public:
    static constexpr std::size_t QueueLines = 256;
    static constexpr std::size_t MaxLineBytes = 64 * 1024;
    static constexpr std::uint64_t MaxSkippedLineBytes = 16 * 1024 * 1024;

    explicit InputSource(std::vector<std::string> inputs);
    // Stops the reader (a read waiting on a pipe or terminal included).
    ~InputSource();
    InputSource(const InputSource &) = delete;
    InputSource &operator=(const InputSource &) = delete;

    // Reads the list from fd (its name for messages) after the inputs given
    // to the constructor. Call once, before next().
    void readList(base::UniqueFd fd, std::string name, std::function<void()> onMore);

    enum class Status { Ready, Waiting, Ended };
    // The next entry when one is there (Ready); Waiting while the list is
    // still being read; Ended once every entry has been handed out.
    Status next(InputEntry *entry);

    // The entries handed out so far, and whether that is all of them.
    std::uint64_t handedOut() const { return handedOut_; }
    bool ended() const;
    // The entries handed out and those waiting; allKnown() once that is all
    // of them (no list, or the list has been read to its end).
    std::uint64_t known() const;
    bool allKnown() const;

private:
    void readerLoop(int fd, std::string name);
    void push(InputEntry entry);

    std::deque<std::string> given_;
    std::uint64_t handedOut_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable roomFreed_;
    std::deque<InputEntry> queue_;
    bool listing_ = false;   // a list is being read
    bool listEnded_ = false; // the reader is done
    bool stopping_ = false;
    std::function<void()> onMore_;
    base::UniqueFd listFd_;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::thread reader_;
};

} // namespace quillan::cli
