#include "platform/process/spawn.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace platform {

namespace {

// posix_spawn's attributes and file actions, released with the object.
class SpawnSetup {
public:
    SpawnSetup()
    {
        attrOk_ = posix_spawnattr_init(&attr_) == 0;
        actionsOk_ = posix_spawn_file_actions_init(&actions_) == 0;
    }
    ~SpawnSetup()
    {
        if (attrOk_)
            posix_spawnattr_destroy(&attr_);
        if (actionsOk_)
            posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnSetup(const SpawnSetup &) = delete;
    SpawnSetup &operator=(const SpawnSetup &) = delete;

    // A new session, default signal handling and an empty mask; /dev/null
    // as standard input and nothing open above standard error.
    int configure()
    {
        if (!attrOk_ || !actionsOk_)
            return ENOMEM;
        sigset_t none;
        sigset_t all;
        sigemptyset(&none);
        sigfillset(&all);
        int rc = posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        if (rc == 0)
            rc = posix_spawnattr_setsigmask(&attr_, &none);
        if (rc == 0)
            rc = posix_spawnattr_setsigdefault(&attr_, &all);
        if (rc == 0)
            rc = posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        if (rc == 0)
            rc = posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1);
        return rc;
    }

    const posix_spawnattr_t *attr() const { return &attr_; }
    const posix_spawn_file_actions_t *actions() const { return &actions_; }

private:
    posix_spawnattr_t attr_{};
    posix_spawn_file_actions_t actions_{};
    bool attrOk_ = false;
    bool actionsOk_ = false;
};

} // namespace

int StartDetached(const std::vector<std::string> &argv)
{
    if (argv.empty() || argv.front().empty())
        return ENOENT;
    std::vector<char *> args;
    args.reserve(argv.size() + 1);
    for (const std::string &word : argv) {
        if (word.find('\0') != std::string::npos)
            return EINVAL;
        args.push_back(const_cast<char *>(word.c_str()));
    }
    args.push_back(nullptr);

    SpawnSetup setup;
    if (const int rc = setup.configure(); rc != 0)
        return rc;

    // The intermediate process starts the program and ends with the outcome
    // as its exit status (0 or the errno value), so the program is adopted
    // by init and nobody here has to reap it later. Only posix_spawnp and
    // _exit run in it.
    const pid_t middle = fork();
    if (middle < 0)
        return errno;
    if (middle == 0) {
        pid_t pid = 0;
        const int rc = posix_spawnp(&pid, args[0], setup.actions(), setup.attr(), args.data(), environ);
        _exit(rc & 0xFF);
    }

    int status = 0;
    pid_t waited;
    do {
        waited = waitpid(middle, &status, 0);
    } while (waited < 0 && errno == EINTR);
    if (waited < 0)
        return errno;
    if (!WIFEXITED(status))
        return EIO;
    return WEXITSTATUS(status);
}

} // namespace platform
