#pragma once
// The progress line of a long run on a terminal: inputs done of all, bytes
// read, the rate, failures so far, kept on one line of standard error and
// rewritten in place. Plain C++.

#include <cstdint>
#include <string>

namespace quillan::cli {

struct ProgressCounts {
    std::uint64_t done = 0;  // inputs finished, converted or failed
    std::uint64_t total = 0; // inputs known so far
    bool totalKnown = false; // false while a list is still being read
    std::uint64_t bytes = 0; // pages read, fetched or from disk
    std::uint64_t failed = 0;
};

// "12/2000 done, 3.4 MB, 1.1 MB/s, 2 failed" ("12/340+ ..." while the total
// is not known yet); the rate over `seconds`.
std::string formatProgress(const ProgressCounts &counts, double seconds);

// "950 B", "12.3 kB", "4.0 MB", "1.2 GB" (powers of 1000).
std::string formatBytes(double bytes);

class ProgressLine {
public:
    static constexpr double ShowAfterSeconds = 1.0;

    // Shown only when `enabled` (standard error is a terminal and the user
    // did not ask for quiet); writes to fd.
    ProgressLine(int fd, bool enabled) : fd_(fd), enabled_(enabled) {}

    // Draws the line when the run has lasted ShowAfterSeconds.
    void update(const ProgressCounts &counts, double seconds);
    // Takes the line away (before other output, and at the end).
    void clear();
    bool enabled() const { return enabled_; }
    bool shown() const { return shown_; }

private:
    int fd_;
    bool enabled_;
    bool shown_ = false;
};

} // namespace quillan::cli
