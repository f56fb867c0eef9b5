#pragma once
// Child processes for tests: running a program with its standard streams
// captured, running a piece of the test in a forked child (to change limits,
// user or namespaces without touching the test runner), and fresh network
// namespaces for shaping routes with `ip`.
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace testsupport {

// How long a child may run before the helpers below end it (SIGKILL).
inline constexpr std::chrono::milliseconds DefaultProcessTimeout{100000};

// Waits until the child pid has ended, at most timeout; then it is killed
// (status 128 + SIGKILL). Returns its status as ProcessResult::status, or
// -1 when it is not a child of this process.
int waitForExit(pid_t pid, std::chrono::milliseconds timeout = DefaultProcessTimeout);

struct ProcessResult {
    int status = -1; // exit code, 128 + signal number, or -1 if it never ran
    std::string out;
    std::string err;
};

struct RunOptions {
    std::string input;             // fed on standard input
    std::filesystem::path workDir; // empty: the test's own
};

// Files to connect instead of the captured streams.
struct StreamFiles {
    std::filesystem::path input;    // given: this file is standard input (RunOptions::input unused)
    std::filesystem::path appendTo; // given: standard output appends to this file (not captured)
};

// Runs argv[0] (looked up in PATH when it has no slash) with the rest as
// arguments, in this process's environment, and waits for it (at most
// DefaultProcessTimeout; then it is killed).
ProcessResult runProgram(const std::vector<std::string> &argv, const RunOptions &options = {},
                         const StreamFiles &files = {});

// A program left running with a pipe on its standard input, for tests that
// act on it while it works (signals). Its signals start at their default
// dispositions, whatever the test runner has set.
class RunningProgram {
public:
    RunningProgram(const std::vector<std::string> &argv, const std::filesystem::path &workDir);
    ~RunningProgram(); // kills a program still running
    RunningProgram(const RunningProgram &) = delete;
    RunningProgram &operator=(const RunningProgram &) = delete;

    bool started() const { return pid_ > 0; }
    bool write(const std::string &bytes); // to its standard input
    void closeInput();
    bool signal(int sig);
    // Waits for it to end, at most timeout (then it is killed); its status
    // as ProcessResult::status.
    int wait(std::chrono::milliseconds timeout = DefaultProcessTimeout);

private:
    int pid_ = -1;
    int input_ = -1;
};

struct ChildResult {
    bool completed = false; // fn returned and its text was handed back
    std::string output;     // what fn returned
};

// Calls fn in a forked child and hands back the text it returns. The child
// ends with _exit, never returning into the test runner, so fn may take away
// limits, change user and so on.
ChildResult runInChild(const std::function<std::string()> &fn);

// Writes an executable shell script at `program` that, each time it runs,
// leaves a mark: it writes the file `mark` (whole, by renaming it into
// place) with one line per fact:
//   program=<$0>  arg=<each argument, in order>  ppid=<parent process>
//   sid=<session>  stdin=<what standard input is>  fds=<open descriptors>
// Proves a program was really started, and how, without starting anything
// real.
std::filesystem::path writeMarkProgram(const std::filesystem::path &program, const std::filesystem::path &mark);

// Waits until `file` exists (a mark being left); false after timeoutMs.
bool waitForFile(const std::filesystem::path &file, int timeoutMs = 10000);

namespace netns {

// Whether run() can work here: root, network namespaces and the `ip` tool.
bool available();

// Runs fn in a child in a new network namespace (unshare(CLONE_NEWNET));
// `completed` is false if the child could not get there or did not finish.
ChildResult run(const std::function<std::string()> &fn);

// Runs a shell command quietly; true on exit status 0.
bool sh(const std::string &command);

// A veth pair nv0/nv1, both up, nv0 with 10.200.0.1/24 and a default route
// through 10.200.0.2. Call inside run().
bool addVethWithDefaultRoute();

} // namespace netns

} // namespace testsupport
