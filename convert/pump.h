#pragma once
// Moving a page's bytes from one descriptor through a kind of text
// (text/conversion.h) into another.
//
// pump() reads everything from inFd into a converter of the options' kind
// and writes its text to outFd. A large regular file is read ahead and its
// text written behind by a helper thread, so that the system's copying
// overlaps the conversion; the conversion itself always runs on the calling
// thread. Anything else (pipes, terminals, small files) goes through a plain
// read-convert-write loop. The text does not depend on which.

#include "text/conversion.h"

#include <functional>
#include <string_view>

namespace quillan::convert {

// Failures on either side, carrying errno; the caller knows the names.
struct ReadFailure {
    int error;
};
struct WriteFailure {
    int error;
};

// Throws ReadFailure, WriteFailure, or what the converter throws
// (text/conversion.h).
text::Result pump(int inFd, int outFd, const text::Options &options);

// Reads inFd to its end in chunks of 64 KiB at the most, handing each to
// `feed` as soon as it is read; a failed read throws ReadFailure (what was
// read before it has been handed on). Whatever `feed` throws passes through.
void readChunks(int inFd, const std::function<void(std::string_view)> &feed);

} // namespace quillan::convert
