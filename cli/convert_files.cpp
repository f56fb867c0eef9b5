#include "cli/convert_files.h"

#include "convert/readable_converter.h"
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
        throw ConversionError(inName, "input file is output file");
}

void convertToStandardOutput(int inFd, const std::string &inName, const ReadableOptions *readable)
{
    refuseOutputThatIsTheInput(inFd, inName);
    if (readable)
        convertReadable(inFd, STDOUT_FILENO, inName, "standard output", *readable);
    else
        convertStream(inFd, STDOUT_FILENO, inName, "standard output");
}

} // namespace

std::optional<ReadableOptions> readableOptionsOf(const Options &options)
{
    if (!options.readable)
        return std::nullopt;
    ReadableOptions readable;
    readable.links = options.links;
    readable.width = options.width;
    readable.article = options.article;
    return readable;
}

void convertOne(const std::string &in, const std::string *out, const ReadableOptions *readable)
{
    if (in == "-") {
        if (!out || *out == "-")
            convertToStandardOutput(STDIN_FILENO, "standard input", readable);
        else if (readable)
            convertReadableToFile(STDIN_FILENO, "standard input", *out, *readable);
        else
            convertToFile(STDIN_FILENO, "standard input", *out);
    } else if (!out) {
        if (readable)
            convertReadableHtmlFile(in, *readable);
        else
            convertHtmlFile(in);
    } else if (*out == "-") {
        const base::UniqueFd fd = openHtmlFile(in);
        convertToStandardOutput(fd.get(), in, readable);
    } else if (readable) {
        convertReadableHtmlFile(in, *out, *readable);
    } else {
        convertHtmlFile(in, *out);
    }
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

std::string convertOneTelling(const std::string &in, const std::string *out, const ReadableOptions *readable,
                              bool verbose)
{
    if (!verbose || !readable || !readable->article) {
        convertOne(in, out, readable);
        return {};
    }
    // The options, with their report, are this conversion's own: batches
    // convert on several threads at once.
    std::optional<text::article::ArticleChoice> chosen;
    ReadableOptions own = *readable;
    own.onArticleChosen = [&chosen](const text::article::ArticleChoice &c) { chosen = c; };
    convertOne(in, out, &own);
    if (!chosen)
        return {};
    return (in == "-" ? std::string("standard input") : in) + ": " + text::article::describe(*chosen);
}

} // namespace quillan::cli
