#include "cli/convert_files.h"

#include "text/article/article_extractor.h"

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace quillan::cli {

namespace {

// Refuses, before anything is written, when standard output is the very
// file the input is read from: the text would be read back as it grows.
void refuseOutputThatIsTheInput(int inFd, const std::string &inName)
{
    struct stat in {};
    struct stat out {};
    if (::fstat(inFd, &in) == 0 && ::fstat(STDOUT_FILENO, &out) == 0 && S_ISREG(out.st_mode) &&
        in.st_dev == out.st_dev && in.st_ino == out.st_ino)
        throw convert::ConversionError(inName, "input file is output file");
}

text::Result convertToStandardOutput(int inFd, const std::string &inName, const text::Options &options)
{
    refuseOutputThatIsTheInput(inFd, inName);
    return convert::convertStream(inFd, STDOUT_FILENO, inName, "standard output", options);
}

} // namespace

text::Result convertOne(const std::string &in, const std::string *out, const text::Options &pageOptions)
{
    text::Options options = pageOptions;
    options.source = in;
    if (in == "-") {
        if (!out || *out == "-")
            return convertToStandardOutput(STDIN_FILENO, "standard input", options);
        return convert::convertToFile(STDIN_FILENO, "standard input", *out, options);
    }
    if (out && *out == "-") {
        const base::UniqueFd fd = convert::openHtmlFile(in);
        return convertToStandardOutput(fd.get(), in, options);
    }
    return convert::convertHtmlFile(
        in, out ? std::filesystem::path(*out) : convert::textPathFor(in, convert::textExtensionFor(options)), options);
}

int usageError(const std::string &message)
{
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", ProgramName, message.c_str(), ProgramName);
    return 2;
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

bool needsRunner(const Options &options)
{
    if (hasAddress(options) || options.list || options.outDir || options.separate)
        return true;
    return options.inputs.size() > 1 && !readsStandardInput(options);
}

std::string convertOneTelling(const std::string &in, const std::string *out, const text::Options &options, bool verbose)
{
    const text::Result result = convertOne(in, out, options);
    if (!verbose || !result.article)
        return {};
    return (in == "-" ? std::string("standard input") : in) + ": " + text::article::tell(*result.article);
}

} // namespace quillan::cli
