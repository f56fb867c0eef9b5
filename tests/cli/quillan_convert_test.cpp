// The command-line tool end to end: files, standard streams, -o, exit codes.
#include "cli/convert_tool.h"
#include "support/files.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

namespace {

using namespace testsupport;

TEST(CommandLine, ConvertsEachFileSilently)
{
    TempDir dir;
    writeFile(dir / "a.html", "<p>first</p>");
    writeFile(dir / "b.htm", "<p>second</p>");
    const ProcessResult r = runConvertTool(dir, {"a.html", "b.htm"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(dir / "a.TXT"), "first\r\n");
    EXPECT_EQ(readFile(dir / "b.TXT"), "second\r\n");
}

TEST(CommandLine, StandardInputToStandardOutput)
{
    TempDir dir;
    EXPECT_EQ(runConvertTool(dir, {}, "<b>piped</b>\r\n").out, "piped\r\n");
    EXPECT_EQ(runConvertTool(dir, {"-"}, "<b>dash</b>").out, "dash\r\n");
    const ProcessResult r = runConvertTool(dir, {"-o", "from-stdin.txt"}, "<b>to a file</b>");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(readFile(dir / "from-stdin.txt"), "to a file\r\n");
}

TEST(CommandLine, OutputOption)
{
    TempDir dir;
    writeFile(dir / "page.html", "<p>text here</p>");
    EXPECT_EQ(runConvertTool(dir, {"-o", "out.txt", "page.html"}).status, 0);
    EXPECT_EQ(readFile(dir / "out.txt"), "text here\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "page.TXT"));
    const ProcessResult r = runConvertTool(dir, {"-o", "-", "page.html"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "text here\r\n");
}

TEST(CommandLine, FailuresAreReportedAndTheRestStillConverts)
{
    TempDir dir;
    writeFile(dir / "good.html", "<p>good</p>");
    writeFile(dir / "notes.TXT", "<p>mine</p>");
    const ProcessResult r = runConvertTool(dir, {"missing.html", "notes.TXT", "good.html"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("quillan-convert: missing.html: No such file or directory\n"), std::string::npos);
    EXPECT_NE(r.err.find("quillan-convert: notes.TXT: "), std::string::npos);
    EXPECT_EQ(readFile(dir / "good.TXT"), "good\r\n");
    EXPECT_EQ(readFile(dir / "notes.TXT"), "<p>mine</p>");

    const ProcessResult full = runConvertTool(dir, {"-o", "/dev/full", "good.html"});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "quillan-convert: /dev/full: No space left on device\n");
}

TEST(CommandLine, OnlyRegularFilesAndStandardInputAreRead)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo.html").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir / "zero.html");
    writeFile(dir / "good.html", "<p>good</p>");
    const ProcessResult r = runConvertTool(dir, {"fifo.html", "zero.html", "good.html"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quillan-convert: fifo.html: not a regular file\n"
                     "quillan-convert: zero.html: not a regular file\n");
    EXPECT_EQ(readFile(dir / "good.TXT"), "good\r\n");
    const ProcessResult toOutput = runConvertTool(dir, {"-o", "-", "zero.html"});
    EXPECT_EQ(toOutput.status, 1);
    EXPECT_EQ(toOutput.err, "quillan-convert: zero.html: not a regular file\n");
    EXPECT_EQ(toOutput.out, "");
    EXPECT_EQ(fileNames(dir.path()), (std::set<std::string>{"fifo.html", "zero.html", "good.html", "good.TXT"}));

    // Standard input stays a stream, whatever it is.
    const ProcessResult piped = runConvertTool(dir, {"-o", "piped.txt", "-"}, "<b>from a pipe</b>");
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(readFile(dir / "piped.txt"), "from a pipe\r\n");
}

TEST(CommandLine, PagesWhoseTextNameIsAsLongAsAFolderTakes)
{
    TempDir dir;
    const std::string stem(251, 'p'); // the text name has 255 bytes
    writeFile(dir / (stem + ".h"), "<p>long</p>");
    writeFile(dir / (stem + ".TXT"), "stale\r\n");
    const ProcessResult r = runConvertTool(dir, {stem + ".h"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(dir / (stem + ".TXT")), "long\r\n");
}

TEST(CommandLine, StandardStreamsThatAreTheOtherSideAreRefused)
{
    TempDir dir;
    const std::string html = "<p>a page of text</p>\n";
    writeFile(dir / "page.html", html);

    // quillan-convert -o page.html < page.html
    const ProcessResult in = runProgram({QUILLAN_CONVERT, "-o", "page.html"}, {.input = {}, .workDir = dir.path()},
                                        {.input = dir / "page.html", .appendTo = {}});
    EXPECT_EQ(in.status, 1);
    EXPECT_EQ(in.err, "quillan-convert: standard input: the text file page.html is the input file itself\n");
    EXPECT_EQ(readFile(dir / "page.html"), html);

    // quillan-convert -o - page.html >> page.html, and the same through
    // standard input.
    const ProcessResult out =
        runProgram({QUILLAN_CONVERT, "-o", "-", "page.html"}, {.input = {}, .workDir = dir.path()},
                   {.input = {}, .appendTo = dir / "page.html"});
    EXPECT_EQ(out.status, 1);
    EXPECT_EQ(out.err, "quillan-convert: page.html: input file is output file\n");
    const ProcessResult both = runProgram({QUILLAN_CONVERT}, {.input = {}, .workDir = dir.path()},
                                          {.input = dir / "page.html", .appendTo = dir / "page.html"});
    EXPECT_EQ(both.status, 1);
    EXPECT_EQ(both.err, "quillan-convert: standard input: input file is output file\n");
    EXPECT_EQ(readFile(dir / "page.html"), html);
    EXPECT_EQ(fileNames(dir.path()), std::set<std::string>{"page.html"});
}

// No core files in the test's folders while a test sends SIGQUIT.
class NoCoreFiles {
public:
    NoCoreFiles()
    {
        ::getrlimit(RLIMIT_CORE, &saved_);
        struct rlimit none = saved_;
        none.rlim_cur = 0;
        ::setrlimit(RLIMIT_CORE, &none);
    }
    ~NoCoreFiles() { ::setrlimit(RLIMIT_CORE, &saved_); }
    NoCoreFiles(const NoCoreFiles &) = delete;
    NoCoreFiles &operator=(const NoCoreFiles &) = delete;

private:
    struct rlimit saved_ {};
};

TEST(CommandLine, InterruptedRunsLeaveThePreviousTextAlone)
{
    const NoCoreFiles noCores;
    for (const int sig :
         {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGPIPE, SIGXCPU, SIGVTALRM, SIGPROF}) {
        TempDir dir;
        const std::string previous = "the previous text\r\n";
        writeFile(dir / "notes.TXT", previous);
        RunningProgram tool({QUILLAN_CONVERT, "-o", "notes.TXT"}, dir.path());
        ASSERT_TRUE(tool.started());
        ASSERT_TRUE(tool.write("<p>half of a new text</p>\n"));

        // The run is under way once its fresh file exists.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        auto underWay = [&] { return fileNames(dir.path()).size() == 2; };
        while (!underWay() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_TRUE(underWay()) << "signal " << sig;

        ASSERT_TRUE(tool.signal(sig));
        EXPECT_EQ(tool.wait(), 128 + sig);
        EXPECT_EQ(readFile(dir / "notes.TXT"), previous) << "signal " << sig;
        EXPECT_EQ(fileNames(dir.path()), std::set<std::string>{"notes.TXT"}) << "signal " << sig;
    }
}

TEST(CommandLine, ATextPastTheFileSizeLimitFailsWithAMessage)
{
    TempDir dir;
    std::string big;
    for (int i = 0; i < 2000; ++i)
        big += "<p>line " + std::to_string(i) + " of a page too big for the limit</p>\r\n";
    writeFile(dir / "big.html", big);
    writeFile(dir / "big.TXT", "yesterday\r\n");
    writeFile(dir / "out.txt", "");
    for (const bool toOutput : {false, true}) {
        // ulimit -f, with SIGXFSZ at its default action.
        const ChildResult child = runInChild([&]() -> std::string {
            ::signal(SIGXFSZ, SIG_DFL);
            struct rlimit limit {
                8192, 8192
            };
            ::setrlimit(RLIMIT_FSIZE, &limit);
            const ProcessResult r =
                toOutput ? runProgram({QUILLAN_CONVERT, "-o", "-", "big.html"}, {.input = {}, .workDir = dir.path()},
                                      {.input = {}, .appendTo = dir / "out.txt"})
                         : runConvertTool(dir, {"big.html"});
            return std::to_string(r.status) + " " + r.err;
        });
        ASSERT_TRUE(child.completed);
        EXPECT_EQ(child.output, toOutput ? "1 quillan-convert: standard output: File too large\n"
                                         : "1 quillan-convert: big.TXT: File too large\n");
    }
    EXPECT_EQ(readFile(dir / "big.TXT"), "yesterday\r\n");
    EXPECT_EQ(fileNames(dir.path()), (std::set<std::string>{"big.html", "big.TXT", "out.txt"}));
}

TEST(CommandLine, UsageErrorsHelpAndVersion)
{
    TempDir dir;
    writeFile(dir / "a.html", "x");
    writeFile(dir / "b.html", "y");
    EXPECT_EQ(runConvertTool(dir, {"-o", "x.txt", "a.html", "b.html"}).status, 2);
    EXPECT_EQ(runConvertTool(dir, {"-o"}).status, 2);
    const ProcessResult bad = runConvertTool(dir, {"--frobnicate"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("--frobnicate"), std::string::npos);

    const ProcessResult help = runConvertTool(dir, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: quillan-convert"), std::string::npos);
    EXPECT_EQ(runConvertTool(dir, {"-h"}).out, help.out);
    EXPECT_EQ(runConvertTool(dir, {"--version"}).out, "quillan-convert 1.4.2\n");
}

TEST(CommandLine, DoubleDashEndsOptions)
{
    TempDir dir;
    writeFile(dir / "-odd.html", "<p>odd name</p>");
    EXPECT_EQ(runConvertTool(dir, {"--", "-odd.html"}).status, 0);
    EXPECT_EQ(readFile(dir / "-odd.TXT"), "odd name\r\n");
}

} // namespace
