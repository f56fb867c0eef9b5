// Runs a piece of code in a forked child inside a fresh network namespace
// (unshare(CLONE_NEWNET)), so that tests can shape routes and interfaces
// with `ip` without touching the machine's own network.
#pragma once

#include <sys/types.h>
#include <sys/wait.h>
#include <sched.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

namespace netns {

struct Result {
    bool available = false;  // false: not root, no namespaces, or no `ip`
    std::string output;      // what the child's function returned
};

inline bool haveIpTool()
{
    return std::system("ip -V >/dev/null 2>&1") == 0;
}

// Runs a shell command in the current namespace; true on exit status 0.
inline bool sh(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Calls fn in a child process in a new network namespace and returns its
// text. The child ends with _exit, never returning into the test runner.
inline Result run(const std::function<std::string()>& fn)
{
    Result r;
    if (geteuid() != 0 || !haveIpTool())
        return r;
    int fds[2];
    if (pipe(fds) != 0)
        return r;
    pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return r;
    }
    if (pid == 0) {
        close(fds[0]);
        if (unshare(CLONE_NEWNET) != 0)
            _exit(3);
        std::string out = fn();
        ssize_t written = write(fds[1], out.data(), out.size());
        _exit(written == static_cast<ssize_t>(out.size()) ? 0 : 4);
    }
    close(fds[1]);
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        r.output.append(buf, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.available = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return r;
}

// A veth pair nv0/nv1, both up, nv0 with 10.200.0.1/24 and a default route
// through 10.200.0.2. Call inside run().
inline bool addVethWithDefaultRoute()
{
    return sh("ip link set lo up") && sh("ip link add nv0 type veth peer name nv1") && sh("ip link set nv1 up") &&
           sh("ip link set nv0 up") && sh("ip addr add 10.200.0.1/24 dev nv0") &&
           sh("ip route add default via 10.200.0.2 dev nv0");
}

}  // namespace netns
