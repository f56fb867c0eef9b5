// Copying a file into place: byte for byte, atomically, never onto itself.

#include "gui/viewer/file_copy.h"

#include <gtest/gtest.h>

#include "support/files.h"

#include <set>
#include <string>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

class FileCopy : public ::testing::Test {
protected:
    fs::path write(const std::string &name, const std::string &bytes) { return writeFile(dir_ / name, bytes); }
    std::set<std::string> names() const { return fileNames(dir_.path()); }

    TempDir dir_;
};

std::string everyByteValue(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xff);
    return bytes;
}

mode_t modeOf(const fs::path &path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_mode & 07777;
}

} // namespace

TEST_F(FileCopy, CopiesEveryByteIncludingInvalidUtf8)
{
    for (size_t size : {size_t(0), size_t(1), size_t(65535), size_t(65536), size_t(300001)}) {
        const std::string bytes = everyByteValue(size) + "\xff\xfe\xc3(\r\n\r";
        const fs::path source = write("page.TXT", bytes);
        const fs::path target = dir_ / "kept.txt";
        EXPECT_EQ(quillan::copyFileIntoPlace(source, target), quillan::CopyOutcome::Copied);
        EXPECT_EQ(readFile(target), bytes) << "size " << size;
        EXPECT_EQ(readFile(source), bytes);
        EXPECT_EQ(names(), (std::set<std::string>{"page.TXT", "kept.txt"}));
    }
}

TEST_F(FileCopy, ReplacesAnExistingTargetAndKeepsItsMode)
{
    const fs::path source = write("page.TXT", "new contents\r\n");
    const fs::path target = write("old.txt", "old contents that are longer than the new ones\r\n");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    quillan::copyFileIntoPlace(source, target);
    EXPECT_EQ(readFile(target), "new contents\r\n");
    EXPECT_EQ(modeOf(target), mode_t(0640));
}

TEST_F(FileCopy, NewTargetGetsTheUsualModeOfANewFile)
{
    const mode_t mask = ::umask(022);
    const fs::path source = write("page.TXT", "x\r\n");
    const fs::path target = dir_ / "fresh.txt";
    quillan::copyFileIntoPlace(source, target);
    ::umask(mask);
    EXPECT_EQ(modeOf(target), mode_t(0644));
}

TEST_F(FileCopy, NeverCopiesOntoItself)
{
    const fs::path source = write("page.TXT", "the only copy\r\n");
    const fs::path sameByOtherName = dir_ / "." / "page.TXT";
    EXPECT_EQ(quillan::copyFileIntoPlace(source, sameByOtherName), quillan::CopyOutcome::SameFile);
    const fs::path link = dir_ / "link.txt";
    fs::create_hard_link(source, link);
    EXPECT_EQ(quillan::copyFileIntoPlace(source, link), quillan::CopyOutcome::SameFile);
    EXPECT_EQ(readFile(source), "the only copy\r\n");
    EXPECT_EQ(names(), (std::set<std::string>{"page.TXT", "link.txt"}));
}

TEST_F(FileCopy, FailuresNameThePathAndLeaveNothingBehind)
{
    const fs::path source = write("page.TXT", "text\r\n");

    try {
        quillan::copyFileIntoPlace(dir_ / "missing.TXT", dir_ / "out.txt");
        FAIL() << "missing source copied";
    } catch (const quillan::CopyError &e) {
        EXPECT_EQ(e.path(), (dir_ / "missing.TXT").string());
        EXPECT_FALSE(e.reason().empty());
    }

    const fs::path inMissingFolder = dir_ / "no-such-folder" / "out.txt";
    try {
        quillan::copyFileIntoPlace(source, inMissingFolder);
        FAIL() << "copied into a missing folder";
    } catch (const quillan::CopyError &e) {
        EXPECT_EQ(e.path(), inMissingFolder.string());
        EXPECT_NE(std::string(e.what()).find(inMissingFolder.string()), std::string::npos);
    }

    fs::create_directory(dir_ / "folder.txt");
    EXPECT_THROW(quillan::copyFileIntoPlace(source, dir_ / "folder.txt"), quillan::CopyError);
    EXPECT_THROW(quillan::copyFileIntoPlace(dir_.path(), dir_ / "out.txt"), quillan::CopyError);
    EXPECT_THROW(quillan::copyFileIntoPlace(source, fs::path()), quillan::CopyError);

    EXPECT_EQ(names(), (std::set<std::string>{"page.TXT", "folder.txt"}));
    EXPECT_EQ(readFile(source), "text\r\n");
}
