#include "cli/convert_input_list.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace quillan::cli {

InputSource::InputSource(std::vector<std::string> inputs) : given_(inputs.begin(), inputs.end()) {}

InputSource::~InputSource()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    roomFreed_.notify_all();
    if (wakeWrite_ >= 0) {
        const char wake = 1;
        (void)!::write(wakeWrite_, &wake, 1);
    }
    if (reader_.joinable())
        reader_.join();
    if (wakeRead_ >= 0)
        ::close(wakeRead_);
    if (wakeWrite_ >= 0)
        ::close(wakeWrite_);
}

void InputSource::readList(base::UniqueFd fd, std::string name, std::function<void()> onMore)
{
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC) != 0) {
        push({{}, name + ": " + std::strerror(errno)});
        std::lock_guard lock(mutex_);
        listing_ = true;
        listEnded_ = true;
        return;
    }
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
    onMore_ = std::move(onMore);
    listFd_ = std::move(fd);
    {
        std::lock_guard lock(mutex_);
        listing_ = true;
    }
    reader_ = std::thread(&InputSource::readerLoop, this, listFd_.get(), std::move(name));
}

InputSource::Status InputSource::next(InputEntry *entry)
{
    if (!given_.empty()) {
        *entry = {std::move(given_.front()), {}};
        given_.pop_front();
        ++handedOut_;
        return Status::Ready;
    }
    std::unique_lock lock(mutex_);
    if (queue_.empty())
        return listing_ && !listEnded_ ? Status::Waiting : Status::Ended;
    const bool wasFull = queue_.size() >= QueueLines;
    *entry = std::move(queue_.front());
    queue_.pop_front();
    ++handedOut_;
    lock.unlock();
    if (wasFull)
        roomFreed_.notify_one();
    return Status::Ready;
}

bool InputSource::ended() const
{
    if (!given_.empty())
        return false;
    std::lock_guard lock(mutex_);
    return queue_.empty() && (!listing_ || listEnded_);
}

std::uint64_t InputSource::known() const
{
    std::lock_guard lock(mutex_);
    return handedOut_ + given_.size() + queue_.size();
}

bool InputSource::allKnown() const
{
    std::lock_guard lock(mutex_);
    return !listing_ || listEnded_;
}

void InputSource::push(InputEntry entry)
{
    std::unique_lock lock(mutex_);
    roomFreed_.wait(lock, [this] { return stopping_ || queue_.size() < QueueLines; });
    if (stopping_)
        return;
    const bool wasEmpty = queue_.empty();
    queue_.push_back(std::move(entry));
    lock.unlock();
    if (wasEmpty && onMore_)
        onMore_();
}

void InputSource::readerLoop(int fd, std::string name)
{
    std::string line;             // the line so far, at most MaxLineBytes + 2 bytes
    bool refused = false;         // the line has been reported as a failure already
    std::uint64_t lineBytes = 0;  // the whole length of the line so far
    std::uint64_t lineNumber = 1; // of the line being read
    char buffer[64 * 1024];

    const auto lineFailure = [&](const std::string &why) {
        return name + ": line " + std::to_string(lineNumber) + why;
    };
    const auto tooLong = [&] {
        return lineFailure(" is longer than " + std::to_string(MaxLineBytes) + " bytes: " + line.substr(0, 60) + "...");
    };
    const auto refuse = [&](std::string failure) {
        push({{}, std::move(failure)});
        refused = true;
        line.clear();
        line.shrink_to_fit();
    };
    const auto endLine = [&] {
        if (!refused) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.size() > MaxLineBytes)
                push({{}, tooLong()});
            else if (line.find_first_not_of(" \t") != std::string::npos)
                push({std::move(line), {}});
        }
        line.clear();
        refused = false;
        lineBytes = 0;
        ++lineNumber;
    };

    bool reading = true;
    while (reading) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                break;
        }
        pollfd fds[2] = {{fd, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            push({{}, name + ": " + std::strerror(errno)});
            break;
        }
        if (fds[1].revents)
            break;
        const ssize_t n = base::ReadSome(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (n == -EAGAIN)
                continue;
            push({{}, name + ": " + std::strerror(int(-n))});
            break;
        }
        if (n == 0) {
            if (!line.empty() || refused)
                endLine();
            break;
        }
        const char *p = buffer;
        const char *end = buffer + n;
        while (p < end) {
            const char *newline = static_cast<const char *>(std::memchr(p, '\n', std::size_t(end - p)));
            const char *pieceEnd = newline ? newline : end;
            lineBytes += std::uint64_t(pieceEnd - p);
            if (!refused) {
                // A NUL would cut the input short where the system reads it.
                const char *nul = static_cast<const char *>(std::memchr(p, '\0', std::size_t(pieceEnd - p)));
                const char *stop = nul ? nul : pieceEnd;
                // Room for the longest line and a CR before its end, and one byte more to know it is longer.
                const std::size_t room = MaxLineBytes + 2 - line.size();
                line.append(p, std::min(std::size_t(stop - p), room));
                if (line.size() > MaxLineBytes + 1) {
                    line.resize(MaxLineBytes);
                    refuse(tooLong()); // at once: the line may never end
                } else if (nul) {
                    refuse(lineFailure(" holds a NUL byte"));
                }
            }
            if (!newline) {
                if (refused && lineBytes > MaxSkippedLineBytes) {
                    push({{},
                          lineFailure(" does not end within " + std::to_string(MaxSkippedLineBytes / (1024 * 1024)) +
                                      " MiB: the rest of the list is not read")});
                    reading = false;
                }
                break;
            }
            endLine();
            p = newline + 1;
        }
    }

    std::unique_lock lock(mutex_);
    listEnded_ = true;
    lock.unlock();
    if (onMore_)
        onMore_();
}

} // namespace quillan::cli
