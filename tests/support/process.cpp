#include "support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char **environ;

namespace testsupport {

namespace {

int statusOf(int raw)
{
    if (WIFEXITED(raw))
        return WEXITSTATUS(raw);
    return WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : -1;
}

int waitFor(pid_t pid)
{
    int raw = 0;
    while (::waitpid(pid, &raw, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return statusOf(raw);
}

// The environment of this process with `extra` added or replaced.
std::vector<std::string> environmentWith(const std::vector<std::pair<std::string, std::string>> &extra)
{
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        bool replaced = false;
        for (const auto &[name, value] : extra)
            replaced |= std::strncmp(*e, name.c_str(), name.size()) == 0 && (*e)[name.size()] == '=';
        if (!replaced)
            env.emplace_back(*e);
    }
    for (const auto &[name, value] : extra)
        env.push_back(name + "=" + value);
    return env;
}

std::vector<char *> pointersTo(std::vector<std::string> &strings)
{
    std::vector<char *> pointers;
    for (std::string &s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

ProcessResult runProgram(const std::vector<std::string> &argv, const RunOptions &options)
{
    ProcessResult result;
    if (argv.empty())
        return result;
    // Everything the child needs is prepared before the fork.
    std::vector<std::string> args = argv;
    std::vector<std::string> env = environmentWith(options.env);
    std::vector<char *> argp = pointersTo(args);
    std::vector<char *> envp = pointersTo(env);
    const std::string workDir = options.workDir.string();

    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        return result;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        if (!workDir.empty() && ::chdir(workDir.c_str()) != 0)
            ::_exit(126);
        ::execvpe(argp[0], argp.data(), envp.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    if (pid < 0) {
        ::close(in[1]);
        ::close(out[0]);
        ::close(err[0]);
        return result;
    }

    // Feed and drain together, so neither side waits on a full pipe; a child
    // that stops reading early must not kill the test with SIGPIPE.
    ::signal(SIGPIPE, SIG_IGN);
    std::size_t fed = 0;
    int inFd = in[1];
    if (options.input.empty()) {
        ::close(inFd);
        inFd = -1;
    }
    pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {inFd, POLLOUT, 0}};
    std::string *into[2] = {&result.out, &result.err};
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !fds[i].revents)
                continue;
            char buf[4096];
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                into[i]->append(buf, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
            }
        }
        if (fds[2].fd >= 0 && fds[2].revents) {
            const ssize_t n = ::write(fds[2].fd, options.input.data() + fed, options.input.size() - fed);
            if (n > 0)
                fed += static_cast<std::size_t>(n);
            if ((n < 0 && errno != EINTR && errno != EAGAIN) || fed == options.input.size()) {
                ::close(fds[2].fd);
                fds[2].fd = -1;
            }
        }
    }
    if (fds[2].fd >= 0)
        ::close(fds[2].fd);
    result.status = waitFor(pid);
    return result;
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
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0)
            result.output.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    result.completed = waitFor(pid) == 0;
    return result;
}

namespace netns {

ChildResult run(const std::function<std::string()> &fn)
{
    if (::geteuid() != 0 || !sh("ip -V"))
        return {};
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
