// quillan-convert: strips the tags from HTML files into their text files.
#include "conversion/converter.h"
#include "quillan_version.h"

#include "common/fd_io.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char *kProgram = "quillan-convert";

void usage(std::FILE *to)
{
    std::fprintf(to,
                 "Usage: %s [-o PATH] [FILE...]\n"
                 "Strips the tags from each HTML FILE and writes its text file beside it:\n"
                 "the file name is cut after its first dot and \"TXT\" appended\n"
                 "(index.html gives index.TXT).\n"
                 "\n"
                 "With no FILE, or FILE \"-\", reads standard input and writes standard output.\n"
                 "\n"
                 "  -o PATH     write the text to PATH instead (one input only; \"-\" is\n"
                 "              standard output)\n"
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

void convertToStandardOutput(int inFd, const std::string &inName)
{
    refuseOutputThatIsTheInput(inFd, inName);
    quillan::convertStream(inFd, STDOUT_FILENO, inName, "standard output");
}

void convertOne(const std::string &in, const std::string *out)
{
    if (in == "-") {
        if (!out || *out == "-")
            convertToStandardOutput(STDIN_FILENO, "standard input");
        else
            quillan::convertToFile(STDIN_FILENO, "standard input", *out);
    } else if (!out) {
        quillan::convertHtmlFile(in);
    } else if (*out == "-") {
        const platform::UniqueFd fd = quillan::openHtmlFile(in);
        convertToStandardOutput(fd.get(), in);
    } else {
        quillan::convertHtmlFile(in, *out);
    }
}

} // namespace

int main(int argc, char **argv)
{
    // A text outgrowing the file size limit (ulimit -f) is a failed write,
    // reported like any other, not the end of the program.
    struct sigaction current {};
    if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
        ::signal(SIGXFSZ, SIG_IGN);

    std::vector<std::string> files;
    std::string outPath;
    bool haveOut = false;
    bool optionsDone = false;

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
    if (haveOut && outPath.empty())
        return usageError("option '-o' needs a PATH");
    if (files.empty())
        files.push_back("-");
    if (haveOut && files.size() > 1)
        return usageError("option '-o' takes one input only");

    int status = 0;
    for (const std::string &file : files) {
        try {
            convertOne(file, haveOut ? &outPath : nullptr);
        } catch (const quillan::ConversionError &e) {
            report(e);
            status = 1;
        }
    }
    return status;
}
