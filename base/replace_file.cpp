#include "base/replace_file.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace base {

namespace {

// ---------------------------------------------------------------------------
// Fresh files that a fatal signal removes. The handler may run on any thread
// at any moment, so the table is plain storage: a slot's path is written
// before the slot is marked ready, and the handler only reads ready slots.

constexpr int kSlots = 32;
constexpr int kSlotFree = 0;
constexpr int kSlotClaimed = 1;
constexpr int kSlotReady = 2;

struct SignalSlot {
    std::atomic<int> state{kSlotFree};
    char path[PATH_MAX] = {};
};
// Constant-initialized, so it stays in zeroed storage that a process never
// touches unless it writes a file: a dynamic initializer would write to all
// of its 33 pages at every start.
constinit SignalSlot signalSlots[kSlots];

// Every signal whose default action ends the process and that can be
// caught, except the ones that report a fault of the program itself.
constexpr int kCleanupSignals[] = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT,   SIGUSR1, SIGUSR2,
                                   SIGALRM, SIGPIPE, SIGXCPU, SIGVTALRM, SIGPROF, SIGXFSZ};

// A file that outgrows the process's size limit raises SIGXFSZ, which ends
// the process by default. Caught, it lets the write fail with EFBIG instead,
// which the writer reports and cleans up after like any other failed write.
extern "C" void letTheWriteFail(int) {}

extern "C" void removeFreshFilesAndDie(int sig)
{
    const int saved = errno;
    for (SignalSlot &slot : signalSlots)
        if (slot.state.load(std::memory_order_acquire) == kSlotReady)
            ::unlink(slot.path);
    // End the way the signal would have ended the process: it is blocked
    // while this handler runs and arrives again once it returns.
    ::signal(sig, SIG_DFL);
    ::raise(sig);
    errno = saved;
}

// Installs the handler where the process leaves the signal to its default
// action; a program with handlers of its own, or one that ignores the
// signal, keeps them.
void installSignalHandlers()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (const int sig : kCleanupSignals) {
            struct sigaction current {};
            if (::sigaction(sig, nullptr, &current) != 0 || current.sa_handler != SIG_DFL ||
                (current.sa_flags & SA_SIGINFO))
                continue;
            struct sigaction ours {};
            ours.sa_handler = sig == SIGXFSZ ? letTheWriteFail : removeFreshFilesAndDie;
            sigemptyset(&ours.sa_mask);
            for (const int other : kCleanupSignals)
                sigaddset(&ours.sa_mask, other);
            ::sigaction(sig, &ours, nullptr);
        }
    });
}

int claimSignalSlot(const std::string &path)
{
    if (path.size() >= PATH_MAX)
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = kSlotFree;
        if (signalSlots[i].state.compare_exchange_strong(expected, kSlotClaimed)) {
            std::memcpy(signalSlots[i].path, path.c_str(), path.size() + 1);
            signalSlots[i].state.store(kSlotReady, std::memory_order_release);
            installSignalHandlers();
            return i;
        }
    }
    return -1;
}

void releaseSignalSlot(int slot)
{
    if (slot >= 0)
        signalSlots[slot].state.store(kSlotFree, std::memory_order_release);
}

// ---------------------------------------------------------------------------

std::string randomPart()
{
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    unsigned char bytes[10];
    if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        static std::atomic<std::uint64_t> counter{0};
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        std::uint64_t mix = static_cast<std::uint64_t>(now.tv_nsec) ^ (static_cast<std::uint64_t>(::getpid()) << 32) ^
                            (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
        for (unsigned char &b : bytes) {
            b = static_cast<unsigned char>(mix);
            mix = mix * 6364136223846793005ull + 1442695040888963407ull;
        }
    }
    std::string out;
    for (const unsigned char b : bytes)
        out += digits[b % 36];
    return out;
}

void flushFolder(const std::filesystem::path &folder)
{
    const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

// The start of every fresh file's name for a target named `name`: the name
// cut to kFreshNameKept bytes, so that a fresh name stays short however long
// the target's name is.
constexpr std::size_t kFreshNameKept = 32;

std::string freshPrefix(const std::string &name)
{
    return "." + name.substr(0, kFreshNameKept) + ".new-";
}

std::filesystem::path folderOf(const std::filesystem::path &path)
{
    std::filesystem::path folder = path.parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

} // namespace

namespace {

// Follows the links on the last component of `path`; stops before the first
// link `mayFollow` refuses and hands that link to *refused.
std::filesystem::path followLinks(const std::filesystem::path &path, bool checked, std::filesystem::path *refused)
{
    std::filesystem::path current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        if (checked && !MayFollowLink(current)) {
            if (refused)
                *refused = current;
            return current;
        }
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
        const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n < 0 || static_cast<std::size_t>(n) >= target.size())
            return current;
        target.resize(static_cast<std::size_t>(n));
        const std::filesystem::path next(target);
        current = next.is_absolute() ? next : current.parent_path() / next;
    }
    return current;
}

} // namespace

std::filesystem::path FollowLinks(const std::filesystem::path &path)
{
    return followLinks(path, false, nullptr);
}

bool MayFollowLink(const std::filesystem::path &link)
{
    struct stat linkStat {};
    if (::lstat(link.c_str(), &linkStat) != 0 || !S_ISLNK(linkStat.st_mode))
        return true;
    struct stat folderStat {};
    if (::stat(folderOf(link).c_str(), &folderStat) != 0)
        return true;
    const bool shared = (folderStat.st_mode & S_ISVTX) && (folderStat.st_mode & S_IWOTH);
    return !shared || linkStat.st_uid == ::geteuid() || linkStat.st_uid == folderStat.st_uid;
}

std::filesystem::path RefusedLink(const std::filesystem::path &path)
{
    std::filesystem::path refused;
    followLinks(path, true, &refused);
    return refused;
}

int FileReplacement::open(const std::filesystem::path &target, const ReplaceOptions &options)
{
    abandon();
    if (target.empty())
        return ENOENT;
    options_ = options;
    std::filesystem::path refused;
    target_ = followLinks(target, true, &refused);
    if (!refused.empty()) {
        target_.clear();
        return EACCES;
    }

    mode_t mode = 0666;
    bool keepMode = false;
    struct stat old {};
    const bool exists = ::stat(target_.c_str(), &old) == 0;
    if (exists) {
        if (S_ISDIR(old.st_mode))
            return EISDIR;
        mode = old.st_mode & 07777;
        keepMode = true;
    } else if (options.newFileMode) {
        mode = *options.newFileMode;
        keepMode = true;
    }

    const std::filesystem::path folder = folderOf(target_);
    const std::string prefix = freshPrefix(target_.filename().string());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path fresh = folder / (prefix + randomPart());
        // Known to the signal handler before it exists, so that no signal
        // can come between its creation and its registration.
        if (options.removeOnSignal)
            signalSlot_ = claimSignalSlot(fresh.string());
        const int fd = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, keepMode ? 0600 : 0666);
        if (fd < 0) {
            const int error = errno;
            releaseSignalSlot(signalSlot_);
            signalSlot_ = -1;
            if (error == EEXIST)
                continue;
            return error;
        }
        fd_.reset(fd);
        fresh_ = fresh;
        if (exists && ::geteuid() == 0)
            (void)::fchown(fd, old.st_uid, old.st_gid);
        if (keepMode && ::fchmod(fd, mode) != 0) {
            const int error = errno;
            abandon();
            return error;
        }
        return 0;
    }
    return EEXIST;
}

int FileReplacement::complete()
{
    if (completed_)
        return 0;
    if (!fd_)
        return EBADF;
    int error = 0;
    if (options_.durable && ::fsync(fd_.get()) != 0)
        error = errno;
    if (const int closeError = fd_.reset(); error == 0)
        error = closeError;
    completed_ = error == 0;
    return error;
}

int FileReplacement::commit()
{
    int error = complete();
    if (error == 0 && ::rename(fresh_.c_str(), target_.c_str()) != 0)
        error = errno;
    if (error != 0) {
        abandon();
        return error;
    }
    forget();
    if (options_.durable)
        flushFolder(folderOf(target_));
    return 0;
}

void FileReplacement::abandon()
{
    fd_.reset();
    if (!fresh_.empty())
        ::unlink(fresh_.c_str());
    forget();
}

void FileReplacement::forget()
{
    releaseSignalSlot(signalSlot_);
    signalSlot_ = -1;
    fresh_.clear();
    completed_ = false;
}

void RemoveFreshLeftovers(const std::filesystem::path &target)
{
    const std::filesystem::path folder = folderOf(target);
    const std::string name = target.filename().string();
    const std::string hidden = freshPrefix(name);
    const std::string uncut = "." + name + ".new-";
    const std::string older = name + ".new-";
    DIR *dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string_view entryName(entry->d_name);
        if (entryName.starts_with(hidden) || entryName.starts_with(uncut) || entryName.starts_with(older))
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

} // namespace base
