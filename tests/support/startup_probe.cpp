#include "support/startup_probe.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace testsupport {

namespace {

long long monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// This process's environment with the probe's variables and `extra` on top.
std::vector<std::string> childEnvironment(const Environment &extra, int markFd)
{
    std::map<std::string, std::string> vars;
    for (char **e = environ; *e; ++e) {
        const std::string entry = *e;
        const auto eq = entry.find('=');
        if (eq != std::string::npos)
            vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    vars.emplace("QT_QPA_PLATFORM", "offscreen");
    vars["QT_PLUGIN_PATH"] = QUILLAN_PROBE_PLUGIN_PATH;
    vars["QT_QPA_GENERIC_PLUGINS"] = "shownmark";
    vars["QUILLAN_SHOWN_MARK_FD"] = std::to_string(markFd);
    for (const auto &[name, value] : extra)
        vars[name] = value;
    std::vector<std::string> out;
    for (const auto &[name, value] : vars)
        out.push_back(name + "=" + value);
    return out;
}

int decodeStatus(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

// Ends the child: SIGTERM, then SIGKILL after a grace of five seconds.
int endChild(pid_t pid)
{
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid)
        return decodeStatus(status);
    kill(pid, SIGTERM);
    for (int i = 0; i < 500; ++i) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return decodeStatus(status);
        usleep(10000);
    }
    kill(pid, SIGKILL);
    return waitpid(pid, &status, 0) == pid ? decodeStatus(status) : -1;
}

bool matches(const std::string &shown, const std::string &wanted)
{
    return wanted.empty() || shown == wanted;
}

} // namespace

StartupProbe probeStartup(const std::vector<std::string> &argv, const std::string &window, int timeoutMs,
                          const Environment &env)
{
    StartupProbe probe;
    int marks[2];
    int errs[2];
    if (argv.empty() || pipe2(marks, O_CLOEXEC) != 0)
        return probe;
    if (pipe2(errs, O_CLOEXEC) != 0) {
        close(marks[0]);
        close(marks[1]);
        return probe;
    }
    // The child gets the write end under the same number; only it stays
    // open across exec.
    const std::vector<std::string> envStrings = childEnvironment(env, marks[1]);
    std::vector<char *> envp;
    for (const auto &s : envStrings)
        envp.push_back(const_cast<char *>(s.c_str()));
    envp.push_back(nullptr);
    std::vector<char *> args;
    for (const auto &s : argv)
        args.push_back(const_cast<char *>(s.c_str()));
    args.push_back(nullptr);

    const long long start = monotonicNs();
    const pid_t pid = fork();
    if (pid == 0) {
        fcntl(marks[1], F_SETFD, 0);
        dup2(errs[1], STDERR_FILENO);
        const int devnull = open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            dup2(devnull, STDIN_FILENO);
            dup2(devnull, STDOUT_FILENO);
        }
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
    close(marks[1]);
    close(errs[1]);
    if (pid < 0) {
        close(marks[0]);
        close(errs[0]);
        return probe;
    }
    probe.started = true;

    std::string pending;
    bool marksOpen = true;
    bool errsOpen = true;
    const long long deadline = start + static_cast<long long>(timeoutMs) * 1000000LL;
    while (!probe.shown && marksOpen) {
        const long long left = (deadline - monotonicNs()) / 1000000LL;
        if (left <= 0)
            break;
        pollfd fds[2] = {{marks[0], POLLIN, 0}, {errsOpen ? errs[0] : -1, POLLIN, 0}};
        const int ready = poll(fds, 2, static_cast<int>(left));
        if (ready < 0 && errno != EINTR)
            break;
        char buffer[4096];
        if (fds[1].revents) {
            const ssize_t n = read(errs[0], buffer, sizeof buffer);
            if (n > 0)
                probe.err.append(buffer, static_cast<size_t>(n));
            else
                errsOpen = false;
        }
        if (fds[0].revents) {
            const ssize_t n = read(marks[0], buffer, sizeof buffer);
            if (n <= 0) {
                marksOpen = false; // the program has ended
                break;
            }
            pending.append(buffer, static_cast<size_t>(n));
            for (auto eol = pending.find('\n'); eol != std::string::npos; eol = pending.find('\n')) {
                std::istringstream line(pending.substr(0, eol));
                pending.erase(0, eol + 1);
                long long ns = 0;
                std::string name;
                line >> ns >> name;
                const std::string suffix = "Window";
                if (name.size() > suffix.size() &&
                    name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
                    name.erase(name.size() - suffix.size());
                const ShownWindow shown{name, (ns - start) / 1e6};
                probe.windows.push_back(shown);
                if (!probe.shown && matches(name, window)) {
                    probe.shown = true;
                    probe.ms = shown.ms;
                }
            }
        }
    }
    int status = 0;
    probe.exitedEarly = !probe.shown && waitpid(pid, &status, WNOHANG) == pid;
    probe.status = probe.exitedEarly ? decodeStatus(status) : endChild(pid);
    // Whatever the program still had to say on standard error.
    if (errsOpen) {
        char buffer[4096];
        fcntl(errs[0], F_SETFL, O_NONBLOCK);
        for (ssize_t n; (n = read(errs[0], buffer, sizeof buffer)) > 0;)
            probe.err.append(buffer, static_cast<size_t>(n));
    }
    close(marks[0]);
    close(errs[0]);
    return probe;
}

} // namespace testsupport
