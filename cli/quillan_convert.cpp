// quillan-convert: strips the tags from HTML files into their text files,
// and fetches web pages by their addresses into texts, many at a time; with
// --readable it writes the text a reader sees.
//
// The program itself is plain C++ and starts quickly: files and standard
// input are converted here, one after the other. Addresses, lists, output
// folders and several inputs at once go to the runner in the network
// program (convert_net_program.h), which takes this process over when
// needed.
#include "cli/convert_archives.h"
#include "cli/convert_files.h"
#include "cli/convert_options.h"
#include "convert/converter.h"
#include "quillan_version.h"

#ifdef QUILLAN_CONVERT_NET_PROGRAM
#include "cli/convert_net_program.h"
#endif

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

using namespace quillan::cli;
constexpr const char *kProgram = ProgramName;

void report(const quillan::convert::ConversionError &e)
{
    std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
}

// The file road, one input after the other: files and standard input.
int convertEach(const Options &options)
{
    const quillan::text::Options text = textOptionsOf(options);
    int status = 0;
    for (const std::string &file : options.inputs) {
        try {
            const std::string remark =
                convertOneTelling(file, options.output ? &*options.output : nullptr, text, options.verbose);
            if (!remark.empty())
                std::fprintf(stderr, "%s: %s\n", kProgram, remark.c_str());
        } catch (const quillan::convert::ConversionError &e) {
            report(e);
            status = 1;
        }
    }
    return status;
}

#ifdef QUILLAN_CONVERT_NET_PROGRAM
// The folder of the program's own file (links followed), with its slash.
std::string ownFolder()
{
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return {};
    const std::string self(path, std::size_t(n));
    return self.substr(0, self.rfind('/') + 1);
}

// Replaces this process by the network program from the program's own
// folder, with the same command line; returns only when that fails.
int runThroughNetProgram(char **argv)
{
    const std::string folder = ownFolder();
    const std::string program = folder + NetProgramFile;
    // Never a bare name: it would be looked for along the path.
    if (!folder.empty())
        ::execv(program.c_str(), argv);
    const char *reason = folder.empty() ? "the program's own folder is unknown" : std::strerror(errno);
    std::fprintf(stderr, "%s: addresses and batches need %s beside the program: %s%s%s\n", kProgram, NetProgramFile,
                 folder.empty() ? "" : program.c_str(), folder.empty() ? "" : ": ", reason);
    return 1;
}
#endif

} // namespace

int main(int argc, char **argv)
{
    // A text outgrowing the file size limit (ulimit -f) is a failed write,
    // reported like any other, not the end of the program.
    struct sigaction current {};
    if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
        ::signal(SIGXFSZ, SIG_IGN);

    const ParsedCommandLine parsed = parseCommandLine(argc, argv);
    switch (parsed.action) {
    case ParsedCommandLine::Action::Help: printUsage(stdout); return 0;
    case ParsedCommandLine::Action::Version: std::printf("%s %s\n", kProgram, quillan::version::Text); return 0;
    case ParsedCommandLine::Action::UsageError: return usageError(parsed.error);
    case ParsedCommandLine::Action::Run: break;
    }
    Options options = parsed.options;
    if (options.inputs.empty() && !options.list)
        options.inputs.push_back("-");
    if (options.warc)
        return convertArchives(options);

    if (!needsRunner(options))
        return convertEach(options);
    if (readsStandardInput(options))
        return usageError("standard input ('-') cannot be a page together with addresses, --inputs, "
                          "--out-dir or --separate");
#ifdef QUILLAN_CONVERT_NET_PROGRAM
    std::fflush(nullptr);
    return runThroughNetProgram(argv);
#else
    if (!hasAddress(options) && !options.list && !options.outDir && !options.separate)
        return convertEach(options); // several files, one after the other
    return usageError("this build converts files only: no addresses, --inputs, --out-dir or --separate");
#endif
}
