// quillan-convert: strips the tags from HTML files into their text files,
// and fetches web pages by their addresses into texts, many at a time; with
// --readable it writes the text a reader sees.
#include "conversion/convert_options.h"
#include "conversion/converter.h"
#include "conversion/readable_converter.h"
#include "quillan_version.h"

#include "common/fd_io.h"
#ifdef QUILLAN_CONVERT_BATCH
#include "conversion/convert_runner.h"
#endif

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace quillan::cli;
constexpr const char *kProgram = ProgramName;

int usageError(const std::string &message)
{
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram, message.c_str(), kProgram);
    return 2;
}

void report(const quillan::ConversionError &e)
{
    std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
}

// Refuses, before anything is written, when standard output is the very
// file the input is read from: the text would be read back as it grows.
void refuseOutputThatIsTheInput(int inFd, const std::string &inName)
{
    struct stat in {};
    struct stat out {};
    if (::fstat(inFd, &in) == 0 && ::fstat(STDOUT_FILENO, &out) == 0 && S_ISREG(out.st_mode) &&
        in.st_dev == out.st_dev && in.st_ino == out.st_ino)
        throw quillan::ConversionError(inName, "input file is output file");
}

// The readable conversion's options; null for tag stripping.
using Readable = const quillan::ReadableOptions *;

void convertToStandardOutput(int inFd, const std::string &inName, Readable readable)
{
    refuseOutputThatIsTheInput(inFd, inName);
    if (readable)
        quillan::convertReadable(inFd, STDOUT_FILENO, inName, "standard output", *readable);
    else
        quillan::convertStream(inFd, STDOUT_FILENO, inName, "standard output");
}

void convertOne(const std::string &in, const std::string *out, Readable readable)
{
    if (in == "-") {
        if (!out || *out == "-")
            convertToStandardOutput(STDIN_FILENO, "standard input", readable);
        else if (readable)
            quillan::convertReadableToFile(STDIN_FILENO, "standard input", *out, *readable);
        else
            quillan::convertToFile(STDIN_FILENO, "standard input", *out);
    } else if (!out) {
        if (readable)
            quillan::convertReadableHtmlFile(in, *readable);
        else
            quillan::convertHtmlFile(in);
    } else if (*out == "-") {
        const platform::UniqueFd fd = quillan::openHtmlFile(in);
        convertToStandardOutput(fd.get(), in, readable);
    } else if (readable) {
        quillan::convertReadableHtmlFile(in, *out, *readable);
    } else {
        quillan::convertHtmlFile(in, *out);
    }
}

// The readable conversion's options of the command line; nothing for tag
// stripping.
std::optional<quillan::ReadableOptions> readableOptionsOf(const Options &options)
{
    if (!options.readable)
        return std::nullopt;
    quillan::ReadableOptions readable;
    readable.links = options.links;
    readable.width = options.width;
    return readable;
}

// The file road, one input after the other: files and standard input.
int convertEach(const Options &options)
{
    const std::optional<quillan::ReadableOptions> readable = readableOptionsOf(options);
    int status = 0;
    for (const std::string &file : options.inputs) {
        try {
            convertOne(file, options.output ? &*options.output : nullptr, readable ? &*readable : nullptr);
        } catch (const quillan::ConversionError &e) {
            report(e);
            status = 1;
        }
    }
    return status;
}

bool hasAddress(const Options &options)
{
    for (const std::string &input : options.inputs)
        if (classifyInput(input) != InputKind::File)
            return true;
    return false;
}

bool readsStandardInput(const Options &options)
{
    for (const std::string &input : options.inputs)
        if (input == "-")
            return true;
    return false;
}

// Several inputs at once, addresses among them, or a list of inputs.
int convertMany(int argc, char **argv, Options options)
{
#ifdef QUILLAN_CONVERT_BATCH
    int status = 0;
    std::optional<InputList> list;
    if (options.list) {
        const bool standardInput = *options.list == "-";
        platform::UniqueFd fd(standardInput ? ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0)
                                            : ::open(options.list->c_str(), O_RDONLY | O_CLOEXEC));
        if (fd)
            list = InputList{std::move(fd), standardInput ? std::string("standard input") : *options.list};
        else {
            // The other inputs still run.
            std::fprintf(stderr, "%s: %s: %s\n", kProgram, options.list->c_str(), std::strerror(errno));
            status = 1;
        }
    }
    RunSettings settings;
    settings.jobs = options.jobs != 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    settings.output = options.output;
    settings.outDir = options.outDir;
    settings.separate = options.separate;
    settings.quiet = options.quiet;
    settings.limits.maxBytes = options.maxSize;
    const std::optional<quillan::ReadableOptions> readable = readableOptionsOf(options);
    settings.readable = readable;
    const auto convertFile = [&readable](const std::string &input, const std::string *output) {
        convertOne(input, output, readable ? &*readable : nullptr);
    };
    const int batchStatus = runBatch(argc, argv, settings, std::move(options.inputs), std::move(list), convertFile);
    return std::max(status, batchStatus);
#else
    (void)argc;
    (void)argv;
    if (hasAddress(options) || options.list || options.outDir || options.separate)
        return usageError("this build converts files only: no addresses, --inputs, --out-dir or --separate");
    return convertEach(options);
#endif
}

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

    const bool batch = hasAddress(options) || options.list || options.outDir || options.separate;
    if (!batch && (options.inputs.size() <= 1 || readsStandardInput(options)))
        return convertEach(options);
    if (readsStandardInput(options))
        return usageError("standard input ('-') cannot be a page together with addresses, --inputs, "
                          "--out-dir or --separate");
    return convertMany(argc, argv, std::move(options));
}
