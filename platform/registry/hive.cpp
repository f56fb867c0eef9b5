// Hive files: where they live, a cache of their parsed state, and the
// lock / re-read / write new file / flush / rename cycle of every change.
#include "platform/registry/hive.h"

#include "base/fd_io.h"
#include "base/replace_file.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::string environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

std::filesystem::path userFolder()
{
    if (const std::string data = environment("XDG_DATA_HOME"); !data.empty() && data.front() == '/')
        return std::filesystem::path(data) / "quillan" / "registry";
    std::string home = environment("HOME");
    if (home.empty()) {
        if (const passwd *pw = getpwuid(getuid()); pw && pw->pw_dir)
            home = pw->pw_dir;
    }
    return std::filesystem::path(home) / ".local" / "share" / "quillan" / "registry";
}

// Whether the running program is an installed one: its file lies in the
// programs' or libraries' folder below the prefix it was built to be
// installed in (PREFIX/bin, sbin, libexec, lib...). A program run from its
// build tree is not, even a build tree below the prefix.
bool runningInstalled()
{
    static const bool installed = [] {
        const std::string prefix = QUILLAN_INSTALL_PREFIX;
        if (prefix.empty() || prefix.front() != '/')
            return false;
        std::error_code ec;
        const std::string self = std::filesystem::read_symlink("/proc/self/exe", ec).string();
        if (ec)
            return false;
        const std::string below = prefix.back() == '/' ? prefix : prefix + "/";
        if (self.compare(0, below.size(), below) != 0)
            return false;
        const std::string_view rest = std::string_view(self).substr(below.size());
        const std::string_view folder = rest.substr(0, rest.find('/'));
        return folder != rest &&
               (folder == "bin" || folder == "sbin" || folder == "libexec" || folder.starts_with("lib"));
    }();
    return installed;
}

} // namespace

std::filesystem::path RegDirectory()
{
    if (const std::string dir = environment("QUILLAN_REGISTRY_DIR"); !dir.empty())
        return dir;
    return userFolder();
}

std::filesystem::path RegMachineDirectory()
{
    if (const std::string dir = environment("QUILLAN_REGISTRY_DIR"); !dir.empty())
        return dir;
    if (const std::string dir = environment("QUILLAN_MACHINE_REGISTRY_DIR"); !dir.empty())
        return dir;
    const std::string machine = QUILLAN_MACHINE_REGISTRY_DEFAULT;
    if (!machine.empty() && runningInstalled())
        return machine;
    return userFolder();
}

} // namespace platform

namespace platform::detail {

namespace {

struct FileIdentity {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    std::int64_t mtimeNs = 0;
    std::int64_t ctimeNs = 0;

    static FileIdentity of(const struct stat &st)
    {
        FileIdentity id;
        id.dev = st.st_dev;
        id.ino = st.st_ino;
        id.size = st.st_size;
        id.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        id.ctimeNs = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
        return id;
    }
    bool operator==(const FileIdentity &) const = default;
};

// One cached hive. The cached file stays open, so its inode number cannot be
// handed to another file while the cache relies on it.
struct CacheEntry {
    std::string file;
    FileIdentity id;
    int fd = -1;
    HiveView view;
};

std::mutex cacheMutex;
CacheEntry cache[2];

// Serialises this process's writers; other processes are kept out by the
// lock file.
std::mutex writeMutex;

std::shared_ptr<const Key> emptyTree()
{
    static const std::shared_ptr<const Key> empty = std::make_shared<const Key>();
    return empty;
}

// The hive file's path, rebuilt only when the environment that decides the
// folders has changed.
std::string memoHivePath(HiveId hive)
{
    static const char *const names[] = {"QUILLAN_REGISTRY_DIR", "QUILLAN_MACHINE_REGISTRY_DIR", "XDG_DATA_HOME",
                                        "HOME"};
    struct Memo {
        std::string environment;
        std::string path;
    };
    static std::mutex memoMutex;
    static Memo memo[2];
    std::string now;
    for (const char *name : names) {
        const char *value = std::getenv(name);
        now += value ? "=" + std::string(value) : std::string("-");
        now += '\0';
    }
    std::lock_guard lock(memoMutex);
    Memo &m = memo[static_cast<int>(hive)];
    if (m.path.empty() || m.environment != now) {
        m.environment = std::move(now);
        m.path = (hiveFolder(hive) / hiveFileName(hive)).string();
    }
    return m.path;
}

LONG statusFromErrno(int err)
{
    switch (err) {
    case EACCES:
    case EPERM:
    case EROFS: return ERROR_ACCESS_DENIED;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    default: return ERROR_WRITE_FAULT;
    }
}

std::string describeErrno(const std::string &what, const std::string &file, int err)
{
    return what + " " + file + ": " + std::strerror(err);
}

// Parses hive text into a tree; ERROR_BADDB with a message when the text is
// not a well-formed hive of this root.
HiveView parseHive(HiveId hive, const std::string &file, std::string_view text)
{
    HiveView view;
    std::vector<ImportOp> ops;
    std::string error;
    if (!parseRegedit(text, ops, error)) {
        view.status = ERROR_BADDB;
        view.message = "the registry hive " + file + " is damaged (" + error + "); it has been left as it is";
        return view;
    }
    for (const ImportOp &op : ops) {
        if (op.hive != hive) {
            view.status = ERROR_BADDB;
            view.message = "the registry hive " + file + " is damaged (it holds keys of another root than " +
                           hiveRootName(hive) + "); it has been left as it is";
            return view;
        }
    }
    auto root = std::make_shared<Key>();
    root->name = hiveRootName(hive);
    applyOps(*root, ops, hive);
    view.root = std::move(root);
    return view;
}

// Reads the hive file at `file` (absent: an empty hive). On success also
// hands back the open descriptor and identity of what was read.
HiveView loadFile(HiveId hive, const std::string &file, int &fdOut, FileIdentity &idOut)
{
    fdOut = -1;
    HiveView view;
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            view.root = emptyTree();
            return view;
        }
        view.status = statusFromErrno(errno) == ERROR_ACCESS_DENIED ? ERROR_ACCESS_DENIED : ERROR_BADDB;
        view.message = describeErrno("cannot open the registry hive", file, errno);
        return view;
    }
    struct stat st {};
    std::string text;
    const int err = ::fstat(fd, &st) != 0 ? errno : base::ReadToEnd(fd, text);
    if (err != 0) {
        ::close(fd);
        view.status = ERROR_BADDB;
        view.message = describeErrno("cannot read the registry hive", file, err);
        return view;
    }
    view = parseHive(hive, file, text);
    fdOut = fd;
    idOut = FileIdentity::of(st);
    return view;
}

void storeInCache(HiveId hive, const std::string &file, int fd, const FileIdentity &id, const HiveView &view)
{
    std::lock_guard lock(cacheMutex);
    CacheEntry &e = cache[static_cast<int>(hive)];
    if (e.fd >= 0)
        ::close(e.fd);
    e.file = file;
    e.fd = fd;
    e.id = id;
    e.view = view;
}

// Holds the advisory lock of one hive for the length of a change. A lock
// held by someone else is waited for kLockWaitSeconds at most: a writer
// that stopped while holding it must not hang every other program.
class HiveLock {
public:
    HiveLock(const std::string &lockFile, std::string &message, LONG &status)
    {
        fd_.reset(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd_) {
            status = statusFromErrno(errno);
            message = describeErrno("cannot open the registry lock", lockFile, errno);
            return;
        }
        // A lock file others may open is one they may hold: one of ours
        // that somehow became readable is closed to them again.
        struct stat st {};
        if (::fstat(fd_.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
            status = ERROR_ACCESS_DENIED;
            message = "cannot open the registry lock " + lockFile + ": not a regular file";
            fd_.reset();
            return;
        }
        if ((st.st_mode & 077) != 0 && st.st_uid == ::geteuid())
            ::fchmod(fd_.get(), 0600);
        // The lock is polled, so that the wait can end; polling is not
        // fair by itself, since a writer that releases the lock and takes
        // it again at once (a loop of changes) would win every time. So
        // writers that wait say so with a byte-range lock on the same file
        // (independent of the flock), and a writer that released the lock a
        // moment ago lets them go first.
        const auto start = std::chrono::steady_clock::now();
        if (start - lastRelease() < kRecently) {
            const auto giveWay = start + kGiveWay;
            while (othersWaiting() && std::chrono::steady_clock::now() < giveWay)
                std::this_thread::sleep_for(kPoll);
        }
        const auto deadline = start + std::chrono::seconds(kLockWaitSeconds);
        bool waiting = false;
        while (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR)
                continue;
            if (errno != EWOULDBLOCK) {
                status = statusFromErrno(errno);
                message = describeErrno("cannot lock", lockFile, errno);
                fd_.reset();
                return;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                status = ERROR_BUSY;
                message = "the registry is busy: another program has held " + lockFile + " for more than " +
                          std::to_string(kLockWaitSeconds) + " seconds";
                fd_.reset();
                return;
            }
            if (!waiting)
                waiting = markWaiting(true);
            std::this_thread::sleep_for(kPoll);
        }
        if (waiting)
            markWaiting(false);
        status = ERROR_SUCCESS;
    }
    ~HiveLock()
    {
        if (fd_) {
            ::flock(fd_.get(), LOCK_UN);
            lastRelease() = std::chrono::steady_clock::now();
        }
    }
    HiveLock(const HiveLock &) = delete;
    HiveLock &operator=(const HiveLock &) = delete;

private:
    static constexpr std::chrono::milliseconds kPoll{1};
    static constexpr std::chrono::milliseconds kRecently{50};
    static constexpr std::chrono::milliseconds kGiveWay{20};

    bool markWaiting(bool on)
    {
        struct flock range {};
        range.l_type = on ? F_RDLCK : F_UNLCK;
        range.l_whence = SEEK_SET;
        range.l_start = 0;
        range.l_len = 1;
        return ::fcntl(fd_.get(), F_OFD_SETLK, &range) == 0;
    }
    bool othersWaiting()
    {
        struct flock range {};
        range.l_type = F_WRLCK;
        range.l_whence = SEEK_SET;
        range.l_start = 0;
        range.l_len = 1;
        return ::fcntl(fd_.get(), F_OFD_GETLK, &range) == 0 && range.l_type != F_UNLCK;
    }

    // Writers of this process are serialised by writeMutex.
    static std::chrono::steady_clock::time_point &lastRelease()
    {
        static std::chrono::steady_clock::time_point when;
        return when;
    }

    base::UniqueFd fd_;
};

// One hive taking part in a change: its lock, its new tree and the fresh
// file that will replace it.
struct PendingHive {
    HiveId hive = HiveId::LocalMachine;
    std::string file;
    std::unique_ptr<HiveLock> lock;
    Key root;
    bool changed = false;
    base::FileReplacement fresh;
};

// Locks the hive, clears leftovers of dead writers and reads what is there.
LONG lockAndRead(PendingHive &p, std::string &message)
{
    const std::filesystem::path dir = hiveFolder(p.hive);
    p.file = (dir / hiveFileName(p.hive)).string();
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        message = "cannot create the registry folder " + dir.string() + ": " + ec.message();
        return statusFromErrno(ec.value());
    }
    LONG status = ERROR_SUCCESS;
    p.lock = std::make_unique<HiveLock>(p.file + std::string(kLockSuffix), message, status);
    if (status != ERROR_SUCCESS)
        return status;
    base::RemoveFreshLeftovers(p.file);
    ::unlink((p.file + std::string(kOldLockSuffix)).c_str());

    int fd = -1;
    FileIdentity id;
    HiveView current = loadFile(p.hive, p.file, fd, id);
    if (fd >= 0)
        ::close(fd);
    if (current.status != ERROR_SUCCESS) {
        message = current.message;
        return current.status;
    }
    copyKey(*current.root, p.root);
    p.root.name = hiveRootName(p.hive);
    return ERROR_SUCCESS;
}

// Writes and flushes the new hive file beside the hive, not yet in place.
LONG writeFresh(PendingHive &p, std::string &message)
{
    std::string text(kRegeditHeader);
    writeRegeditKey(p.root, hiveRootName(p.hive), text);
    base::ReplaceOptions options;
    options.newFileMode = 0644;
    int error = p.fresh.open(p.file, options);
    if (error == 0)
        error = base::WriteAll(p.fresh.fd(), text.data(), text.size());
    if (error == 0)
        error = p.fresh.complete();
    if (error != 0) {
        const std::string where = p.fresh.freshPath().empty() ? p.file : p.fresh.freshPath().string();
        message = describeErrno("cannot write the registry hive", where, error);
        p.fresh.abandon();
        return statusFromErrno(error);
    }
    return ERROR_SUCCESS;
}

} // namespace

HiveView readHive(HiveId hive)
{
    const std::string file = hivePath(hive);
    struct stat st {};
    const bool exists = ::stat(file.c_str(), &st) == 0;
    const int statError = exists ? 0 : errno;
    {
        std::lock_guard lock(cacheMutex);
        const CacheEntry &e = cache[static_cast<int>(hive)];
        if (e.view.root || e.view.status != ERROR_SUCCESS) {
            if (e.file == file && exists && e.fd >= 0 && e.id == FileIdentity::of(st))
                return e.view;
        }
    }
    if (!exists && (statError == ENOENT || statError == ENOTDIR)) {
        HiveView view;
        view.root = emptyTree();
        return view;
    }
    int fd = -1;
    FileIdentity id;
    HiveView view = loadFile(hive, file, fd, id);
    if (fd >= 0)
        storeInCache(hive, file, fd, id, view);
    return view;
}

std::filesystem::path hiveFolder(HiveId hive)
{
    return hive == HiveId::LocalMachine ? RegMachineDirectory() : RegDirectory();
}

std::string hivePath(HiveId hive)
{
    return memoHivePath(hive);
}

LONG modifyHive(HiveId hive, const HiveChange &change, std::string &message)
{
    return modifyHives({HiveChangeOf{hive, change}}, message);
}

LONG modifyHives(const std::vector<HiveChangeOf> &changes, std::string &message)
{
    std::lock_guard writer(writeMutex);
    // Always locked in the same order, so two importers cannot deadlock.
    std::vector<const HiveChangeOf *> ordered;
    for (const HiveChangeOf &c : changes)
        ordered.push_back(&c);
    std::sort(ordered.begin(), ordered.end(),
              [](const HiveChangeOf *a, const HiveChangeOf *b) { return a->hive < b->hive; });
    std::vector<std::unique_ptr<PendingHive>> pending;
    for (const HiveChangeOf *c : ordered) {
        auto p = std::make_unique<PendingHive>();
        p->hive = c->hive;
        if (const LONG st = lockAndRead(*p, message); st != ERROR_SUCCESS)
            return st;
        if (const LONG st = c->change(p->root, p->changed); st != ERROR_SUCCESS)
            return st;
        pending.push_back(std::move(p));
    }
    for (auto &p : pending)
        if (p->changed)
            if (const LONG st = writeFresh(*p, message); st != ERROR_SUCCESS)
                return st;
    for (auto &p : pending) {
        if (!p->changed)
            continue;
        if (const int error = p->fresh.commit(); error != 0) {
            message = describeErrno("cannot replace the registry hive", p->file, error);
            return statusFromErrno(error);
        }
        // Cache what was just written, so the next read needs no parse.
        const int newFd = ::open(p->file.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (newFd >= 0 && ::fstat(newFd, &st) == 0) {
            HiveView view;
            view.root = std::make_shared<const Key>(std::move(p->root));
            storeInCache(p->hive, p->file, newFd, FileIdentity::of(st), view);
        } else if (newFd >= 0) {
            ::close(newFd);
        }
    }
    return ERROR_SUCCESS;
}

LONG probeHiveWrite(HiveId hive, std::string &message)
{
    std::lock_guard writer(writeMutex);
    PendingHive p;
    p.hive = hive;
    if (const LONG st = lockAndRead(p, message); st != ERROR_SUCCESS)
        return st;
    const LONG st = writeFresh(p, message);
    p.fresh.abandon();
    return st;
}

bool isRegistryFile(const std::filesystem::path &file)
{
    const std::filesystem::path target = base::FollowLinks(file);
    struct stat targetStat {};
    const bool exists = ::stat(target.c_str(), &targetStat) == 0;
    std::filesystem::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    struct stat folderStat {};
    const bool haveFolder = ::stat(folder.c_str(), &folderStat) == 0;
    const std::string name = target.filename().string();
    for (const HiveId hive : {HiveId::LocalMachine, HiveId::CurrentUser}) {
        const std::filesystem::path hiveFile = hivePath(hive);
        struct stat st {};
        if (exists && ::stat(hiveFile.c_str(), &st) == 0 && st.st_dev == targetStat.st_dev &&
            st.st_ino == targetStat.st_ino)
            return true;
        if (!haveFolder || ::stat(hiveFile.parent_path().c_str(), &st) != 0 || st.st_dev != folderStat.st_dev ||
            st.st_ino != folderStat.st_ino)
            continue;
        const std::string hiveName = hiveFileName(hive);
        if (name == hiveName || name == hiveName + std::string(kLockSuffix) ||
            name == hiveName + std::string(kOldLockSuffix) || name.starts_with(hiveName + ".new-") ||
            name.starts_with("." + hiveName + ".new-"))
            return true;
    }
    return false;
}

} // namespace platform::detail
