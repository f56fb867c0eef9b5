#include "cli/convert_progress.h"

#include "base/fd_io.h"

#include <cstdio>

namespace quillan::cli {

std::string formatBytes(double bytes)
{
    static const char *const units[] = {"B", "kB", "MB", "GB", "TB"};
    int unit = 0;
    while (bytes >= 1000.0 && unit < 4) {
        bytes /= 1000.0;
        ++unit;
    }
    char text[32];
    if (unit == 0)
        std::snprintf(text, sizeof text, "%.0f %s", bytes, units[unit]);
    else
        std::snprintf(text, sizeof text, "%.1f %s", bytes, units[unit]);
    return text;
}

std::string formatProgress(const ProgressCounts &counts, double seconds)
{
    std::string line = std::to_string(counts.done) + "/" + std::to_string(counts.total) +
                       (counts.totalKnown ? "" : "+") + " done, " + formatBytes(double(counts.bytes)) + ", " +
                       formatBytes(seconds > 0 ? double(counts.bytes) / seconds : 0.0) + "/s";
    if (counts.failed > 0)
        line += ", " + std::to_string(counts.failed) + " failed";
    return line;
}

void ProgressLine::update(const ProgressCounts &counts, double seconds)
{
    if (!enabled_ || seconds < ShowAfterSeconds)
        return;
    // Back to the start of the line, the new text, the rest of the old one erased.
    const std::string text = "\r" + formatProgress(counts, seconds) + "\033[K";
    (void)base::WriteAll(fd_, text.data(), text.size());
    shown_ = true;
}

void ProgressLine::clear()
{
    if (!shown_)
        return;
    static const char erase[] = "\r\033[K";
    (void)base::WriteAll(fd_, erase, sizeof erase - 1);
    shown_ = false;
}

} // namespace quillan::cli
