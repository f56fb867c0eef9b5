// quillan-convert: strips the tags from HTML files into their text files.
#include "converter.h"
#include "quillan_version.h"

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
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram,
                 message.c_str(), kProgram);
    return 2;
}

void report(const quillan::ConversionError &e)
{
    std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
}

// Writes from an open input to `out` ("-" is standard output), removing a
// half-written regular file when the run fails.
void convertToPath(int inFd, const std::string &inName, const std::string &out)
{
    if (out == "-") {
        quillan::convertStream(inFd, STDOUT_FILENO, inName, "standard output");
        return;
    }
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        throw quillan::ConversionError(out, std::strerror(errno));
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    try {
        quillan::convertStream(inFd, fd, inName, out);
    } catch (...) {
        ::close(fd);
        if (regular)
            ::unlink(out.c_str());
        throw;
    }
    if (::close(fd) != 0) {
        const int error = errno;
        if (regular)
            ::unlink(out.c_str());
        throw quillan::ConversionError(out, std::strerror(error));
    }
}

void convertOne(const std::string &in, const std::string *out)
{
    if (in == "-") {
        convertToPath(STDIN_FILENO, "standard input", out ? *out : "-");
    } else if (!out) {
        quillan::convertHtmlFile(in);
    } else if (*out == "-") {
        const int fd = ::open(in.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            throw quillan::ConversionError(in, std::strerror(errno));
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(fd);
            throw quillan::ConversionError(in, std::strerror(EISDIR));
        }
        try {
            quillan::convertStream(fd, STDOUT_FILENO, in, "standard output");
        } catch (...) {
            ::close(fd);
            throw;
        }
        ::close(fd);
    } else {
        quillan::convertHtmlFile(in, *out);
    }
}

} // namespace

int main(int argc, char **argv)
{
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
