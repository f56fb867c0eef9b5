// The pump over a file large enough for its helper thread: reading ahead
// and writing behind while the caller filters, into a file, into a pipe
// read slowly enough for every output slot to wait, and into writes that
// fail. The tsan preset runs these under ThreadSanitizer.
#include "convert/pump.h"
#include "support/reference_stripper.h"

#include "base/fd_io.h"

#include "support/converted_text.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using namespace testsupport;

using quillan::convert::WriteFailure;

// Some 3 MiB of rows, so that both rings of slots go round several times.
std::string largePage()
{
    std::string html;
    for (int i = 0; html.size() < 3 * 1024 * 1024; ++i)
        html += "<tr><td>row&nbsp;" + std::to_string(i) + "</td><td>" + std::string(std::size_t(i % 50), 'x') +
                " &amp; y</td></tr>\r\n";
    return html;
}

base::UniqueFd openForReading(const std::filesystem::path &path)
{
    return base::UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
}

class LargePump : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeFile(dir / "page.html", page);
        input = openForReading(dir / "page.html");
        ASSERT_TRUE(input);
    }

    TempDir dir;
    const std::string page = largePage();
    base::UniqueFd input;
};

TEST_F(LargePump, EveryKindGivesItsTextThroughTheHelperThread)
{
    for (const auto kind : {quillan::text::Kind::Readable, quillan::text::Kind::Article}) {
        quillan::text::Options options;
        options.kind = kind;
        input = openForReading(dir / "page.html");
        const auto path = dir / "page.txt";
        {
            base::UniqueFd out(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
            ASSERT_TRUE(out);
            const quillan::text::Result result = quillan::convert::pump(input.get(), out.get(), options);
            EXPECT_EQ(result.textEncoding, "UTF-8");
            EXPECT_EQ(result.article.has_value(), kind == quillan::text::Kind::Article);
        }
        EXPECT_EQ(readFile(path), convertInPieces(page, options).text) << quillan::text::kindName(kind);
    }
}

TEST_F(LargePump, IntoAFileAndThroughASlowPipeAlike)
{
    const std::string expected = reference::strip(page);
    {
        base::UniqueFd out(::open((dir / "page.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        ASSERT_TRUE(out);
        quillan::convert::pump(input.get(), out.get(), {});
    }
    EXPECT_EQ(readFile(dir / "page.txt"), expected);

    // A reader that takes small bites with pauses keeps the pipe full, so
    // the writing side waits and the caller waits for free slots.
    input = openForReading(dir / "page.html");
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    base::UniqueFd readEnd(ends[0]), writeEnd(ends[1]);
    std::string piped;
    std::thread reader([&] {
        char bite[4096];
        for (int bites = 0;; ++bites) {
            const ssize_t n = base::ReadSome(readEnd.get(), bite, sizeof bite);
            if (n <= 0)
                return;
            piped.append(bite, std::size_t(n));
            if (bites % 64 == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    quillan::convert::pump(input.get(), writeEnd.get(), {});
    writeEnd.reset();
    reader.join();
    EXPECT_EQ(piped, expected);
}

TEST_F(LargePump, AFailedWriteEndsTheReadingAndIsReported)
{
    base::UniqueFd full(::open("/dev/full", O_WRONLY | O_CLOEXEC));
    if (!full)
        GTEST_SKIP() << "no /dev/full";
    try {
        quillan::convert::pump(input.get(), full.get(), {});
        ADD_FAILURE() << "no failure";
    } catch (const WriteFailure &failure) {
        EXPECT_EQ(failure.error, ENOSPC);
    }

    // A pipe whose reader has gone: EPIPE, whether the failure is seen
    // while filtering or at the end.
    ::signal(SIGPIPE, SIG_IGN);
    input = openForReading(dir / "page.html");
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    ::close(ends[0]);
    base::UniqueFd writeEnd(ends[1]);
    try {
        quillan::convert::pump(input.get(), writeEnd.get(), {});
        ADD_FAILURE() << "no failure";
    } catch (const WriteFailure &failure) {
        EXPECT_EQ(failure.error, EPIPE);
    }
}

} // namespace
