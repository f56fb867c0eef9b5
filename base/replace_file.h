// Replacing a file by rename: the new contents go to a fresh file in the
// target's folder, which is renamed over the target only once it is
// complete, so the target is at every moment either its old self or the
// whole new file.
//
// The fresh file is named ".NAME.new-RANDOM" after the target's NAME, cut
// to its first 32 bytes (so that a fresh name has at most 48 bytes and fits
// wherever the target's name fits, up to the 255-byte limit), and is
// created with O_EXCL, so two writers never share one, whatever their
// process ids. It is removed when the replacement is abandoned or its owner
// goes out of scope without committing; a process killed outright leaves it
// behind, and RemoveFreshLeftovers() clears such files for a writer that
// knows no one else is writing (one holding the target's lock).
//
// A target that is a symbolic link keeps its meaning: the file the link
// leads to is replaced and the link stays, unless MayFollowLink refuses a
// link on the way (then the replacement fails with EACCES, as the kernel's
// own refusal does).
#pragma once

#include "base/fd_io.h"

#include <filesystem>
#include <optional>

#include <sys/types.h>

namespace base {

// The path that `path` leads to once every symbolic link on its last
// component is followed (up to 40 links); a dangling link leads to the
// missing file it names. Relative links are taken from the link's folder.
std::filesystem::path FollowLinks(const std::filesystem::path &path);

// Whether the symbolic link at `link` may be followed under the rule the
// kernel keeps for shared folders (fs.protected_symlinks), applied here
// whatever the kernel's setting: a link in a folder that is sticky and
// writable by everyone (/tmp) is followed only when it belongs to the user
// following it (the effective user) or to the folder's owner. Anything that
// is not a link, or cannot be looked at, may be followed.
bool MayFollowLink(const std::filesystem::path &link);

// The first link on the way FollowLinks(path) takes that MayFollowLink
// refuses, or an empty path when every step may be taken.
std::filesystem::path RefusedLink(const std::filesystem::path &path);

struct ReplaceOptions {
    // Permission bits of a new target; unset: 0666 less the umask. An
    // existing target keeps its own bits (and, for root, its owner).
    std::optional<mode_t> newFileMode;
    // Flush the file before the rename and the folder after it.
    bool durable = true;
    // While the fresh file exists, a signal that ends the process (SIGINT,
    // SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGPIPE, SIGXCPU,
    // SIGVTALRM, SIGPROF) removes it before the process ends as the signal
    // would end it anyway; and SIGXFSZ no longer ends the process, so that a
    // write past the file size limit fails with EFBIG. Only signals the
    // process leaves at their default action are taken over, from the first
    // such replacement on. Only for code that stays loaded for the life of
    // the process (a library that can be unloaded must not leave a handler
    // behind).
    bool removeOnSignal = false;
};

class FileReplacement {
public:
    FileReplacement() = default;
    FileReplacement(const FileReplacement &) = delete;
    FileReplacement &operator=(const FileReplacement &) = delete;
    ~FileReplacement() { abandon(); }

    // Creates the fresh file for `target`; returns 0 or errno (EISDIR when
    // the target is a folder).
    int open(const std::filesystem::path &target, const ReplaceOptions &options = {});

    // Where to write the new contents.
    int fd() const { return fd_.get(); }
    // The file that will be replaced (links followed).
    const std::filesystem::path &target() const { return target_; }
    const std::filesystem::path &freshPath() const { return fresh_; }

    // Flushes (when durable) and closes the fresh file without renaming it
    // yet, so that several replacements can all be complete before the
    // first one takes effect; returns 0 or errno.
    int complete();

    // Completes the fresh file if needed and renames it over the target;
    // returns 0 or errno. On failure the fresh file is removed and the
    // target left as it was.
    int commit();

    // Removes the fresh file; the target stays as it was.
    void abandon();

private:
    void forget();

    UniqueFd fd_;
    std::filesystem::path target_;
    std::filesystem::path fresh_;
    ReplaceOptions options_;
    int signalSlot_ = -1;
    bool completed_ = false;
};

// Removes the fresh files a replacement of `target` left behind
// (".NAME.new-*" with NAME cut as above or whole, and the older
// "NAME.new-*"). Call only while no other writer of target can be at work,
// nor of another target in the folder whose name starts with the same 32
// bytes.
void RemoveFreshLeftovers(const std::filesystem::path &target);

} // namespace base
