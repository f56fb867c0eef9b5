#include "support/process.h"
#include "support/files.h"

#include "base/fd_io.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace testsupport {

namespace {

int statusOf(int raw)
{
    if (WIFEXITED(raw))
        return WEXITSTATUS(raw);
    return WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : -1;
}

} // namespace

int waitForExit(pid_t pid, std::chrono::milliseconds timeout)
{
    // A descriptor for the child becomes readable when it ends: poll waits
    // for that with the deadline, no sleeping in steps.
    const int pidFd = int(::syscall(SYS_pidfd_open, pid, 0));
    if (pidFd >= 0) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd watch{pidFd, POLLIN, 0};
            const int ready = left.count() > 0 ? ::poll(&watch, 1, int(std::min<long long>(left.count(), 1 << 30))) : 0;
            if (ready > 0)
                break;
            if (ready == 0) { // out of time: the child goes now
                ::kill(pid, SIGKILL);
                break;
            }
            if (errno != EINTR)
                break;
        }
        ::close(pidFd);
    }
    int raw = 0;
    while (::waitpid(pid, &raw, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return statusOf(raw);
}

namespace {

int waitFor(pid_t pid)
{
    return waitForExit(pid, DefaultProcessTimeout);
}

// Reads the rest of fd from where it stands, then closes it.
std::string drain(int fd)
{
    base::UniqueFd owned(fd);
    std::string text;
    base::ReadToEnd(owned.get(), text);
    return text;
}

} // namespace

std::filesystem::path writeMarkProgram(const std::filesystem::path &program, const std::filesystem::path &mark)
{
    // The mark's name is single-quoted in the script: a quote inside it
    // would end the quoting.
    if (mark.string().find('\'') != std::string::npos)
        throw std::runtime_error("a mark path must not hold a single quote");
    const std::string script = "#!/bin/sh\n"
                               "mark='" +
                               mark.string() +
                               "'\n"
                               "tmp=\"$mark.$$\"\n"
                               "{\n"
                               "  printf 'program=%s\\n' \"$0\"\n"
                               "  for a in \"$@\"; do printf 'arg=%s\\n' \"$a\"; done\n"
                               "  printf 'ppid=%s\\n' \"$PPID\"\n"
                               "  printf 'sid=%s\\n' \"$(sed 's/.*) //' /proc/$$/stat | cut -d' ' -f4)\"\n"
                               "  printf 'stdin=%s\\n' \"$(readlink /proc/$$/fd/0)\"\n"
                               "  printf 'fds=%s\\n' \"$(ls /proc/$$/fd | tr '\\n' ' ')\"\n"
                               "} > \"$tmp\" && mv \"$tmp\" \"$mark\"\n";
    writeFile(program, script);
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    return program;
}

bool waitForFile(const std::filesystem::path &file, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::error_code ec;
    while (!std::filesystem::exists(file, ec)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

ProcessResult runProgram(const std::vector<std::string> &argv, const RunOptions &options, const StreamFiles &files)
{
    ProcessResult result;
    // Everything the child needs is prepared before the fork.
    std::vector<std::string> args = argv;
    std::vector<char *> argp;
    for (std::string &a : args)
        argp.push_back(a.data());
    argp.push_back(nullptr);
    const std::string workDir = options.workDir.string();
    const std::string inputFile = files.input.string();
    const std::string appendTo = files.appendTo.string();

    // The streams are in-memory files: no pipe can fill up and block either side.
    const int in = ::memfd_create("stdin", MFD_CLOEXEC);
    const int out = ::memfd_create("stdout", MFD_CLOEXEC);
    const int err = ::memfd_create("stderr", MFD_CLOEXEC);
    const bool fed =
        ::write(in, options.input.data(), options.input.size()) == static_cast<ssize_t>(options.input.size());
    if (!argv.empty() && in >= 0 && out >= 0 && err >= 0 && fed && ::lseek(in, 0, SEEK_SET) == 0) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(in, 0);
            ::dup2(out, 1);
            ::dup2(err, 2);
            if (!workDir.empty() && ::chdir(workDir.c_str()) != 0)
                ::_exit(126);
            if (!inputFile.empty()) {
                const int fd = ::open(inputFile.c_str(), O_RDONLY);
                if (fd < 0 || ::dup2(fd, 0) < 0)
                    ::_exit(126);
            }
            if (!appendTo.empty()) {
                const int fd = ::open(appendTo.c_str(), O_WRONLY | O_APPEND);
                if (fd < 0 || ::dup2(fd, 1) < 0)
                    ::_exit(126);
            }
            ::execvp(argp[0], argp.data());
            ::_exit(127);
        }
        if (pid > 0)
            result.status = waitFor(pid);
    }
    ::lseek(out, 0, SEEK_SET);
    ::lseek(err, 0, SEEK_SET);
    result.out = drain(out);
    result.err = drain(err);
    ::close(in);
    return result;
}

RunningProgram::RunningProgram(const std::vector<std::string> &argv, const std::filesystem::path &workDir)
{
    std::vector<std::string> args = argv;
    std::vector<char *> argp;
    for (std::string &a : args)
        argp.push_back(a.data());
    argp.push_back(nullptr);
    const std::string dir = workDir.string();
    int fds[2];
    if (argv.empty() || ::pipe2(fds, O_CLOEXEC) != 0)
        return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(fds[0], 0);
        for (int sig = 1; sig < NSIG; ++sig)
            ::signal(sig, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        if (!dir.empty() && ::chdir(dir.c_str()) != 0)
            ::_exit(126);
        ::execvp(argp[0], argp.data());
        ::_exit(127);
    }
    ::close(fds[0]);
    input_ = fds[1];
}

RunningProgram::~RunningProgram()
{
    closeInput();
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        waitFor(pid_);
    }
}

bool RunningProgram::write(const std::string &bytes)
{
    if (bytes.empty())
        return true;
    return input_ >= 0 && base::WriteAll(input_, bytes.data(), bytes.size()) == 0;
}

void RunningProgram::closeInput()
{
    if (input_ >= 0)
        ::close(input_);
    input_ = -1;
}

bool RunningProgram::signal(int sig)
{
    return pid_ > 0 && ::kill(pid_, sig) == 0;
}

int RunningProgram::wait(std::chrono::milliseconds timeout)
{
    if (pid_ <= 0)
        return -1;
    const int status = waitForExit(pid_, timeout);
    pid_ = -1;
    return status;
}

ChildResult runInChild(const std::function<std::string()> &fn)
{
    ChildResult result;
    int fds[2];
    if (::pipe(fds) != 0)
        return result;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const std::string out = fn();
        std::size_t written = 0;
        while (written < out.size()) {
            const ssize_t n = ::write(fds[1], out.data() + written, out.size() - written);
            if (n <= 0)
                ::_exit(4);
            written += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        return result;
    }
    result.output = drain(fds[0]);
    result.completed = waitFor(pid) == 0;
    return result;
}

namespace netns {

bool available()
{
    static const bool yes = ::geteuid() == 0 && sh("ip -V") && run([] { return std::string(); }).completed;
    return yes;
}

ChildResult run(const std::function<std::string()> &fn)
{
    return runInChild([&fn] {
        if (::unshare(CLONE_NEWNET) != 0)
            ::_exit(3);
        return fn();
    });
}

bool sh(const std::string &command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

bool addVethWithDefaultRoute()
{
    return sh("ip link set lo up") && sh("ip link add nv0 type veth peer name nv1") && sh("ip link set nv1 up") &&
           sh("ip link set nv0 up") && sh("ip addr add 10.200.0.1/24 dev nv0") &&
           sh("ip route add default via 10.200.0.2 dev nv0");
}

} // namespace netns

} // namespace testsupport
