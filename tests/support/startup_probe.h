#pragma once
// Starting a windowed program and seeing its windows reach the screen, for
// tests and benchmarks. The program runs unchanged: the shown-mark probe
// (shownmark/ShownMarkPlugin.cpp), loaded into it through Qt's environment,
// reports each top-level window's first painted exposure over a pipe.
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct ShownWindow {
    std::string window; // the widget's object name ("frmSplash")
    double ms = 0;      // since the program was started
};

struct StartupProbe {
    bool started = false;             // the program could be started
    bool shown = false;               // the awaited window was shown in time
    double ms = 0;                    // when it was, since the start
    std::vector<ShownWindow> windows; // every window shown until then, in order
    int status = -1;                  // exit code, 128 + signal number, -1 if not reaped
    bool exitedEarly = false;         // the program ended by itself before the window showed
    std::string err;                  // what the program wrote on standard error
};

using Environment = std::vector<std::pair<std::string, std::string>>;

// Starts argv[0] with the rest as arguments, the probe loaded and `env`
// added to this process's environment (QT_QPA_PLATFORM defaults to
// offscreen when unset), and waits up to timeoutMs for the top-level window
// whose widget is named `window` (empty: the first window of any name) to
// be shown. Then ends the program with SIGTERM (SIGKILL if it lingers) and
// reaps it.
StartupProbe probeStartup(const std::vector<std::string> &argv, const std::string &window, int timeoutMs,
                          const Environment &env = {});

} // namespace testsupport
