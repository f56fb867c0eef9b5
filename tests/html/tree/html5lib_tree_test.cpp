// The public html5lib tree-construction suite: every case of every .dat
// file, in both scripting modes when a case names none, fragments with their
// context element; each input fed whole and again in small chunks, which
// must give the same tree. The parse errors the suite lists are not
// compared. The scripted/ folder is left out: its cases need scripts run
// while the page is parsed.
#include "html/tree/parser.h"
#include "tree_dump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace quillan::html;

struct Case {
    std::string data;
    std::string context; // empty: a whole document
    int scripting = -1;  // -1: run both
    std::string expected;
    int line = 0;
};

std::vector<std::string> linesOf(const std::string &text)
{
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            if (at < text.size())
                lines.push_back(text.substr(at));
            break;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

std::vector<Case> readCases(const fs::path &file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    const std::vector<std::string> lines = linesOf(s.str());
    std::vector<Case> cases;
    std::size_t i = 0;
    while (i < lines.size()) {
        if (lines[i] != "#data") {
            ++i;
            continue;
        }
        Case c;
        c.line = static_cast<int>(i + 1);
        ++i;
        std::vector<std::string> data;
        while (i < lines.size() && lines[i] != "#errors")
            data.push_back(lines[i++]);
        for (std::size_t k = 0; k < data.size(); ++k)
            c.data += (k ? "\n" : "") + data[k];
        while (i < lines.size() && lines[i] != "#document") {
            if (lines[i] == "#document-fragment" && i + 1 < lines.size())
                c.context = lines[++i];
            else if (lines[i] == "#script-off")
                c.scripting = 0;
            else if (lines[i] == "#script-on")
                c.scripting = 1;
            ++i;
        }
        ++i;
        std::vector<std::string> doc;
        while (i < lines.size() && !(lines[i] == "#data" && !doc.empty() && doc.back().empty()))
            doc.push_back(lines[i++]);
        if (!doc.empty() && doc.back().empty() && i < lines.size())
            doc.pop_back();
        for (const std::string &l : doc)
            c.expected += l + "\n";
        cases.push_back(std::move(c));
    }
    return cases;
}

Document parse(const Case &c, bool scripting, std::size_t chunk)
{
    TreeOptions options;
    options.scripting = scripting;
    FragmentContext context;
    std::string localName;
    if (!c.context.empty()) {
        localName = c.context;
        if (localName.starts_with("svg ")) {
            context.ns = Namespace::Svg;
            localName = localName.substr(4);
        } else if (localName.starts_with("math ")) {
            context.ns = Namespace::MathMl;
            localName = localName.substr(5);
        }
        context.localName = localName;
    }
    std::unique_ptr<Parser> parser =
        c.context.empty() ? std::make_unique<Parser>(options) : std::make_unique<Parser>(context, options);
    if (chunk == 0) {
        parser->feed(c.data);
    } else {
        for (std::size_t at = 0; at < c.data.size(); at += chunk)
            parser->feed(std::string_view(c.data).substr(at, chunk));
    }
    return parser->finish();
}

TEST(Html5libTree, EveryCasePasses)
{
    const fs::path dir = fs::path(HTML5LIB_TESTS_DIR) / "tree-construction";
    std::vector<fs::path> files;
    for (const auto &entry : fs::directory_iterator(dir))
        if (entry.is_regular_file() && entry.path().extension() == ".dat")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    ASSERT_GT(files.size(), 50u) << "the suite is not at " << dir;

    int total = 0;
    int passed = 0;
    int shown = 0;
    for (const fs::path &file : files) {
        const std::vector<Case> cases = readCases(file);
        int filePassed = 0;
        int fileTotal = 0;
        for (const Case &c : cases) {
            for (int scripting = 0; scripting <= 1; ++scripting) {
                if (c.scripting != -1 && c.scripting != scripting)
                    continue;
                ++fileTotal;
                const std::string whole = treetest::dumpTree(parse(c, scripting != 0, 0));
                const std::string cut = treetest::dumpTree(parse(c, scripting != 0, 3));
                if (whole == c.expected && cut == whole) {
                    ++filePassed;
                } else if (shown++ < 40) {
                    ADD_FAILURE() << file.filename().string() << ":" << c.line << (scripting ? " (scripting)" : "")
                                  << (c.context.empty() ? "" : " in " + c.context) << "\n#data\n"
                                  << c.data << "\n#expected\n"
                                  << c.expected << "#got\n"
                                  << whole << (cut == whole ? "" : "#fed in chunks\n" + cut);
                }
            }
        }
        std::printf("%-48s %4d / %4d\n", file.filename().string().c_str(), filePassed, fileTotal);
        total += fileTotal;
        passed += filePassed;
    }
    std::printf("%-48s %4d / %4d\n", "all", passed, total);
    EXPECT_EQ(passed, total);
}

} // namespace
