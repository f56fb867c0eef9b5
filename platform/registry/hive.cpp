// Hive files: where they live, a cache of their parsed state, and the
// lock / re-read / write new file / flush / rename cycle of every change.
#include "hive.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::filesystem::path RegDirectory()
{
    if (const char* dir = std::getenv("QUILLAN_REGISTRY_DIR"); dir && *dir)
        return dir;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/')
        return std::filesystem::path(data) / "quillan" / "registry";
    std::string home;
    if (const char* h = std::getenv("HOME"); h && *h) {
        home = h;
    } else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) {
        home = pw->pw_dir;
    }
    return std::filesystem::path(home) / ".local" / "share" / "quillan" / "registry";
}

}  // namespace platform

namespace platform::detail {

namespace {

struct FileIdentity {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    std::int64_t mtimeNs = 0;
    std::int64_t ctimeNs = 0;

    static FileIdentity of(const struct stat& st)
    {
        FileIdentity id;
        id.dev = st.st_dev;
        id.ino = st.st_ino;
        id.size = st.st_size;
        id.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        id.ctimeNs = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
        return id;
    }
    bool operator==(const FileIdentity&) const = default;
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
// folder has changed.
std::string hivePath(HiveId hive)
{
    struct Memo {
        std::string env[3];
        bool set[3] = {};
        std::string path;
    };
    static std::mutex memoMutex;
    static Memo memo[2];
    static const char* const names[3] = {"QUILLAN_REGISTRY_DIR", "XDG_DATA_HOME", "HOME"};
    std::lock_guard lock(memoMutex);
    Memo& m = memo[static_cast<int>(hive)];
    bool same = !m.path.empty();
    const char* values[3];
    for (int i = 0; i < 3; ++i) {
        values[i] = std::getenv(names[i]);
        if (same && (m.set[i] != (values[i] != nullptr) || (values[i] && m.env[i] != values[i])))
            same = false;
    }
    if (same)
        return m.path;
    for (int i = 0; i < 3; ++i) {
        m.set[i] = values[i] != nullptr;
        m.env[i] = values[i] ? values[i] : "";
    }
    m.path = (RegDirectory() / hiveFileName(hive)).string();
    return m.path;
}

bool readAll(int fd, std::string& out)
{
    out.clear();
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return true;
        out.append(buf, static_cast<size_t>(n));
    }
}

bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

LONG statusFromErrno(int err)
{
    switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_WRITE_FAULT;
    }
}

std::string describeErrno(const std::string& what, const std::string& file, int err)
{
    return what + " " + file + ": " + std::strerror(err);
}

// Parses hive text into a tree; ERROR_BADDB with a message when the text is
// not a well-formed hive of this root.
HiveView parseHive(HiveId hive, const std::string& file, std::string_view text)
{
    HiveView view;
    std::vector<ImportOp> ops;
    std::string error;
    if (!parseRegedit(text, ops, error)) {
        view.status = ERROR_BADDB;
        view.message = "the registry hive " + file + " is damaged (" + error + "); it has been left as it is";
        return view;
    }
    for (const ImportOp& op : ops) {
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
HiveView loadFile(HiveId hive, const std::string& file, int& fdOut, FileIdentity& idOut)
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
    if (::fstat(fd, &st) != 0 || !readAll(fd, text)) {
        const int err = errno;
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

void storeInCache(HiveId hive, const std::string& file, int fd, const FileIdentity& id, const HiveView& view)
{
    std::lock_guard lock(cacheMutex);
    CacheEntry& e = cache[static_cast<int>(hive)];
    if (e.fd >= 0)
        ::close(e.fd);
    e.file = file;
    e.fd = fd;
    e.id = id;
    e.view = view;
}

// Holds the advisory lock of one hive for the length of a change.
class HiveLock {
public:
    HiveLock(const std::string& lockFile, std::string& message, LONG& status)
    {
        fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ < 0) {
            status = statusFromErrno(errno);
            message = describeErrno("cannot open the registry lock", lockFile, errno);
            return;
        }
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                status = statusFromErrno(errno);
                message = describeErrno("cannot lock", lockFile, errno);
                ::close(fd_);
                fd_ = -1;
                return;
            }
        }
        status = ERROR_SUCCESS;
    }
    ~HiveLock()
    {
        if (fd_ >= 0) {
            ::flock(fd_, LOCK_UN);
            ::close(fd_);
        }
    }
    HiveLock(const HiveLock&) = delete;
    HiveLock& operator=(const HiveLock&) = delete;

private:
    int fd_ = -1;
};

// Writes `text` to a new file beside `file`, flushes it and renames it over
// `file`, then flushes the folder.
LONG replaceFile(const std::filesystem::path& dir, const std::string& file, std::string_view text,
                 std::string& message)
{
    static unsigned counter = 0;
    mode_t mode = 0644;
    struct stat old {};
    if (::stat(file.c_str(), &old) == 0)
        mode = old.st_mode & 07777;
    const std::string temp = file + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
        message = describeErrno("cannot write the registry hive", temp, errno);
        return statusFromErrno(errno);
    }
    const bool written = writeAll(fd, text) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    const int err = errno;
    if (::close(fd) != 0 || !written) {
        const int cerr = written ? errno : err;
        ::unlink(temp.c_str());
        message = describeErrno("cannot write the registry hive", temp, cerr);
        return statusFromErrno(cerr);
    }
    if (::rename(temp.c_str(), file.c_str()) != 0) {
        const int rerr = errno;
        ::unlink(temp.c_str());
        message = describeErrno("cannot replace the registry hive", file, rerr);
        return statusFromErrno(rerr);
    }
    if (const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return ERROR_SUCCESS;
}

}  // namespace

HiveView readHive(HiveId hive)
{
    const std::string file = hivePath(hive);
    struct stat st {};
    const bool exists = ::stat(file.c_str(), &st) == 0;
    const int statError = exists ? 0 : errno;
    {
        std::lock_guard lock(cacheMutex);
        const CacheEntry& e = cache[static_cast<int>(hive)];
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

LONG modifyHive(HiveId hive, const HiveChange& change, std::string& message)
{
    std::lock_guard writer(writeMutex);
    const std::filesystem::path dir = RegDirectory();
    const std::string file = (dir / hiveFileName(hive)).string();
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        message = "cannot create the registry folder " + dir.string() + ": " + ec.message();
        return statusFromErrno(ec.value());
    }
    LONG status = ERROR_SUCCESS;
    HiveLock lock(file + ".lock", message, status);
    if (status != ERROR_SUCCESS)
        return status;

    int fd = -1;
    FileIdentity id;
    HiveView current = loadFile(hive, file, fd, id);
    if (fd >= 0)
        ::close(fd);
    if (current.status != ERROR_SUCCESS) {
        message = current.message;
        return current.status;
    }
    // The change works on a tree of its own; readers keep the old one.
    Key root;
    copyKey(*current.root, root);
    root.name = hiveRootName(hive);
    bool changed = false;
    status = change(root, changed);
    if (status != ERROR_SUCCESS || !changed)
        return status;

    std::string text(kRegeditHeader);
    writeRegeditKey(root, hiveRootName(hive), text);
    status = replaceFile(dir, file, text, message);
    if (status != ERROR_SUCCESS)
        return status;

    // Cache what was just written, so the next read needs no parse.
    const int newFd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (newFd >= 0 && ::fstat(newFd, &st) == 0) {
        HiveView view;
        view.root = std::make_shared<const Key>(std::move(root));
        storeInCache(hive, file, newFd, FileIdentity::of(st), view);
    } else if (newFd >= 0) {
        ::close(newFd);
    }
    return ERROR_SUCCESS;
}

}  // namespace platform::detail
