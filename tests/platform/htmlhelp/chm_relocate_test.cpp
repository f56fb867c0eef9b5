// Tests of the help file writer and of the relocatable copy the build ships:
// the same topics compiled in different folders give the same bytes, every
// context id names a topic inside the file, and files the copy cannot be
// trusted for are refused.

#include "platform/htmlhelp/ChmFile.h"
#include "platform/htmlhelp/ChmRelocate.h"
#include "platform/htmlhelp/ChmWriter.h"
#include "support/MiniChm.h"
#include "support/files.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

using platform::htmlhelp::ChmFile;
using platform::htmlhelp::ChmWriter;
using platform::htmlhelp::writeRelocatableCopy;
using testsupport::fileNames;
using testsupport::readFile;
using testsupport::runProgram;
using testsupport::TempDir;
namespace fs = std::filesystem;

namespace {

// Compiles the program's help project with chmcmd inside `folder` and
// returns chmcmd's own output.
fs::path compileHelpIn(const fs::path &folder)
{
    fs::create_directories(folder);
    fs::copy(fs::path(QUILLAN_HELP_SOURCES) / "html", folder / "html", fs::copy_options::recursive);
    fs::copy_file(fs::path(QUILLAN_HELP_SOURCES) / "qlnhelp.hhp", folder / "qlnhelp.hhp");
    fs::copy_file(fs::path(QUILLAN_HELP_SOURCES) / "qlnhelp.hhc", folder / "qlnhelp.hhc");
    const auto result = runProgram({QUILLAN_CHMCMD, "--no-html-scan", "qlnhelp.hhp"}, {"", folder});
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    return folder / "qlnhelp.chm";
}

std::uint32_t le32(const std::string &data, std::size_t pos)
{
    std::uint32_t v = 0;
    for (std::size_t i = 4; i-- > 0;)
        v = v << 8 | static_cast<unsigned char>(data[pos + i]);
    return v;
}

} // namespace

TEST(ChmRelocatedHelp, SameBytesFromAnyFolderWithTopicsNamedInsideTheFile)
{
    TempDir dir;
    const fs::path first = compileHelpIn(dir / "a");
    const fs::path second = compileHelpIn(dir / "a much longer folder name" / "b");
    ASSERT_NE(readFile(first), readFile(second)) << "chmcmd's output no longer depends on its folder";

    for (const auto &[in, out] : {std::pair{first, dir / "first.chm"}, std::pair{second, dir / "second.chm"}}) {
        const auto result = runProgram({CHMRELOCATE_TOOL, in.string(), out.string()});
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, "");
    }
    const std::string bytes = readFile(dir / "first.chm");
    EXPECT_EQ(bytes, readFile(dir / "second.chm"));
    // ...and the same as the file the build made in its own folder, at
    // another moment.
    EXPECT_EQ(bytes, readFile(QUILLAN_HELP_FILE));
    EXPECT_EQ(bytes.find(dir.path().string()), std::string::npos);
    EXPECT_EQ(le32(bytes, 0x10), 0u) << "time stamp in the file header";

    const auto original = ChmFile::open(first);
    const auto copy = ChmFile::open(dir / "first.chm");
    ASSERT_NE(original, nullptr);
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(copy->contextMap().size(), original->contextMap().size());
    for (const auto &[id, name] : copy->contextMap()) {
        SCOPED_TRACE(id);
        EXPECT_TRUE(name.starts_with("html/")) << name;
        EXPECT_EQ(copy->topicForContext(id), original->topicForContext(id));
    }
    EXPECT_EQ(copy->defaultTopic(), original->defaultTopic());
    EXPECT_EQ(copy->title(), original->title());
    // Every topic, picture and table chmcmd stored is there with its bytes;
    // only the compressed section's own storage is gone.
    for (const std::string &path : original->storedPaths()) {
        if (path.starts_with("::DataSpace/"))
            continue;
        SCOPED_TRACE(path);
        ASSERT_TRUE(copy->readStored(path).has_value());
        if (path != "/#SYSTEM" && path != "/#IVB" && path != "/#STRINGS") {
            EXPECT_EQ(copy->readStored(path), original->readStored(path));
        }
    }
    // #SYSTEM keeps its records, the compile time zeroed.
    const auto system = copy->readStored("/#SYSTEM");
    ASSERT_TRUE(system.has_value());
    EXPECT_EQ(system->size(), original->readStored("/#SYSTEM")->size());
    bool sawTime = false;
    for (std::size_t pos = 4; pos + 4 <= system->size();) {
        const std::uint32_t word = le32(*system, pos);
        const std::uint32_t code = word & 0xffff;
        const std::size_t length = word >> 16;
        if (code == 10) {
            sawTime = true;
            EXPECT_EQ(system->substr(pos + 4, length), std::string(length, '\0'));
        }
        pos += 4 + length;
    }
    EXPECT_TRUE(sawTime) << "chmcmd wrote no time record: check the layout";
}

TEST(ChmRelocatedHelp, RefusesWhatItCannotMakeRelocatable)
{
    TempDir dir;
    const auto attempt = [&](testchm::MiniChm chm, const std::string &expected) {
        SCOPED_TRACE(expected);
        chm.write(dir / "in.chm");
        const auto file = ChmFile::open(dir / "in.chm");
        ASSERT_NE(file, nullptr);
        try {
            writeRelocatableCopy(*file, dir / "out.chm");
            ADD_FAILURE() << "no error";
        } catch (const std::runtime_error &e) {
            EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
        }
        EXPECT_FALSE(fs::exists(dir / "out.chm"));
    };
    testchm::MiniChm missingTopic;
    missingTopic.contextMap({{10, "/build/help/a.htm"}, {20, "/build/help/gone.htm"}}).add("/a.htm", "A");
    attempt(missingTopic, "context id 20 names \"/build/help/gone.htm\"");

    testchm::MiniChm folderInTopic;
    folderInTopic.contextMap({{10, "/build/help/a.htm"}}).add("/a.htm", "see /build/help/b.htm");
    attempt(folderInTopic, "/a.htm names the folder");

    testchm::MiniChm topicsTable;
    topicsTable.contextMap({{10, "a.htm"}}).add("/a.htm", "A").add("/#TOPICS", std::string(16, '\0'));
    attempt(topicsTable, "#TOPICS");
    EXPECT_EQ(fileNames(dir.path()), std::set<std::string>{"in.chm"});
}

TEST(ChmWriterLayout, LargeDirectoriesSpreadOverChunksFindEveryObject)
{
    // Enough long names for several 4 KiB listing chunks and an index chunk.
    TempDir dir;
    ChmWriter writer;
    std::map<std::string, std::string> objects;
    for (int i = 0; i < 400; ++i) {
        const std::string name =
            "/topics/Chapter" + std::to_string(i % 7) + "/a-rather-long-topic-name-" + std::to_string(i) + ".htm";
        objects[name] = "page " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 5), '!');
        writer.add(name, objects[name]);
    }
    writer.write(dir / "big.chm");
    const std::string bytes = readFile(dir / "big.chm");
    EXPECT_NE(bytes.find("PMGI"), std::string::npos);
    EXPECT_EQ(writer.bytes(), bytes) << "same objects, different bytes";

    const auto file = ChmFile::open(dir / "big.chm");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->storedPaths().size(), objects.size());
    for (const auto &[name, data] : objects)
        EXPECT_EQ(file->read(name), data) << name;
    // Readers compare names without case.
    EXPECT_EQ(file->read("/TOPICS/chapter3/A-RATHER-LONG-TOPIC-NAME-10.HTM"),
              objects.at("/topics/Chapter3/a-rather-long-topic-name-10.htm"));
    EXPECT_FALSE(file->read("/topics/Chapter3/a-rather-long-topic-name-11.htm").has_value()); // 11 % 7 == 4
}

TEST(ChmWriterLayout, RefusesNamesReadersCannotTellApartAndFailsWithoutLeftovers)
{
    ChmWriter writer;
    writer.add("/Index.htm", "a");
    EXPECT_THROW(writer.add("/index.HTM", "b"), std::invalid_argument);
    EXPECT_NO_THROW(writer.add("/Index.htm", "replaced"));
    EXPECT_THROW(writer.add("index.htm", "x"), std::invalid_argument);
    EXPECT_THROW(writer.add("/folder/", "x"), std::invalid_argument);

    TempDir dir;
    EXPECT_THROW(writer.write(dir / "missing" / "out.chm"), std::runtime_error);
    EXPECT_TRUE(fileNames(dir.path()).empty());
    writer.write(dir / "out.chm");
    EXPECT_EQ(fileNames(dir.path()), std::set<std::string>{"out.chm"});
    EXPECT_EQ(ChmFile::open(dir / "out.chm")->read("/index.htm"), "replaced");
}
