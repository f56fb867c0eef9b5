// The command-line tool with addresses and many inputs: fetching from a
// server of the test's own on 127.0.0.1, failures, limits, lists, output
// folders, several inputs at a time, and an interrupted run.
#include "cli/convert_tool.h"
#include "support/HttpTestServer.h"
#include "support/files.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <pty.h>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace testsupport;
namespace fs = std::filesystem;

// Each run's private folders go to the test's own temporary folder, which
// must be empty again afterwards.
class Batch : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char *old = std::getenv("TMPDIR"))
            oldTmp = old;
        fs::create_directories(tmp());
        ::setenv("TMPDIR", tmp().c_str(), 1);
    }
    void TearDown() override
    {
        if (oldTmp)
            ::setenv("TMPDIR", oldTmp->c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }
    fs::path tmp() const { return dir / "tmp"; }
    bool noTemporaryLeft() const { return fileNames(tmp()).empty(); }

    ProcessResult run(std::vector<std::string> args, const std::string &input = {})
    {
        return runConvertTool(dir, std::move(args), input);
    }

    std::string page(const std::string &words) { return "<html><body>\r\n<p>" + words + "</p>\r\n</body></html>\r\n"; }
    static std::string text(const std::string &words) { return words + "\r\n"; }

    std::optional<std::string> oldTmp;
    TempDir dir;
    HttpTestServer server;
};

TEST_F(Batch, AnAddressGoesToStandardOutputOrToTheFileNamed)
{
    server.route("/page.html", HttpResponse::html(page("fetched words")));
    const ProcessResult r = run({server.url("/page.html")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, text("fetched words"));
    EXPECT_EQ(r.err, "");

    EXPECT_EQ(run({"-o", "-", server.url("/page.html")}).out, text("fetched words"));
    writeFile(dir / "kept.txt", "old text");
    const ProcessResult toFile = run({"-o", "kept.txt", server.url("/page.html")});
    EXPECT_EQ(toFile.status, 0);
    EXPECT_EQ(toFile.out, "");
    EXPECT_EQ(readFile(dir / "kept.txt"), text("fetched words"));
    // No text path rule for an address, no page file, no private folder left.
    EXPECT_EQ(fileNames(dir.path()), (std::set<std::string>{"kept.txt", "tmp"}));
    EXPECT_TRUE(noTemporaryLeft());
}

TEST_F(Batch, EachKindOfFailureGivesTheMessageAndReasonAndNothingOnStandardOutput)
{
    const std::string missing = server.url("/missing");
    const ProcessResult notFound = run({missing});
    EXPECT_EQ(notFound.status, 1);
    EXPECT_EQ(notFound.out, "");
    EXPECT_EQ(notFound.err,
              "quillan-convert: Quillan was unable to retrieve the web page at " + missing + "\nHTTP 404 Not Found\n");

    const std::string refusedAt = "http://127.0.0.1:" + std::to_string(HttpTestServer::refusedPort()) + "/";
    const ProcessResult refused = run({refusedAt});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "quillan-convert: Quillan was unable to retrieve the web page at " + refusedAt +
                               "\nConnection refused\n");

    HttpResponse cut = HttpResponse::html(page(std::string(4000, 'x')));
    cut.ending = HttpResponse::Ending::Close;
    cut.stopAfter = 100;
    server.route("/cut", cut);
    const ProcessResult cutShort = run({server.url("/cut")});
    EXPECT_EQ(cutShort.status, 1);
    EXPECT_EQ(cutShort.out, "");
    EXPECT_EQ(cutShort.err.rfind(
                  "quillan-convert: Quillan was unable to retrieve the web page at " + server.url("/cut") + "\n", 0),
              0u)
        << cutShort.err;

    // A reply that is not HTTP, and a header that never ends: the reason
    // says what was wrong, at once.
    HttpResponse garbage;
    garbage.raw = "garbage\r\n\r\n";
    server.route("/garbage", garbage);
    HttpResponse endless;
    endless.raw = "HTTP/1.1 200 OK\r\n";
    while (endless.raw->size() < 4 * 1024 * 1024)
        *endless.raw += "X-Again: and again\r\n";
    endless.ending = HttpResponse::Ending::Stall;
    server.route("/endless", endless);
    const auto started = std::chrono::steady_clock::now();
    const ProcessResult broken = run({server.url("/garbage"), server.url("/endless")});
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_EQ(broken.status, 1);
    EXPECT_EQ(broken.out, "");
    EXPECT_EQ(broken.err, "quillan-convert: Quillan was unable to retrieve the web page at " + server.url("/garbage") +
                              "\nThe server's reply is not HTTP: it does not start with a status line\n"
                              "quillan-convert: Quillan was unable to retrieve the web page at " +
                              server.url("/endless") + "\nThe server's response header has more than 100 lines\n");

    for (const std::string scheme : {"ftp", "file", "gopher"}) {
        const ProcessResult other = run({scheme + "://127.0.0.1/page.html"});
        EXPECT_EQ(other.status, 1);
        EXPECT_EQ(other.out, "");
        EXPECT_EQ(other.err, "quillan-convert: " + scheme +
                                 "://127.0.0.1/page.html: only http:// and https:// addresses can be fetched (\"" +
                                 scheme + "\" is not supported)\n");
    }
    EXPECT_EQ(server.requestCount("/page.html"), 0u);

    // Where the text cannot be written.
    server.route("/fine", HttpResponse::html(page("fine words")));
    const ProcessResult full = run({"-o", "/dev/full", server.url("/fine")});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "quillan-convert: /dev/full: No space left on device\n");
    const ProcessResult fullOutput =
        runProgram({QUILLAN_CONVERT, server.url("/fine"), server.url("/fine")}, {.input = {}, .workDir = dir.path()},
                   {.input = {}, .appendTo = "/dev/full"});
    EXPECT_EQ(fullOutput.status, 1);
    EXPECT_EQ(fullOutput.err, "quillan-convert: standard output: No space left on device\n");
    EXPECT_TRUE(noTemporaryLeft());
}

TEST_F(Batch, APageLargerThanTheCapFailsWhetherItsLengthIsAnnouncedOrNot)
{
    // 1.5 MiB of short lines.
    std::string body;
    std::string expected;
    const std::string line = std::string(90, 'a') + " words";
    while (body.size() < 1536 * 1024) {
        body += "<p>" + line + "</p>\r\n";
        expected += text(line);
    }
    server.route("/announced", HttpResponse::html(body));
    HttpResponse chunked = HttpResponse::html(body);
    chunked.framing = HttpResponse::Framing::Chunked;
    chunked.pieceSize = 64 * 1024;
    server.route("/chunked", chunked);

    for (const std::string target : {"/announced", "/chunked"}) {
        const ProcessResult r = run({"--max-size", "1M", server.url(target)});
        EXPECT_EQ(r.status, 1) << target;
        EXPECT_EQ(r.out, "") << target;
        EXPECT_EQ(r.err, "quillan-convert: Quillan was unable to retrieve the web page at " + server.url(target) +
                             "\nThe page is larger than 1 MiB\n")
            << target;
        // Under the cap the same page converts.
        const ProcessResult fits = run({"--max-size=2M", server.url(target)});
        EXPECT_EQ(fits.status, 0) << target;
        EXPECT_TRUE(fits.out == expected) << target;
    }
    EXPECT_TRUE(noTemporaryLeft());
}

TEST_F(Batch, AHighlyCompressedPageIsBoundOnlyByTheSizeCap)
{
    // 20 MiB of one line over and over: gzip packs it a thousand times.
    const std::string line = std::string(60, 'z') + " words";
    std::string body;
    std::string expected;
    while (body.size() < 20 * 1024 * 1024) {
        body += "<p>" + line + "</p>\r\n";
        expected += text(line);
    }
    HttpResponse packed = HttpResponse::gzipped(body);
    ASSERT_LT(packed.body.size() * 40, body.size());
    server.route("/packed", packed);

    const ProcessResult whole = run({server.url("/packed")});
    EXPECT_EQ(whole.status, 0);
    EXPECT_EQ(whole.err, "");
    EXPECT_TRUE(whole.out == expected) << whole.out.size() << " bytes of " << expected.size();

    // Past the cap after decoding, the reason says so, though far fewer
    // bytes came over the wire.
    const ProcessResult capped = run({"--max-size", "16M", server.url("/packed")});
    EXPECT_EQ(capped.status, 1);
    EXPECT_EQ(capped.out, "");
    EXPECT_EQ(capped.err, "quillan-convert: Quillan was unable to retrieve the web page at " + server.url("/packed") +
                              "\nThe page is larger than 16 MiB\n");
    EXPECT_TRUE(noTemporaryLeft());
}

TEST_F(Batch, AResponseThatIsNotHtmlOrTextIsNotConverted)
{
    HttpResponse picture = HttpResponse::html("GIF89a<p>not a page</p>");
    picture.headers = {{"Content-Type", "image/gif"}};
    server.route("/picture.gif", picture);
    server.route("/page", HttpResponse::html(page("a page")));
    server.route("/old-gzip", HttpResponse::gzipped(page("packed the old way"), "x-gzip"));
    const ProcessResult r = run({server.url("/picture.gif"), server.url("/page"), server.url("/old-gzip")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, text("a page") + text("packed the old way"));
    EXPECT_EQ(r.err, "quillan-convert: Quillan was unable to retrieve the web page at " + server.url("/picture.gif") +
                         "\nThe page is of type image/gif, which is not HTML or text\n");
    EXPECT_TRUE(noTemporaryLeft());
}

TEST_F(Batch, RedirectsAreFollowedToABound)
{
    server.route("/old", HttpResponse::redirect("/new"));
    server.route("/new", HttpResponse::html(page("moved here")));
    const ProcessResult r = run({server.url("/old")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, text("moved here"));

    server.route("/loop", HttpResponse::redirect("/loop"));
    const ProcessResult loop = run({server.url("/loop")});
    EXPECT_EQ(loop.status, 1);
    EXPECT_EQ(loop.out, "");
    EXPECT_NE(loop.err.find("\nToo many redirects\n"), std::string::npos) << loop.err;
    EXPECT_LT(server.requestCount("/loop"), 30u);
}

TEST_F(Batch, MixedFilesAndAddressesGiveTheSameResultsWithFourJobsAsWithOne)
{
    // The first address is slow, so that with four jobs the later inputs end first.
    HttpResponse slow = HttpResponse::html(page("slow page"));
    slow.pieceSize = 8;
    slow.pause = std::chrono::milliseconds(20);
    server.route("/slow", slow);
    server.route("/quick", HttpResponse::html(page("quick page")));
    writeFile(dir / "a.html", page("file a"));
    writeFile(dir / "b.html", page("file b"));
    const std::vector<std::string> inputs = {server.url("/slow"),  "a.html", server.url("/missing"), "missing.html",
                                             server.url("/quick"), "b.html", "ftp://127.0.0.1/x"};

    for (const bool separate : {false, true}) {
        std::vector<ProcessResult> results;
        for (const std::string jobs : {"1", "4"}) {
            fs::remove(dir / "a.TXT");
            fs::remove(dir / "b.TXT");
            std::vector<std::string> args = {"-j", jobs};
            if (separate)
                args.push_back("--separate");
            args.insert(args.end(), inputs.begin(), inputs.end());
            results.push_back(run(args));
            if (!separate) {
                EXPECT_EQ(readFile(dir / "a.TXT"), text("file a"));
                EXPECT_EQ(readFile(dir / "b.TXT"), text("file b"));
            } else {
                EXPECT_FALSE(fs::exists(dir / "a.TXT"));
            }
        }
        const ProcessResult &one = results[0];
        EXPECT_EQ(one.status, 1);
        if (separate)
            EXPECT_EQ(one.out, "==> " + server.url("/slow") + " <==\r\n" + text("slow page") + "==> a.html <==\r\n" +
                                   text("file a") + "==> " + server.url("/quick") + " <==\r\n" + text("quick page") +
                                   "==> b.html <==\r\n" + text("file b"));
        else
            EXPECT_EQ(one.out, text("slow page") + text("quick page"));
        EXPECT_EQ(one.err, "quillan-convert: Quillan was unable to retrieve the web page at " + server.url("/missing") +
                               "\nHTTP 404 Not Found\n"
                               "quillan-convert: missing.html: No such file or directory\n"
                               "quillan-convert: ftp://127.0.0.1/x: only http:// and https:// addresses can be "
                               "fetched (\"ftp\" is not supported)\n");
        EXPECT_EQ(results[1].status, one.status);
        EXPECT_EQ(results[1].out, one.out);
        EXPECT_EQ(results[1].err, one.err);
    }
    EXPECT_TRUE(noTemporaryLeft());
}

TEST_F(Batch, InputsListedOnStandardInputOrInAFile)
{
    server.route("/one", HttpResponse::html(page("first listed")));
    server.route("/two", HttpResponse::html(page("second listed")));
    writeFile(dir / "c.html", page("listed file"));
    // CR LF and LF line ends, blank lines, no end after the last line.
    const std::string list = server.url("/one") + "\r\n\r\n  \nc.html\n" + server.url("/two");
    const ProcessResult r = run({"--inputs", "-", "-j", "3"}, list);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, text("first listed") + text("second listed"));
    EXPECT_EQ(readFile(dir / "c.TXT"), text("listed file"));

    // Inputs on the command line come first, then the list's.
    writeFile(dir / "list.txt", server.url("/two") + "\n");
    EXPECT_EQ(run({"--inputs=list.txt", server.url("/one")}).out, text("first listed") + text("second listed"));

    // A list that cannot be read fails; the other inputs still convert.
    const ProcessResult noList = run({"--inputs", "no-such-list", server.url("/one")});
    EXPECT_EQ(noList.status, 1);
    EXPECT_EQ(noList.out, text("first listed"));
    EXPECT_EQ(noList.err, "quillan-convert: no-such-list: No such file or directory\n");
    EXPECT_TRUE(noTemporaryLeft());
}

TEST_F(Batch, AListOfNulBytesOrWithoutLineEndsEnds)
{
    server.route("/one", HttpResponse::html(page("first listed")));
    writeFile(dir / "list.txt", server.url("/one") + std::string("\n/etc/\0passwd\n", 14));
    const ProcessResult nul = run({"--inputs", "list.txt"});
    EXPECT_EQ(nul.status, 1);
    EXPECT_EQ(nul.out, text("first listed"));
    EXPECT_EQ(nul.err, "quillan-convert: list.txt: line 2 holds a NUL byte\n");

    const ProcessResult zeros = run({"--inputs", "/dev/zero", server.url("/one")});
    EXPECT_EQ(zeros.status, 1);
    EXPECT_EQ(zeros.out, text("first listed"));
    EXPECT_EQ(zeros.err, "quillan-convert: /dev/zero: line 1 holds a NUL byte\n"
                         "quillan-convert: /dev/zero: line 1 does not end within 16 MiB: the rest of the list is not "
                         "read\n");
    EXPECT_TRUE(noTemporaryLeft());
}

TEST_F(Batch, ALongListIsReadAsItGoes)
{
    server.route("/p", HttpResponse::html(page("same page")));
    std::string list;
    const int count = 3000;
    for (int i = 0; i < count; ++i)
        list += server.url("/p") + "\n";
    const ProcessResult r = run({"--inputs", "-", "-j", "4", "--out-dir", "texts"}, list);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(fileNames(dir / "texts").size(), std::size_t(count));
    EXPECT_EQ(readFile(dir / "texts" / ("127.0.0.1_" + std::to_string(server.port()) + "_p-3000.TXT")),
              text("same page"));
    EXPECT_EQ(server.requestCount("/p"), std::size_t(count));
    EXPECT_TRUE(noTemporaryLeft());
}

TEST_F(Batch, MoreJobsThanTheOpenFileLimitAllowsRunFewerAtATime)
{
    // Each page comes in two pieces 300 ms apart, so that all of them are
    // under way at once when the jobs allow it.
    HttpResponse slow = HttpResponse::html(page("slow words"));
    slow.pieceSize = slow.body.size() / 2 + 1;
    slow.pause = std::chrono::milliseconds(300);
    server.route("/slow", slow);
    std::string list;
    const int count = 60;
    for (int i = 0; i < count; ++i)
        list += server.url("/slow") + "\n";
    // A soft limit of 100 open files, and a hard one of 200 it may be raised to.
    const ProcessResult r =
        runProgram({"prlimit", "--nofile=100:200", QUILLAN_CONVERT, "-j", "400", "--inputs", "-", "--out-dir", "texts"},
                   {.input = list, .workDir = dir.path()});
    EXPECT_EQ(r.status, 0);
    const std::string notice = "quillan-convert: the open-file limit (200) allows ";
    EXPECT_EQ(r.err.rfind(notice, 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(" conversions at a time, not 400\n"), std::string::npos) << r.err;
    const std::set<std::string> texts = fileNames(dir / "texts");
    EXPECT_EQ(texts.size(), std::size_t(count));
    for (const std::string &name : texts)
        EXPECT_EQ(readFile(dir / "texts" / name), text("slow words")) << name;
    EXPECT_TRUE(noTemporaryLeft());

    // Within the limit nothing is said.
    const ProcessResult few =
        runProgram({"prlimit", "--nofile=100:200", QUILLAN_CONVERT, "-j", "4", server.url("/slow")},
                   {.input = {}, .workDir = dir.path()});
    EXPECT_EQ(few.status, 0);
    EXPECT_EQ(few.err, "");
    EXPECT_EQ(few.out, text("slow words"));
}

// The bytes of every file under folder at the moment.
std::uint64_t bytesUnder(const fs::path &folder)
{
    std::uint64_t bytes = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code sizeError;
        const std::uintmax_t size = it->is_regular_file(sizeError) ? it->file_size(sizeError) : 0;
        if (!sizeError)
            bytes += size;
    }
    return bytes;
}

TEST_F(Batch, TextsWaitingBehindASlowInputAreBounded)
{
    // The first page takes a few seconds; twenty big ones behind it are
    // quick. Their texts wait in the private folder for their turn.
    HttpResponse slow = HttpResponse::html(page("the slow page"));
    slow.pieceSize = slow.body.size() / 20 + 1;
    slow.pause = std::chrono::milliseconds(150);
    server.route("/slow", slow);
    constexpr std::uint64_t MiB = 1024 * 1024;
    const std::uint64_t textBytes = 8 * MiB;
    const int count = 20;
    std::string expected = text("the slow page");
    std::vector<std::string> args = {QUILLAN_CONVERT, "-j", "2", server.url("/slow")};
    for (int i = 0; i < count; ++i) {
        const std::string line = "page " + std::to_string(i) + " " + std::string(1000, 'b');
        std::string body;
        std::string words;
        while (words.size() < textBytes) {
            body += "<p>" + line + "</p>\r\n";
            words += text(line);
        }
        server.route("/big" + std::to_string(i), HttpResponse::html(body));
        args.push_back(server.url("/big" + std::to_string(i)));
        expected += words;
    }

    std::atomic<bool> done{false};
    ProcessResult r;
    std::thread tool([&] {
        r = runProgram(args, {.input = {}, .workDir = dir.path()});
        done = true;
    });
    std::uint64_t peak = 0;
    while (!done) {
        peak = std::max(peak, bytesUnder(tmp()));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    tool.join();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(r.out == expected) << r.out.size() << " bytes of " << expected.size();
    // 64 MiB of waiting texts, and what each of the two jobs holds at most:
    // a page and its text.
    EXPECT_LT(peak, 64 * MiB + 2 * 2 * (textBytes + MiB)) << peak / MiB << " MiB";
    EXPECT_TRUE(noTemporaryLeft());
}

TEST_F(Batch, NamesInTheOutputFolderNeverOverwrite)
{
    server.route("/docs/report.html?id=7", HttpResponse::html(page("the report")));
    server.route("/", HttpResponse::html(page("the front page")));
    const std::string name = "127.0.0.1_" + std::to_string(server.port()) + "_docs_report_id_7";
    fs::create_directories(dir / "out");
    writeFile(dir / "out" / (name + ".TXT"), "someone else's file");
    // A link in the way is not followed either.
    fs::create_symlink(dir / "elsewhere.txt", dir / "out" / (name + "-2.TXT"));

    const std::string address = server.url("/docs/report.html?id=7");
    const ProcessResult r = run({"--out-dir", "out", "-j", "2", address, server.url("/"), address});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(dir / "out" / (name + ".TXT")), "someone else's file");
    EXPECT_FALSE(fs::exists(dir / "elsewhere.txt"));
    EXPECT_EQ(readFile(dir / "out" / (name + "-3.TXT")), text("the report"));
    EXPECT_EQ(readFile(dir / "out" / (name + "-4.TXT")), text("the report"));
    EXPECT_EQ(readFile(dir / "out" / ("127.0.0.1_" + std::to_string(server.port()) + ".TXT")), text("the front page"));
    EXPECT_EQ(fileNames(dir / "out").size(), 5u);

    // A folder that does not exist yet is made.
    EXPECT_EQ(run({"--out-dir", "new/deeper", address}).status, 0);
    EXPECT_EQ(readFile(dir / "new" / "deeper" / (name + ".TXT")), text("the report"));
    EXPECT_TRUE(noTemporaryLeft());
}

TEST_F(Batch, FilesTextsGoToTheOutputFolderUnderTheirOwnNames)
{
    fs::create_directories(dir / "a");
    fs::create_directories(dir / "b");
    writeFile(dir / "a" / "report.final.html", page("report a"));
    writeFile(dir / "b" / "report.html", page("report b"));
    writeFile(dir / "plain", page("plain words"));
    server.route("/report.html", HttpResponse::html(page("fetched report")));
    fs::create_directories(dir / "out");
    writeFile(dir / "out" / "report.TXT", "someone else's file");

    for (const std::string jobs : {"1", "3"}) {
        SCOPED_TRACE("-j " + jobs);
        const ProcessResult r = run({"--out-dir", "out" + jobs, "-j", jobs, "a/report.final.html", "b/report.html",
                                     server.url("/report.html"), "plain"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");
        const fs::path out = dir / ("out" + jobs);
        EXPECT_EQ(readFile(out / "report.TXT"), text("report a"));
        EXPECT_EQ(readFile(out / "report-2.TXT"), text("report b"));
        EXPECT_EQ(readFile(out / "plain.TXT"), text("plain words"));
        EXPECT_EQ(fileNames(out).size(), 4u);
    }
    // Nothing beside the inputs; a name in use is never overwritten.
    EXPECT_EQ(fileNames(dir / "a"), (std::set<std::string>{"report.final.html"}));
    EXPECT_EQ(fileNames(dir / "b"), (std::set<std::string>{"report.html"}));
    EXPECT_FALSE(fs::exists(dir / "plain.TXT"));
    const ProcessResult again = run({"--out-dir", "out", "--readable", "b/report.html"});
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(readFile(dir / "out" / "report.TXT"), "someone else's file");
    EXPECT_EQ(readFile(dir / "out" / "report-2.TXT"), "report b\n");
    EXPECT_TRUE(noTemporaryLeft());
}

TEST_F(Batch, ReadableTextOnEveryRoadOfAddressesAndBatches)
{
    // "Привет" in windows-1251, labelled only by the response.
    const std::string cyrillic = "\xCF\xF0\xE8\xE2\xE5\xF2";
    const std::string utf8 = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";
    HttpResponse labelled =
        HttpResponse::html("<html><head><script>junk()</script></head><body><p>" + cyrillic +
                           " <a href=\"/there\">one</a></p><p>two &amp; three four five</p></body></html>");
    labelled.headers = {{"Content-Type", "text/html; charset=windows-1251"}};
    server.route("/ru", labelled);
    HttpResponse slow = HttpResponse::html("<ul><li>slow</li></ul>");
    slow.pieceSize = 4;
    slow.pause = std::chrono::milliseconds(10);
    server.route("/slow", slow);
    writeFile(dir / "f.html", "<h1>file</h1><script>x</script>");
    const std::string ru = utf8 + " one\n\ntwo & three four five\n";

    const ProcessResult one = run({"--readable", server.url("/ru")});
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(one.err, "");
    EXPECT_EQ(one.out, ru);
    EXPECT_EQ(run({"--readable", "-o", "-", server.url("/ru")}).out, ru);
    // Without --readable the same address keeps its bytes.
    EXPECT_NE(run({server.url("/ru")}).out.find("junk()"), std::string::npos);

    // Links and width reach fetched pages too.
    const ProcessResult linked = run({"--readable", "--links", "--width", "13", server.url("/ru")});
    EXPECT_EQ(linked.status, 0);
    EXPECT_EQ(linked.out.rfind(utf8 + " one[1]\n\ntwo & three\nfour five\n", 0), 0u) << linked.out;
    // Their links are made absolute against the address the page came
    // from, after redirects.
    EXPECT_NE(linked.out.find("\n1. " + server.url("/there") + "\n"), std::string::npos) << linked.out;
    server.route("/old/page", HttpResponse::redirect("/docs/page"));
    server.route("/docs/page", HttpResponse::html("<a href=\"next.html?p=2\">next</a>"));
    const ProcessResult moved = run({"--readable", "--links", server.url("/old/page")});
    EXPECT_EQ(moved.status, 0);
    EXPECT_EQ(moved.out, "next[1]\n\nReferences\n\n1. " + server.url("/docs/next.html?p=2") + "\n");

    // Many inputs, files and addresses, in order whatever the jobs.
    for (const std::string jobs : {"1", "3"}) {
        fs::remove(dir / "f.TXT");
        const ProcessResult many = run({"--readable", "-j", jobs, server.url("/slow"), "f.html", server.url("/ru")});
        EXPECT_EQ(many.status, 0);
        EXPECT_EQ(many.out, "* slow\n" + ru);
        EXPECT_EQ(readFile(dir / "f.TXT"), "file\n");
        const ProcessResult separate = run({"--readable", "--separate", "-j", jobs, server.url("/slow"), "f.html"});
        // The header lines end as the readable texts do.
        EXPECT_EQ(separate.out, "==> " + server.url("/slow") + " <==\n* slow\n==> f.html <==\nfile\n");
    }
    const ProcessResult folder = run({"--readable", "--out-dir", "texts", server.url("/ru")});
    EXPECT_EQ(folder.status, 0);
    EXPECT_EQ(readFile(dir / "texts" / ("127.0.0.1_" + std::to_string(server.port()) + "_ru.TXT")), ru);
    writeFile(dir / "list.txt", server.url("/ru") + "\n");
    EXPECT_EQ(run({"--readable", "--inputs", "list.txt"}).out, ru);
    EXPECT_TRUE(noTemporaryLeft());
}

TEST_F(Batch, MetadataOnTheRoadsOfAddressesAndBatches)
{
    server.route("/story", HttpResponse::html("<html lang=en><title>Story</title><link rel=canonical href=/s?id=1>"
                                              "<meta name=author content=Ann><p>Told.</p></html>"));
    writeFile(dir / "f.html", "<title>File</title><p>From a file.</p>");

    // Front matter before a fetched page's text; its canonical address is
    // made absolute against the address the page came from.
    ProcessResult r = run({"--readable", "--metadata", server.url("/story")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "---\ntitle: \"Story\"\nauthor: \"Ann\"\nlanguage: \"en\"\ndescription: \"Told.\"\nurl: \"" +
                         server.url("/s?id=1") + "\"\n---\nTold.\n");

    // JSON Lines: one object per input, in input order, no header lines.
    for (const std::string jobs : {"1", "3"}) {
        r = run({"--readable", "--format", "jsonl", "--separate", "-j", jobs, server.url("/story"), "f.html"});
        EXPECT_EQ(r.status, 0) << r.err;
        writeFile(dir / "out.jsonl", r.out);
        const ProcessResult check =
            runProgram({"python3", "-c",
                        "import json, sys\n"
                        "for line in open(sys.argv[1], encoding='utf-8').read().split('\\n')[:-1]:\n"
                        "    d = json.loads(line)\n"
                        "    print(d['source'], d['title'], d['text'].strip())\n",
                        (dir / "out.jsonl").string()});
        EXPECT_EQ(check.out, server.url("/story") + " Story Told.\nf.html File From a file.\n") << check.err;
    }
    // An indented object each, into an output folder.
    r = run({"--readable", "--format", "json", "--out-dir", "texts", "f.html"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(readFile(dir / "texts" / "f.TXT").starts_with("{\n  \"title\": \"File\",\n"));
    EXPECT_TRUE(noTemporaryLeft());
}

TEST_F(Batch, ArticleChoicesAreToldInInputOrderWhenAsked)
{
    const std::string story = "<title>Dry summer | News</title><nav><a href=/a>Menu</a></nav><div class=story>"
                              "<h1>Dry summer</h1><p>The reservoirs stood at a third of their level in August, "
                              "and the farmers, who had planted early, lost most of the second crop.</p>"
                              "<p>Rain came late, in October, and then, as so often, all at once.</p></div>";
    HttpResponse slow = HttpResponse::html(story);
    slow.pieceSize = 64;
    slow.pause = std::chrono::milliseconds(5);
    server.route("/story", slow);
    server.route("/blank", HttpResponse::html("<body></body>"));
    writeFile(dir / "f.html", story);

    const ProcessResult r =
        run({"--article", "-v", "--separate", "-j", "3", server.url("/story"), "f.html", server.url("/blank")});
    EXPECT_EQ(r.status, 0) << r.err;
    // The heading's characters and the paragraphs', white space not counted;
    // under each page's line, indented, the rules that decided: the menu set
    // aside, the story's container chosen by its score and its names.
    const std::string told = "the article, 164 characters; title: Dry summer\n";
    EXPECT_EQ(withoutAccounts(r.err),
              "quillan-convert: " + server.url("/story") + ": " + told + "quillan-convert: f.html: " + told +
                  "quillan-convert: " + server.url("/blank") + ": nothing chosen: the whole body\n");
    const std::string account = "  set aside: nav \"Menu\" (its element)\n  chosen: div.story \"Dry summer The";
    EXPECT_NE(r.err.find(server.url("/story") + ": " + told + account), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("f.html: " + told + account), std::string::npos) << r.err;
    // The texts are those of a run without it.
    EXPECT_EQ(r.out, run({"--article", "--separate", server.url("/story"), "f.html", server.url("/blank")}).out);
    EXPECT_NE(r.out.find("Rain came late"), std::string::npos);
    // A failed page tells only its failure.
    const ProcessResult failed = run({"--article", "-v", server.url("/missing")});
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.err.find("nothing chosen"), std::string::npos) << failed.err;
    EXPECT_TRUE(noTemporaryLeft());
}

TEST_F(Batch, TheProgramLinksNoQtAndHandsOverToTheRunnerFromItsFolderOnlyWhenNeeded)
{
    // The libraries each program asks for (none when linked statically).
    const auto needed = [](const std::string &file) {
        const ProcessResult dynamic = runProgram({"readelf", "-d", file});
        EXPECT_EQ(dynamic.status, 0) << dynamic.err;
        return dynamic.out;
    };
    const std::string program = needed(QUILLAN_CONVERT);
    EXPECT_EQ(program.find("libQt"), std::string::npos) << program;
    EXPECT_EQ(program.find("libstdc++"), std::string::npos) << program;
    const std::string runner = needed((fs::path(QUILLAN_CONVERT).parent_path() / "quillan-convert-net").string());
    EXPECT_NE(runner.find("libQt6Network"), std::string::npos) << runner;

    // The program alone in a folder: files and standard input need nothing
    // else; addresses and batches name the runner they miss.
    server.route("/page.html", HttpResponse::html(page("fetched words")));
    fs::create_directories(dir / "alone");
    fs::copy_file(QUILLAN_CONVERT, dir / "alone" / "quillan-convert");
    const std::string alone = (dir / "alone" / "quillan-convert").string();
    writeFile(dir / "a.html", page("file a"));
    writeFile(dir / "b.html", page("file b"));
    const ProcessResult one = runProgram({alone, "a.html"}, {.input = {}, .workDir = dir.path()});
    EXPECT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(readFile(dir / "a.TXT"), text("file a"));
    EXPECT_EQ(runProgram({alone, "--readable"}, {.input = "<p>piped</p>", .workDir = dir.path()}).out, "piped\n");
    const std::string missing = "quillan-convert: addresses and batches need quillan-convert-net beside the "
                                "program: " +
                                (dir / "alone" / "quillan-convert-net").string() + ": No such file or directory\n";
    for (const std::vector<std::string> &args : std::vector<std::vector<std::string>>{
             {alone, server.url("/page.html")}, {alone, "a.html", "b.html"}, {alone, "--separate", "a.html"}}) {
        const ProcessResult r = runProgram(args, {.input = {}, .workDir = dir.path()});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, missing);
    }
    EXPECT_FALSE(fs::exists(dir / "b.TXT"));
    EXPECT_EQ(server.requestCount("/page.html"), 0u);
    // Usage errors are still found without the runner.
    EXPECT_EQ(runProgram({alone, "-", server.url("/page.html")}, {.input = {}, .workDir = dir.path()}).status, 2);

    // Started through a link from elsewhere, the program finds the runner
    // beside its own file.
    fs::create_symlink(QUILLAN_CONVERT, dir / "alone" / "linked");
    const ProcessResult linked = runProgram({(dir / "alone" / "linked").string(), server.url("/page.html")});
    EXPECT_EQ(linked.status, 0) << linked.err;
    EXPECT_EQ(linked.out, text("fetched words"));
    EXPECT_TRUE(noTemporaryLeft());
}

TEST_F(Batch, AnInterruptedRunLeavesNoPartialTextAndNoTemporaryFile)
{
    for (const std::string jobs : {"1", "3"}) {
        SCOPED_TRACE("-j " + jobs);
        const fs::path out = dir / ("out" + jobs);
        server.clearRequests();
        server.route("/done", HttpResponse::html(page("complete text")));
        // Half a page, then nothing: the run is interrupted while it waits.
        HttpResponse stall = HttpResponse::html(page(std::string(50000, 's')));
        stall.ending = HttpResponse::Ending::Stall;
        stall.stopAfter = 20000;
        server.route("/stall", stall);

        RunningProgram tool({QUILLAN_CONVERT, "-j", jobs, "--out-dir", out.string(), "--inputs", "-"}, dir.path());
        ASSERT_TRUE(tool.started());
        ASSERT_TRUE(tool.write(server.url("/done") + "\n" + server.url("/stall") + "\n" + server.url("/done") + "\n"));
        // Interrupted once the stalled page is being read and the first text is written.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        auto underWay = [&] {
            return server.requestCount("/stall") == 1 && fs::exists(out) && !fileNames(out).empty();
        };
        while (!underWay() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_TRUE(underWay());
        ASSERT_TRUE(tool.signal(SIGINT));
        EXPECT_EQ(tool.wait(), 128 + SIGINT);

        // Only whole texts, and nothing in the temporary folder.
        for (const std::string &name : fileNames(out))
            EXPECT_EQ(readFile(out / name), text("complete text")) << name;
        EXPECT_GE(fileNames(out).size(), 1u);
        EXPECT_TRUE(noTemporaryLeft());
    }
}

// Runs the tool with standard error on a terminal of its own; everything it
// wrote there, and its status (-1 when it had to be killed).
std::pair<int, std::string> runOnTerminal(std::vector<std::string> args, const fs::path &workDir)
{
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return {-1, "no terminal"};
    args.insert(args.begin(), QUILLAN_CONVERT);
    std::vector<char *> argv;
    for (std::string &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(slave, 2);
        if (::chdir(workDir.c_str()) == 0)
            ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(slave);
    std::string written;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        pollfd fd{master, POLLIN, 0};
        if (std::chrono::steady_clock::now() > deadline)
            break;
        if (::poll(&fd, 1, 200) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            break; // EIO once the tool has closed its side
        written.append(buffer, std::size_t(n));
    }
    ::close(master);
    int status = 0;
    if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return {-1, written};
    }
    ::waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, written};
}

TEST_F(Batch, AProgressLineOnATerminalOnlyForRunsOverASecond)
{
    // Four pages of ten pieces 150 ms apart, two at a time: over a second.
    HttpResponse slow = HttpResponse::html(page(std::string(200, 'w')));
    slow.pieceSize = slow.body.size() / 10 + 1;
    slow.pause = std::chrono::milliseconds(150);
    server.route("/slow", slow);
    const std::vector<std::string> inputs = {"-j",
                                             "2",
                                             "--out-dir",
                                             "out",
                                             server.url("/slow"),
                                             server.url("/slow"),
                                             server.url("/slow"),
                                             server.url("/missing"),
                                             server.url("/slow")};

    const auto [status, written] = runOnTerminal(inputs, dir.path());
    EXPECT_EQ(status, 1);
    // Drawn in place, with the counts, and taken away for the failure and at the end.
    EXPECT_NE(written.find("\r"), std::string::npos) << written;
    EXPECT_NE(written.find("/5 done, "), std::string::npos) << written;
    EXPECT_NE(written.find("B/s"), std::string::npos) << written;
    EXPECT_NE(written.find("\r\033[Kquillan-convert: Quillan was unable to retrieve the web page at " +
                           server.url("/missing")),
              std::string::npos)
        << written;
    EXPECT_NE(written.rfind("\r\033[K"), std::string::npos);
    EXPECT_GT(written.rfind("\r\033[K"), written.rfind("done, ")) << written;
    EXPECT_EQ(fileNames(dir / "out").size(), 4u);

    std::vector<std::string> quiet = inputs;
    quiet.insert(quiet.begin(), "--quiet");
    const auto [quietStatus, quietWritten] = runOnTerminal(quiet, dir.path());
    EXPECT_EQ(quietStatus, 1);
    EXPECT_EQ(quietWritten.find("done, "), std::string::npos) << quietWritten;

    // A short run shows nothing either.
    server.route("/quick", HttpResponse::html(page("quick")));
    const auto [quickStatus, quickWritten] = runOnTerminal({server.url("/quick")}, dir.path());
    EXPECT_EQ(quickStatus, 0);
    EXPECT_EQ(quickWritten, "");
}

TEST_F(Batch, UsageErrors)
{
    writeFile(dir / "a.html", "<p>aa</p>");
    const std::string address = server.url("/x");
    const std::vector<std::vector<std::string>> wrong = {
        {"-o", "x.txt", address, "a.html"},
        {"-o", "x.txt", "--inputs", "list"},
        {"-o", "x.txt", "--out-dir", "d", address},
        {"-j", "0", "a.html"},
        {"-j", "many", "a.html"},
        {"--max-size", "lots", address},
        {"--max-size", "0", address},
        {"--inputs", "-", "-"},
        {"-", address},
        {"--out-dir"},
        {"--unknown", address},
    };
    for (const std::vector<std::string> &args : wrong) {
        const ProcessResult r = run(args);
        std::string shown;
        for (const std::string &arg : args)
            shown += arg + " ";
        EXPECT_EQ(r.status, 2) << shown;
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("Try 'quillan-convert --help'"), std::string::npos);
    }
    EXPECT_EQ(server.requests().size(), 0u);
    EXPECT_FALSE(fs::exists(dir / "a.TXT"));
}

} // namespace
