// quillan-convert: strips the tags from HTML files into their text files,
// or with --readable writes the text a reader sees.
#include "conversion/converter.h"
#include "conversion/readable_converter.h"
#include "quillan_version.h"

#include "common/fd_io.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char *kProgram = "quillan-convert";

void usage(std::FILE *to)
{
    std::fprintf(to,
                 "Usage: %s [--readable [--links] [--width N]] [-o PATH] [FILE...]\n"
                 "Strips the tags from each HTML FILE and writes its text file beside it:\n"
                 "the file name is cut after its first dot and \"TXT\" appended\n"
                 "(index.html gives index.TXT).\n"
                 "\n"
                 "With no FILE, or FILE \"-\", reads standard input and writes standard output.\n"
                 "\n"
                 "  -o PATH     write the text to PATH instead (one input only; \"-\" is\n"
                 "              standard output)\n"
                 "  --readable  write the text a reader sees instead: the page decoded, scripts,\n"
                 "              styles and hidden parts left out, one line per block, UTF-8\n"
                 "              with LF line ends\n"
                 "  --links     with --readable: number the links and list their addresses\n"
                 "  --width N   with --readable: break lines longer than N characters\n"
                 "  -h, --help  show this help and exit\n"
                 "  --version   show the version and exit\n"
                 "\n"
                 "Exit status: 0 when every file converted, 1 when any failed, 2 for a usage error.\n",
                 kProgram);
}

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
        platform::UniqueFd fd(::open(in.c_str(), O_RDONLY | O_CLOEXEC));
        if (!fd)
            throw quillan::ConversionError(in, std::strerror(errno));
        struct stat st {};
        if (::fstat(fd.get(), &st) == 0 && S_ISDIR(st.st_mode))
            throw quillan::ConversionError(in, std::strerror(EISDIR));
        convertToStandardOutput(fd.get(), in, readable);
    } else if (readable) {
        quillan::convertReadableHtmlFile(in, *out, *readable);
    } else {
        quillan::convertHtmlFile(in, *out);
    }
}

bool parseWidth(const std::string &text, std::size_t &width)
{
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    width = std::stoul(text);
    return width >= 1 && width <= 100000;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> files;
    std::string outPath;
    bool haveOut = false;
    bool optionsDone = false;
    bool readable = false;
    bool widthGiven = false;
    quillan::ReadableOptions readableOptions;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsDone || arg == "-" || arg.empty() || arg[0] != '-') {
            files.push_back(arg);
        } else if (arg == "--") {
            optionsDone = true;
        } else if (arg == "-h" || arg == "--help") {
            usage(stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("%s %s\n", kProgram, quillan::version::Text);
            return 0;
        } else if (arg == "--readable") {
            readable = true;
        } else if (arg == "--links") {
            readableOptions.links = true;
        } else if (arg == "--width" || arg.rfind("--width=", 0) == 0) {
            std::string value;
            if (arg == "--width") {
                if (i + 1 >= argc)
                    return usageError("option '--width' needs a number");
                value = argv[++i];
            } else {
                value = arg.substr(8);
            }
            if (!parseWidth(value, readableOptions.width))
                return usageError("option '--width' needs a number from 1 to 100000, not '" + value + "'");
            widthGiven = true;
        } else if (arg == "-o") {
            if (i + 1 >= argc)
                return usageError("option '-o' needs a PATH");
            if (haveOut)
                return usageError("option '-o' given twice");
            outPath = argv[++i];
            haveOut = true;
        } else if (arg.rfind("-o", 0) == 0 && arg.size() > 2) {
            if (haveOut)
                return usageError("option '-o' given twice");
            outPath = arg.substr(2);
            haveOut = true;
        } else {
            return usageError("unknown option '" + arg + "'");
        }
    }
    if ((readableOptions.links || widthGiven) && !readable)
        return usageError("options '--links' and '--width' go with '--readable'");
    if (haveOut && outPath.empty())
        return usageError("option '-o' needs a PATH");
    if (files.empty())
        files.push_back("-");
    if (haveOut && files.size() > 1)
        return usageError("option '-o' takes one input only");

    int status = 0;
    for (const std::string &file : files) {
        try {
            convertOne(file, haveOut ? &outPath : nullptr, readable ? &readableOptions : nullptr);
        } catch (const quillan::ConversionError &e) {
            report(e);
            status = 1;
        }
    }
    return status;
}
