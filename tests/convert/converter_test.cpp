// The text path rule and whole-file conversion, with every failure reported.
#include "convert/converter.h"
#include "support/reference_stripper.h"

#include "base/replace_file.h"

#include "convert/conversion_test_helpers.h"
#include "support/files.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

using namespace testsupport;
using quillan::convert::ConversionError;
using quillan::convert::convertHtmlFile;
using quillan::convert::textPathFor;

TEST(TextPathRule, CutsTheFileNameAfterItsFirstDot)
{
    EXPECT_EQ(textPathFor("/pages/index.html"), "/pages/index.TXT");
    EXPECT_EQ(textPathFor("/pages/news.htm"), "/pages/news.TXT");
    EXPECT_EQ(textPathFor("/pages/report.final.html"), "/pages/report.TXT");
    EXPECT_EQ(textPathFor("page.htm"), "page.TXT");
    EXPECT_EQ(textPathFor("/pages/a."), "/pages/a.TXT");
}

TEST(TextPathRule, NeverLooksAtFolderNames)
{
    EXPECT_EQ(textPathFor("/my.pages/index.html"), "/my.pages/index.TXT");
    EXPECT_EQ(textPathFor("/home/me/.cache/x.html"), "/home/me/.cache/x.TXT");
    EXPECT_EQ(textPathFor("/a.b/page"), "/a.b/page.TXT");
    EXPECT_EQ(textPathFor("./page"), "./page.TXT");
}

TEST(TextPathRule, NamesWithoutAUsableDotGetTxtAppended)
{
    EXPECT_EQ(textPathFor("/pages/page"), "/pages/page.TXT");
    EXPECT_EQ(textPathFor("page"), "page.TXT");
    EXPECT_EQ(textPathFor("/pages/.draft.html"), "/pages/.draft.TXT");
    EXPECT_EQ(textPathFor("/pages/.profile"), "/pages/.profile.TXT");
}

TEST(TextPathRule, MarkdownAloneEndsInMd)
{
    using quillan::convert::textExtensionFor;
    using quillan::text::Envelope;
    quillan::text::Options options;
    options.kind = quillan::text::Kind::Readable;
    EXPECT_EQ(textExtensionFor(options), "TXT");
    options.syntax = quillan::text::Syntax::Markdown;
    EXPECT_EQ(textExtensionFor(options), "md");
    options.envelope = Envelope::FrontMatter;
    EXPECT_EQ(textExtensionFor(options), "md");
    for (const Envelope json : {Envelope::Json, Envelope::JsonLine}) {
        options.envelope = json;
        EXPECT_EQ(textExtensionFor(options), "TXT");
    }
    EXPECT_EQ(textPathFor("/my.pages/report.final.html", "md"), "/my.pages/report.md");
    EXPECT_EQ(textPathFor("/pages/.profile", "md"), "/pages/.profile.md");
}

TEST(WholeFile, ConvertsBesideTheInputAndOverwritesAnOldText)
{
    TempDir dir;
    writeFile(dir / "index.html", "<p>Hello</p>\r\n<p>world</p>\r\n");
    writeFile(dir / "index.TXT", std::string(5000, 'z'));
    EXPECT_EQ(convertHtmlFile(dir / "index.html"), dir / "index.TXT");
    EXPECT_EQ(readFile(dir / "index.TXT"), "Hello\r\nworld\r\n");
}

TEST(WholeFile, EmptyAndTagOnlyInputsGiveAnEmptyTextFile)
{
    TempDir dir;
    writeFile(dir / "empty.html", "");
    writeFile(dir / "tags.html", "<html>\r\n<body></body>\r\n</html>");
    convertHtmlFile(dir / "empty.html");
    convertHtmlFile(dir / "tags.html");
    ASSERT_TRUE(std::filesystem::exists(dir / "empty.TXT"));
    EXPECT_EQ(readFile(dir / "empty.TXT"), "");
    EXPECT_EQ(readFile(dir / "tags.TXT"), "");
}

TEST(WholeFile, ExplicitOutputPath)
{
    TempDir dir;
    writeFile(dir / "in.html", "<i>kept text</i>");
    convertHtmlFile(dir / "in.html", dir / "elsewhere.txt");
    EXPECT_EQ(readFile(dir / "elsewhere.txt"), "kept text\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "in.TXT"));
}

TEST(WholeFile, TextNamesUpToTheLongestAFolderTakes)
{
    TempDir dir;
    // Text names of 240, 250 and 255 bytes, each replacing an older text.
    for (const auto &[stem, ending] :
         {std::pair<std::size_t, const char *>{236, ".html"}, {246, ".htm"}, {251, ".h"}}) {
        const std::string name(stem, 'n');
        writeFile(dir / (name + ending), "<p>a page with a long name</p>");
        writeFile(dir / (name + ".TXT"), "stale text\r\n");
        EXPECT_EQ(convertHtmlFile(dir / (name + ending)), dir / (name + ".TXT"));
        EXPECT_EQ(readFile(dir / (name + ".TXT")), "a page with a long name\r\n") << stem + 4 << " bytes";
        EXPECT_EQ(fileNames(dir.path()), (std::set<std::string>{name + ending, name + ".TXT"}));
        std::filesystem::remove(dir / (name + ending));
        std::filesystem::remove(dir / (name + ".TXT"));
    }
}

TEST(Failures, InputThatCannotBeOpenedCreatesNoTextFile)
{
    TempDir dir;
    const auto missing = dir / "missing.html";
    expectConversionFailure([&] { convertHtmlFile(missing); }, missing.string(), "No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(dir / "missing.TXT"));

    std::filesystem::create_directory(dir / "folder.html");
    expectConversionFailure([&] { convertHtmlFile(dir / "folder.html"); }, (dir / "folder.html").string(),
                            "Is a directory");
    EXPECT_FALSE(std::filesystem::exists(dir / "folder.TXT"));

    EXPECT_THROW(convertHtmlFile(std::filesystem::path()), ConversionError);
}

TEST(Failures, UnreadableInput)
{
    TempDir dir;
    writeFile(dir / "secret.html", "<p>hidden</p>");
    std::filesystem::permissions(dir / "secret.html", std::filesystem::perms::none);
    if (::geteuid() != 0) {
        expectConversionFailure([&] { convertHtmlFile(dir / "secret.html"); }, (dir / "secret.html").string(),
                                "Permission denied");
        EXPECT_FALSE(std::filesystem::exists(dir / "secret.TXT"));
        return;
    }
    // Root reads every file: try it as an ordinary user in a child.
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    const ChildResult child = runInChild([&]() -> std::string {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            return "could not drop root";
        try {
            convertHtmlFile(dir / "secret.html");
        } catch (const ConversionError &e) {
            return e.path() + ": " + e.reason();
        }
        return "no failure";
    });
    ASSERT_TRUE(child.completed);
    EXPECT_EQ(child.output, (dir / "secret.html").string() + ": Permission denied");
    EXPECT_FALSE(std::filesystem::exists(dir / "secret.TXT"));
}

TEST(Failures, InputsThatAreNotRegularFilesAreRefusedWithoutWaiting)
{
    TempDir dir;
    // A pipe no one writes to first: opening it for reading would wait for
    // ever. Then devices without end, directly and through links.
    ASSERT_EQ(::mkfifo((dir / "fifo.html").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir / "zero.html");
    std::filesystem::create_symlink("/dev/urandom", dir / "random.html");
    std::filesystem::create_symlink("fifo.html", dir / "pipe.html");
    for (const char *name : {"fifo.html", "zero.html", "random.html", "pipe.html"})
        expectConversionFailure([&] { convertHtmlFile(dir / name); }, (dir / name).string(), "not a regular file");
    expectConversionFailure([&] { convertHtmlFile("/dev/null", dir / "null.txt"); }, "/dev/null", "not a regular file");
    EXPECT_EQ(fileNames(dir.path()), (std::set<std::string>{"fifo.html", "zero.html", "random.html", "pipe.html"}));
    expectConversionFailure([&] { quillan::convert::openHtmlFile(dir / "fifo.html"); }, (dir / "fifo.html").string(),
                            "not a regular file");

    // A regular file is read to its end as before, through a link too.
    writeFile(dir / "real.htm", "<p>real</p>");
    std::filesystem::create_symlink("real.htm", dir / "link.html");
    convertHtmlFile(dir / "link.html");
    EXPECT_EQ(readFile(dir / "link.TXT"), "real\r\n");
}

TEST(Failures, TextFileThatCannotBeCreated)
{
    TempDir dir;
    writeFile(dir / "page.html", "<p>text</p>");
    const auto target = dir / "no-such-folder" / "out.txt";
    expectConversionFailure([&] { convertHtmlFile(dir / "page.html", target); }, target.string(),
                            "No such file or directory");
    // The text path exists as a folder.
    std::filesystem::create_directory(dir / "page.TXT");
    expectConversionFailure([&] { convertHtmlFile(dir / "page.html"); }, (dir / "page.TXT").string(), "Is a directory");
}

TEST(Failures, AFileIsNeverConvertedOntoItself)
{
    TempDir dir;
    const std::string original = "<p>my notes</p>\r\nmore notes\r\n";
    writeFile(dir / "notes.TXT", original);
    expectConversionFailure([&] { convertHtmlFile(dir / "notes.TXT"); }, (dir / "notes.TXT").string());
    EXPECT_EQ(readFile(dir / "notes.TXT"), original);

    // The same file reached through a symbolic link and a hard link.
    writeFile(dir / "real.html", original);
    std::filesystem::create_symlink(dir / "real.html", dir / "link.TXT");
    expectConversionFailure([&] { convertHtmlFile(dir / "link.html", dir / "link.TXT"); },
                            (dir / "link.html").string());
    expectConversionFailure([&] { convertHtmlFile(dir / "real.html", dir / "link.TXT"); },
                            (dir / "real.html").string());
    std::filesystem::create_hard_link(dir / "real.html", dir / "hard.TXT");
    expectConversionFailure([&] { convertHtmlFile(dir / "real.html", dir / "hard.TXT"); },
                            (dir / "real.html").string());
    EXPECT_EQ(readFile(dir / "real.html"), original);
}

TEST(Failures, DiskFullIsReportedAndADeviceIsNotRemoved)
{
    TempDir dir;
    writeFile(dir / "page.html", "<p>some text</p>");
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    expectConversionFailure([&] { convertHtmlFile(dir / "page.html", "/dev/full"); }, "/dev/full",
                            "No space left on device");
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}

// A folder like /tmp, inside the test's own: sticky and writable by everyone.
std::filesystem::path makeSharedFolder(const TempDir &dir)
{
    const auto shared = dir / "shared";
    std::filesystem::create_directory(shared);
    std::filesystem::permissions(shared, std::filesystem::perms::all | std::filesystem::perms::sticky_bit);
    return shared;
}

constexpr uid_t kNobody = 65534;

TEST(Failures, LinksPlantedByAnotherUserInASharedFolderAreNotFollowed)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "planting a link owned by another user needs root";
    TempDir dir;
    const auto shared = makeSharedFolder(dir);
    const std::string secret = "root's own file\n";
    writeFile(dir / "secret", secret);
    writeFile(shared / "page.html", "<p>the page</p>");
    writeFile(shared / "other.html", "<p>the other page</p>");
    std::filesystem::create_symlink(dir / "secret", shared / "page.TXT");
    std::filesystem::create_symlink(dir / "chosen", shared / "other.TXT"); // dangling
    for (const char *link : {"page.TXT", "other.TXT"})
        ASSERT_EQ(::lchown((shared / link).c_str(), kNobody, kNobody), 0);

    for (const char *page : {"page", "other"}) {
        const auto textPath = shared / (std::string(page) + ".TXT");
        try {
            convertHtmlFile(shared / (std::string(page) + ".html"));
            ADD_FAILURE() << "followed " << textPath;
        } catch (const ConversionError &e) {
            EXPECT_EQ(e.path(), textPath.string());
            EXPECT_EQ(e.reason(), "not following the symbolic link " + textPath.string() +
                                      ": it belongs to another user, in a folder anyone may write to");
        }
        EXPECT_TRUE(std::filesystem::is_symlink(textPath));
    }
    EXPECT_EQ(readFile(dir / "secret"), secret);
    EXPECT_FALSE(std::filesystem::exists(dir / "chosen"));
    EXPECT_EQ(fileNames(shared), (std::set<std::string>{"page.html", "page.TXT", "other.html", "other.TXT"}));
    // The replacement itself keeps the rule for every other writer.
    base::FileReplacement replacement;
    EXPECT_EQ(replacement.open(shared / "page.TXT"), EACCES);

    // A link of the folder's owner, or one in a folder that is not shared,
    // keeps its meaning.
    std::filesystem::remove(shared / "page.TXT");
    std::filesystem::create_symlink(dir / "secret", shared / "page.TXT");
    convertHtmlFile(shared / "page.html");
    EXPECT_EQ(readFile(dir / "secret"), "the page\r\n");
    std::filesystem::permissions(shared, std::filesystem::perms::sticky_bit, std::filesystem::perm_options::remove);
    convertHtmlFile(shared / "other.html");
    EXPECT_EQ(readFile(dir / "chosen"), "the other page\r\n");
}

TEST(Failures, AUsersOwnLinkInASharedFolderIsFollowed)
{
    // An ordinary user converting in /tmp through a link of their own.
    TempDir dir;
    const auto shared = makeSharedFolder(dir);
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    const ChildResult child = runInChild([&]() -> std::string {
        if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            return "could not drop root";
        writeFile(shared / "mine.txt", "old\r\n");
        writeFile(shared / "page.html", "<p>mine</p>");
        std::filesystem::create_symlink("mine.txt", shared / "page.TXT");
        try {
            convertHtmlFile(shared / "page.html");
        } catch (const ConversionError &e) {
            return e.what();
        }
        return readFile(shared / "mine.txt");
    });
    ASSERT_TRUE(child.completed);
    EXPECT_EQ(child.output, "mine\r\n");
}

// A page of `lines` lines; large ones are read ahead and written behind by a
// helper thread, small ones in a plain loop, and both must behave alike.
std::string page(int lines, const char *eol)
{
    std::string html;
    for (int i = 0; i < lines; ++i)
        html += "<tr><td class=\"n\">line&nbsp;" + std::to_string(i) + "</td><td>a &amp; b " +
                std::string(static_cast<std::size_t>(i % 40), ' ') + "c</td>" + (i % 7 == 0 ? "<a\r\nhref=x>" : "") +
                "</tr>" + eol;
    return html;
}

TEST(WholeFile, LargeAndSmallFilesConvertAlike)
{
    TempDir dir;
    for (const char *eol : {"\r\n", "\n"}) {
        for (const int lines : {50, 60000}) {
            const std::string html = page(lines, eol);
            writeFile(dir / "page.html", html);
            convertHtmlFile(dir / "page.html");
            EXPECT_EQ(readFile(dir / "page.TXT"), reference::strip(html))
                << lines << " lines ending in " << testing::PrintToString(std::string(eol));
        }
    }
}

// Runs fn in a child whose files may not grow past 4 KiB: a write beyond
// that fails with EFBIG.
ChildResult inChildWithSmallFiles(const std::function<std::string()> &fn)
{
    return runInChild([&]() -> std::string {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {
            4096, 4096
        };
        ::setrlimit(RLIMIT_FSIZE, &limit);
        return fn();
    });
}

TEST(Failures, AWriteFailingMidwayRemovesThePartialTextFile)
{
    for (const int lines : {20000, 60000}) {
        TempDir dir;
        const std::string big = page(lines, "\r\n");
        writeFile(dir / "big.html", big);

        // In a child limited to 4 KiB files, the write fails with EFBIG after
        // the text file was created; the child reports what it saw.
        const ChildResult child = inChildWithSmallFiles([&]() -> std::string {
            try {
                convertHtmlFile(dir / "big.html");
            } catch (const ConversionError &e) {
                return e.path() + (std::filesystem::exists(dir / "big.TXT") ? " left behind" : " removed");
            }
            return "no failure";
        });
        ASSERT_TRUE(child.completed);
        EXPECT_EQ(child.output, (dir / "big.TXT").string() + " removed") << lines << " lines";
        EXPECT_FALSE(std::filesystem::exists(dir / "big.TXT"));
        EXPECT_EQ(readFile(dir / "big.html"), big);

        // And on a device that is always full.
        convertHtmlFile(dir / "big.html", dir / "fine.txt");
        EXPECT_THROW(convertHtmlFile(dir / "big.html", "/dev/full"), ConversionError);
    }
}

TEST(Failures, OutgrowingTheFileSizeLimitIsAFailedWriteNotTheEnd)
{
    TempDir dir;
    const std::string big = page(20000, "\r\n");
    writeFile(dir / "big.html", big);
    writeFile(dir / "big.TXT", "yesterday\r\n");
    // SIGXFSZ as a program leaves it, at its default action, which would
    // end the process (unless an earlier test here already took it over).
    const ChildResult child = runInChild([&]() -> std::string {
        struct sigaction current {};
        if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
            ::signal(SIGXFSZ, SIG_DFL);
        struct rlimit limit {
            4096, 4096
        };
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            convertHtmlFile(dir / "big.html");
        } catch (const ConversionError &e) {
            return e.what();
        }
        return "no failure";
    });
    ASSERT_TRUE(child.completed) << "the child did not come back";
    EXPECT_EQ(child.output, (dir / "big.TXT").string() + ": File too large");
    EXPECT_EQ(readFile(dir / "big.TXT"), "yesterday\r\n");
    EXPECT_EQ(fileNames(dir.path()), (std::set<std::string>{"big.html", "big.TXT"}));
}

// ---------------------------------------------------------------------------
// A text that was there before a run survives any failure of the run.

// The names in a folder other than `keep`: fresh files left behind.
std::set<std::string> leftovers(const TempDir &dir, std::initializer_list<const char *> keep)
{
    std::set<std::string> names = fileNames(dir.path());
    for (const char *name : keep)
        names.erase(name);
    return names;
}

TEST(Failures, AReadErrorKeepsThePreviousText)
{
    TempDir dir;
    const std::string previous = "the text of yesterday\r\n";
    writeFile(dir / "page.TXT", previous);
    // Reading a process's memory at offset 0 fails with EIO once the file is open.
    expectConversionFailure([&] { convertHtmlFile("/proc/self/mem", dir / "page.TXT"); }, "/proc/self/mem");
    EXPECT_EQ(readFile(dir / "page.TXT"), previous);
    EXPECT_EQ(leftovers(dir, {"page.TXT"}), std::set<std::string>());
}

TEST(Failures, AFailedWriteKeepsThePreviousTextAndItsLinks)
{
    TempDir dir;
    const std::string big = page(20000, "\r\n");
    writeFile(dir / "big.html", big);
    const std::string previous = "an earlier text\r\n";
    std::filesystem::create_directory(dir / "texts");
    writeFile(dir / "texts" / "kept.TXT", previous);
    std::filesystem::create_symlink("texts/kept.TXT", dir / "big.TXT");

    const ChildResult child = inChildWithSmallFiles([&]() -> std::string {
        try {
            convertHtmlFile(dir / "big.html");
        } catch (const ConversionError &e) {
            return e.reason();
        }
        return "no failure";
    });
    ASSERT_TRUE(child.completed);
    EXPECT_EQ(child.output, "File too large");
    EXPECT_EQ(readFile(dir / "texts" / "kept.TXT"), previous);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "big.TXT"));
    EXPECT_EQ(leftovers(dir, {"big.html", "big.TXT", "texts"}), std::set<std::string>());
    EXPECT_EQ(fileNames(dir / "texts"), std::set<std::string>{"kept.TXT"});

    // A run that succeeds writes through the link: the link stays a link.
    convertHtmlFile(dir / "big.html");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "big.TXT"));
    EXPECT_EQ(readFile(dir / "texts" / "kept.TXT"), reference::strip(big));
    EXPECT_EQ(fileNames(dir / "texts"), std::set<std::string>{"kept.TXT"});
}

} // namespace
