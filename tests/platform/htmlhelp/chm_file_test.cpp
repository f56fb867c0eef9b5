// Tests of the CHM reader: against the help file the build compiles with
// chmcmd, and against small files laid out like other compilers' output.

#include "platform/htmlhelp/ChmFile.h"
#include "support/MiniChm.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

using platform::htmlhelp::ChmFile;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;
namespace fs = std::filesystem;

namespace {

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// id -> topic file, as the help project declares them in [ALIAS] and [MAP].
std::map<int, std::string> projectContextMap()
{
    std::ifstream in(QUILLAN_HELP_PROJECT);
    std::map<std::string, std::string> aliases;
    std::map<int, std::string> map;
    std::string section;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.starts_with('[')) {
            section = line;
            continue;
        }
        if (section == "[ALIAS]") {
            if (const auto eq = line.find('='); eq != std::string::npos)
                aliases[line.substr(0, eq)] = line.substr(eq + 1);
        } else if (section == "[MAP]") {
            std::istringstream words(line);
            std::string define, name;
            int id = 0;
            if (words >> define >> name >> id && define == "#define")
                map[id] = aliases.at(name);
        }
    }
    return map;
}

class ChmBuiltHelpFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        file = ChmFile::open(QUILLAN_HELP_FILE);
        ASSERT_NE(file, nullptr) << "cannot open " << QUILLAN_HELP_FILE;
    }
    std::unique_ptr<ChmFile> file;
};

} // namespace

// The context ids the program passes to the help routine (400, 410 and 430:
// the main window's "Readable text", "Article only" and "Markdown" boxes).
static const std::set<int> kProgramContextIds = {330, 340, 350, 360, 370, 380, 390,  400,  410,
                                                 420, 430, 440, 450, 520, 530, 1012, 1028, 1210};

TEST_F(ChmBuiltHelpFile, EveryIdTheProgramPassesResolvesToItsProjectTopic)
{
    const auto project = projectContextMap();
    for (int id : kProgramContextIds) {
        SCOPED_TRACE("context id " + std::to_string(id));
        ASSERT_TRUE(project.contains(id)) << "the help project does not map this id";
        const auto topic = file->topicForContext(id);
        ASSERT_TRUE(topic.has_value());
        EXPECT_EQ(lower(*topic), lower("/" + project.at(id)));
        const auto page = file->read(*topic);
        ASSERT_TRUE(page.has_value());
        EXPECT_NE(page->find("<title>"), std::string::npos);
    }
    // Nothing in the file maps an id the project does not declare.
    for (const auto &[id, name] : file->contextMap())
        EXPECT_TRUE(project.contains(id)) << id << " -> " << name;
}

TEST_F(ChmBuiltHelpFile, ShippedFileNamesTopicsInsideItselfNotTheBuildFolder)
{
    // chmcmd names topics by the absolute path of its compile folder; the
    // shipped file names them relative to its root, as other readers expect.
    const auto &raw = file->contextMap();
    ASSERT_TRUE(raw.contains(360));
    EXPECT_EQ(raw.at(360), "html/address_box.htm");
    for (const auto &[id, name] : raw)
        EXPECT_FALSE(name.starts_with('/')) << id << " -> " << name;
    EXPECT_EQ(file->topicForContext(360), "/html/address_box.htm");
    const auto page = file->read("/html/address_box.htm");
    ASSERT_TRUE(page.has_value());
    EXPECT_NE(page->find("The address box"), std::string::npos);

    const std::string bytes = readFile(QUILLAN_HELP_FILE);
    EXPECT_EQ(bytes.find(QUILLAN_BUILD_DIR), std::string::npos);
    EXPECT_EQ(bytes.find(QUILLAN_HELP_SOURCES), std::string::npos);
}

TEST_F(ChmBuiltHelpFile, DefaultTopicAndTitle)
{
    EXPECT_EQ(file->defaultTopic(), "/html/index.htm");
    EXPECT_EQ(file->title(), "Quillan Help");
    const auto page = file->read(*file->defaultTopic());
    ASSERT_TRUE(page.has_value());
    EXPECT_NE(page->find("<title>Quillan Help</title>"), std::string::npos);
}

TEST_F(ChmBuiltHelpFile, UnmappedIdsHaveNoTopic)
{
    for (int id : {0, 1, 331, 9999, -1, -360})
        EXPECT_FALSE(file->topicForContext(id).has_value()) << id;
}

TEST_F(ChmBuiltHelpFile, EveryLinkAndPictureInEveryTopicIsInTheFile)
{
    const std::regex reference(R"re((?:href|src)\s*=\s*"([^"]*)")re", std::regex::icase);
    int topics = 0;
    for (const auto &entry : fs::directory_iterator(fs::path(QUILLAN_HELP_SOURCES) / "html")) {
        if (entry.path().extension() != ".htm")
            continue;
        ++topics;
        const std::string stored = "/html/" + entry.path().filename().string();
        SCOPED_TRACE(stored);
        const auto page = file->read(stored);
        ASSERT_TRUE(page.has_value()) << "topic missing from the compiled file";
        EXPECT_EQ(*page, readFile(entry.path()));
        for (std::sregex_iterator it(page->begin(), page->end(), reference), end; it != end; ++it) {
            const std::string target = (*it)[1];
            if (target.find(':') != std::string::npos || target.starts_with('#'))
                continue; // external address or a place on the same page
            EXPECT_TRUE(file->contains("/html/" + target)) << "broken link " << target;
        }
    }
    EXPECT_GE(topics, 15);
}

TEST_F(ChmBuiltHelpFile, PicturesAndStylesheetsReadByteForByte)
{
    const fs::path sources = fs::path(QUILLAN_HELP_SOURCES) / "html";
    const auto png = file->read("/html/images/quillan.png");
    ASSERT_TRUE(png.has_value());
    EXPECT_EQ(*png, readFile(sources / "images" / "quillan.png"));
    EXPECT_EQ(png->substr(1, 3), "PNG");
    // Looked up the way a page refers to it, relative and in other case.
    EXPECT_EQ(file->read("html/topics/../QLNHELP.CSS"), readFile(sources / "qlnhelp.css"));
    EXPECT_FALSE(file->read("/html/images/none.png").has_value());
    EXPECT_FALSE(file->read("").has_value());
}

TEST(ChmFileOpen, RefusesWhatIsNotAHelpFile)
{
    TempDir dir;
    EXPECT_EQ(ChmFile::open(dir / "absent.chm"), nullptr);
    EXPECT_EQ(ChmFile::open(dir.path()), nullptr);
    EXPECT_EQ(ChmFile::open(writeFile(dir / "text.chm", "this is not a compiled help file\n")), nullptr);
    EXPECT_EQ(ChmFile::open(writeFile(dir / "cut.chm", readFile(QUILLAN_HELP_FILE).substr(0, 200))), nullptr);
}

TEST(ChmFilePaths, NormaliseFoldsSegmentsAndDropsFragments)
{
    EXPECT_EQ(ChmFile::normalisePath("index.htm"), "/index.htm");
    EXPECT_EQ(ChmFile::normalisePath("/a/./b/../c.htm#part"), "/a/c.htm");
    EXPECT_EQ(ChmFile::normalisePath("../../x.htm?q=1"), "/x.htm");
    EXPECT_EQ(ChmFile::normalisePath("sub\\my%20page.htm"), "/sub/my page.htm");
    EXPECT_EQ(ChmFile::normalisePath("100%.htm"), "/100%.htm");
    EXPECT_EQ(ChmFile::normalisePath("a//b/"), "/a/b");
    EXPECT_EQ(ChmFile::normalisePath(""), "");
    EXPECT_EQ(ChmFile::normalisePath("#top"), "");
    EXPECT_EQ(ChmFile::normalisePath("/.."), "");
}

// A file laid out the way Microsoft's compiler stores names: relative to the
// file's root, fragments kept, plus names with a Windows compile folder.
TEST(ChmRelativeNames, ResolvesRootRelativeAndCompileFolderNames)
{
    TempDir dir;
    testchm::MiniChm chm;
    chm.system("start/home.htm", "Tiny Help")
        .contextMap({{10, "topics/a.htm"},
                     {20, "start/home.htm#part"},
                     {30, "missing.htm"},
                     {40, "C:\\Work\\Help\\topics\\b.htm"},
                     {50, "/tmp/folder/topics/a.htm"}})
        .add("/start/home.htm", "<html><body>home <a href=\"../topics/a.htm\">a</a></body></html>")
        .add("/topics/a.htm", "<html><body>topic a</body></html>")
        .add("/topics/b.htm", "<html><body>topic b</body></html>");
    chm.write(dir / "tiny.chm");
    const auto file = ChmFile::open(dir / "tiny.chm");
    ASSERT_NE(file, nullptr);

    EXPECT_EQ(file->title(), "Tiny Help");
    EXPECT_EQ(file->defaultTopic(), "/start/home.htm");
    EXPECT_EQ(file->topicForContext(10), "/topics/a.htm");
    EXPECT_EQ(file->topicForContext(20), "/start/home.htm#part");
    EXPECT_EQ(file->topicForContext(40), "/topics/b.htm");
    EXPECT_EQ(file->topicForContext(50), "/topics/a.htm");
    EXPECT_EQ(file->read(*file->topicForContext(10)), "<html><body>topic a</body></html>");

    // A mapped name without its topic, and an unmapped id, give nothing.
    EXPECT_EQ(file->contextMap().at(30), "missing.htm");
    EXPECT_FALSE(file->topicForContext(30).has_value());
    EXPECT_FALSE(file->topicForContext(11).has_value());
}

TEST(ChmFileTables, DamagedTablesAreSkippedNotTrusted)
{
    TempDir dir;
    std::string ivb;
    auto put32 = [&ivb](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            ivb.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
    };
    put32(4000);           // claims far more pairs than follow
    put32(1), put32(1);    // good entry
    put32(2), put32(9999); // offset past the end of #STRINGS
    put32(3);              // half an entry
    testchm::MiniChm chm;
    chm.add("/#IVB", ivb)
        .add("/#STRINGS", std::string("\0a.htm\0", 7))
        .add("/#SYSTEM", std::string("\3\0\0\0\2\0\x40\0index", 13)) // record longer than the table
        .add("/a.htm", "A")
        .add("/default.htm", "D");
    chm.write(dir / "damaged.chm");
    const auto file = ChmFile::open(dir / "damaged.chm");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->contextMap().size(), 1u);
    EXPECT_EQ(file->topicForContext(1), "/a.htm");
    EXPECT_FALSE(file->topicForContext(2).has_value());
    EXPECT_FALSE(file->topicForContext(3).has_value());
    // No usable default topic record: the usual start page is taken.
    EXPECT_EQ(file->defaultTopic(), "/default.htm");
}
