#pragma once
// Moving bytes between the files and the tag-stripping filter.
//
// pumpFile() feeds everything readable from inFd through a TagStripper into
// outFd. A large regular file is read ahead and its text written behind by a
// helper thread, so that the system's copying overlaps the filtering; the
// filter itself always runs on the calling thread. Anything else (pipes,
// terminals, small files) goes through a plain read-filter-write loop.

#include <functional>
#include <string_view>

namespace quillan {

// Failures on either side, carrying errno; the caller knows the names.
struct ReadFailure {
    int error;
};
struct WriteFailure {
    int error;
};

void pumpFile(int inFd, int outFd);

// Reads inFd to its end in chunks of 64 KiB at the most, handing each to
// `feed` as soon as it is read; a failed read throws ReadFailure (what was
// read before it has been handed on). Whatever `feed` throws passes through.
void readChunks(int inFd, const std::function<void(std::string_view)> &feed);

} // namespace quillan
