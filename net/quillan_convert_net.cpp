// quillan-convert-net: the runner of addresses and batches for
// quillan-convert, which hands a command line over to it (exec) only when
// the line needs it; see convert_net_program.h. Its messages name
// quillan-convert, the program the user started.
#include "cli/convert_files.h"
#include "net/convert_runner.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace quillan::cli;
using namespace quillan::net;

int runMany(int argc, char **argv)
{
    const ParsedCommandLine parsed = parseCommandLine(argc, argv);
    if (parsed.action != ParsedCommandLine::Action::Run)
        return usageError(parsed.error.empty() ? std::string("not a command line that converts") : parsed.error);
    Options options = parsed.options;

    int status = 0;
    std::optional<InputList> list;
    if (options.list) {
        const bool standardInput = *options.list == "-";
        base::UniqueFd fd(standardInput ? ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0)
                                        : ::open(options.list->c_str(), O_RDONLY | O_CLOEXEC));
        if (fd)
            list = InputList{std::move(fd), standardInput ? std::string("standard input") : *options.list};
        else {
            // The other inputs still run.
            std::fprintf(stderr, "%s: %s: %s\n", ProgramName, options.list->c_str(), std::strerror(errno));
            status = 1;
        }
    }
    RunSettings settings;
    settings.jobs = options.jobs != 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    settings.output = options.output;
    settings.outDir = options.outDir;
    settings.separate = options.separate;
    settings.quiet = options.quiet;
    settings.verbose = options.verbose;
    settings.limits.maxBytes = options.maxSize;
    settings.text = textOptionsOf(options);
    const bool verbose = options.verbose;
    const auto convertFile = [text = settings.text, verbose](const std::string &input, const std::string *output) {
        return convertOneTelling(input, output, text, verbose);
    };
    const int batchStatus = runBatch(argc, argv, settings, std::move(options.inputs), std::move(list), convertFile);
    return std::max(status, batchStatus);
}

} // namespace

int main(int argc, char **argv)
{
    // As in quillan-convert (an ignored signal stays ignored across exec,
    // but the program may also be started by itself).
    struct sigaction current {};
    if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
        ::signal(SIGXFSZ, SIG_IGN);
    try {
        return runMany(argc, argv);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s: %s\n", ProgramName, error.what());
    } catch (...) {
        std::fprintf(stderr, "%s: the run ended by an unknown error\n", ProgramName);
    }
    return 1;
}
