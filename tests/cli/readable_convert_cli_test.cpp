// quillan-convert --readable end to end: files, standard streams, -o, the
// options that go with it, and usage errors.
#include "cli/convert_tool.h"
#include "support/files.h"
#include "support/process.h"

#include <gtest/gtest.h>

namespace {

using namespace testsupport;

TEST(ReadableCommandLine, FilesStreamsAndOutputPaths)
{
    TempDir dir;
    writeFile(dir / "a.html", "<title>T</title><script>x()</script><p>first&nbsp;page</p><div>second</div>");
    writeFile(dir / "b.htm", "<p>caf\xE9</p>");
    ProcessResult r = runConvertTool(dir, {"--readable", "a.html", "b.htm"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(dir / "a.TXT"), "first\xC2\xA0page\n\nsecond\n");
    EXPECT_EQ(readFile(dir / "b.TXT"), "caf\xC3\xA9\n");

    EXPECT_EQ(runConvertTool(dir, {"--readable"}, "<ul><li>piped</ul>").out, "* piped\n");
    EXPECT_EQ(runConvertTool(dir, {"--readable", "-"}, "<b>dash</b>").out, "dash\n");
    EXPECT_EQ(runConvertTool(dir, {"--readable", "-o", "-", "a.html"}).out, "first\xC2\xA0page\n\nsecond\n");
    r = runConvertTool(dir, {"-o", "from-stdin.txt", "--readable"}, "<p>to a file</p>");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(readFile(dir / "from-stdin.txt"), "to a file\n");
    // Without the option, the same page is stripped as before.
    EXPECT_EQ(runConvertTool(dir, {}, "<p>a</p><p>b</p>").out, "ab\r\n");

    // A failure is reported and the rest still converts.
    r = runConvertTool(dir, {"--readable", "missing.html", "a.html"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing.html: No such file or directory"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(dir / "a.TXT"));
}

TEST(ReadableCommandLine, LinksAndWidth)
{
    TempDir dir;
    const std::string page = "<p>See <a href=\"https://example.org/\">the example site</a> and more words here.</p>";
    EXPECT_EQ(runConvertTool(dir, {"--readable", "--links"}, page).out,
              "See the example site[1] and more words here.\n\nReferences\n\n1. https://example.org/\n");
    EXPECT_EQ(runConvertTool(dir, {"--readable", "--width", "16"}, page).out,
              "See the example\nsite and more\nwords here.\n");
    EXPECT_EQ(runConvertTool(dir, {"--readable", "--width=16"}, page).out,
              "See the example\nsite and more\nwords here.\n");
}

TEST(ReadableCommandLine, Markdown)
{
    TempDir dir;
    const std::string page = "<h2>Head</h2><p>See <a href=\"https://example.org/\">the <b>example</b></a>.</p>";
    // Alone it means --readable; with --links the links are references.
    EXPECT_EQ(runConvertTool(dir, {"--markdown"}, page).out,
              "## Head\n\nSee [the **example**](https://example.org/).\n");
    EXPECT_EQ(runConvertTool(dir, {"--readable", "--markdown", "--links"}, page).out,
              "## Head\n\nSee [the **example**][1].\n\n[1]: https://example.org/\n");
    EXPECT_EQ(runConvertTool(dir, {"--markdown", "--article"}, page).status, 0);
    EXPECT_EQ(runConvertTool(dir, {"--markdown", "--width", "12"}, page).out,
              "## Head\n\nSee [the\n**example**](https://example.org/).\n");

    // --no-images leaves the images out, a linked one with its link's text.
    const std::string pictures = "<p>A <img src=a.png alt=Alt> b <a href=/x><img src=i.png>c</a></p>";
    EXPECT_EQ(runConvertTool(dir, {"--markdown"}, pictures).out, "A ![Alt](a.png) b [![](i.png)c](/x)\n");
    EXPECT_EQ(runConvertTool(dir, {"--markdown", "--no-images"}, pictures).out, "A b [c](/x)\n");
}

TEST(ReadableCommandLine, MarkdownFilesEndInMd)
{
    TempDir dir;
    writeFile(dir / "a.page.html", "<h1>A</h1>");
    writeFile(dir / "b.html", "<h1>B</h1>");
    ProcessResult r = runConvertTool(dir, {"--markdown", "a.page.html", "b.html"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(dir / "a.md"), "# A\n");
    EXPECT_EQ(readFile(dir / "b.md"), "# B\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "a.TXT"));
    if (QUILLAN_CONVERT_BATCHES) { // (a build without Qt converts files only, without --out-dir)
        r = runConvertTool(dir, {"--markdown", "--out-dir", "out", "a.page.html", "b.html"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(readFile(dir / "out" / "a.md"), "# A\n");
        EXPECT_EQ(readFile(dir / "out" / "b.md"), "# B\n");
    }
    // A JSON object is no Markdown file; the plain text keeps its TXT.
    EXPECT_EQ(runConvertTool(dir, {"--markdown", "--format", "json", "b.html"}).status, 0);
    EXPECT_NE(readFile(dir / "b.TXT").find("\"text\": \"# B\\n\""), std::string::npos) << readFile(dir / "b.TXT");
    if (QUILLAN_CONVERT_BATCHES) {
        EXPECT_EQ(runConvertTool(dir, {"--readable", "--out-dir", "plain", "b.html"}).status, 0);
        EXPECT_EQ(readFile(dir / "plain" / "b.TXT"), "B\n");
    }
}

TEST(ReadableCommandLine, UsageErrors)
{
    TempDir dir;
    for (const auto &args : std::vector<std::vector<std::string>>{{"--links"},
                                                                  {"--width", "20"},
                                                                  {"--readable", "--width"},
                                                                  {"--readable", "--width", "0"},
                                                                  {"--readable", "--width", "wide"},
                                                                  {"--readable", "--width=-3"},
                                                                  {"--no-images"},
                                                                  {"--readable", "--no-images"}}) {
        const ProcessResult r = runConvertTool(dir, args, "<p>x</p>");
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_EQ(r.out, "") << args.back();
        EXPECT_NE(r.err.find("Try 'quillan-convert --help'"), std::string::npos) << args.back();
    }
    const ProcessResult help = runConvertTool(dir, {"--help"});
    for (const char *option : {"--readable", "--markdown", "--no-images", "--links", "--width N", "--url ADDRESS"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
}

TEST(ReadableCommandLine, PageAddressGivenByUrl)
{
    TempDir dir;
    const std::string page = "<meta property=og:url content=/story><meta property=og:image content=pic.png>"
                             "<p>See <a href=/docs/a.html>the docs</a> and <a href=b.html>b</a>.</p>";
    writeFile(dir / "a.html", page);
    writeFile(dir / "based.html", "<base href=sub/>" + page);
    const std::string url = "http://Example.org/dir/page.html";

    // Links made absolute, on standard input and from a file, a <base href>
    // on top of the address.
    EXPECT_EQ(runConvertTool(dir, {"--readable", "--links", "--url", url}, page).out,
              "See the docs[1] and b[2].\n\nReferences\n\n1. http://example.org/docs/a.html\n"
              "2. http://example.org/dir/b.html\n");
    EXPECT_EQ(runConvertTool(dir, {"--markdown", "--url=" + url, "-o", "-", "based.html"}).out,
              "See [the docs](http://example.org/docs/a.html) and [b](http://example.org/dir/sub/b.html).\n");
    // Without it, a file's links stay as written.
    EXPECT_EQ(runConvertTool(dir, {"--markdown", "-o", "-", "a.html"}).out,
              "See [the docs](/docs/a.html) and [b](b.html).\n");

    // The metadata's addresses too.
    ProcessResult r = runConvertTool(dir, {"--article", "--format", "json", "--url", url, "-o", "-", "a.html"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"url\": \"http://example.org/story\",\n  \"image\": \"http://example.org/dir/pic.png\""),
              std::string::npos)
        << r.out;
    EXPECT_NE(runConvertTool(dir, {"--format", "json", "-o", "-", "a.html"}).out.find("\"url\": null"),
              std::string::npos);
    if (QUILLAN_CONVERT_BATCHES) { // the one file through the runner
        r = runConvertTool(dir, {"--markdown", "--url", url, "--out-dir", "out", "a.html"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(readFile(dir / "out" / "a.md"),
                  "See [the docs](http://example.org/docs/a.html) and [b](http://example.org/dir/b.html).\n");
    }

    // Only an absolute web address, and only for one file or standard input.
    for (const auto &[args, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--url", "dir/page.html"}, "needs an absolute http:// or https:// address, not 'dir/page.html'"},
             {{"--url", "ftp://example.org/"}, "needs an absolute http:// or https:// address"},
             {{"--url"}, "option '--url' needs an ADDRESS"},
             {{"--url", url, "--url", url}, "option '--url' given twice"},
             {{"--url", url, "a.html", "based.html"}, "option '--url' takes one input only"},
             {{"--url", url, "--inputs", "list"}, "option '--url' takes one input only"},
             {{"--url", url, "--warc", "a.html"}, "option '--url' cannot be used with '--warc'"},
             {{"--url", url, "http://127.0.0.1:9/"}, "option '--url' cannot be used with an address"}}) {
        const ProcessResult e = runConvertTool(dir, args, page);
        EXPECT_EQ(e.status, 2) << message;
        EXPECT_EQ(e.out, "") << message;
        EXPECT_NE(e.err.find(message), std::string::npos) << e.err;
    }
}

} // namespace

namespace {

TEST(ReadableCommandLine, MetadataAsFrontMatterOrJson)
{
    TempDir dir;
    const std::string page = "<html lang=en_GB><title>Story: \"quoted\" | Site</title>"
                             "<meta property=og:site_name content=Site><meta name=author content='Ann # A'>"
                             "<p>Body \xE9</p>";
    writeFile(dir / "a.html", page);
    writeFile(dir / "b.html", "<title>B</title><p>second</p>");

    // Front matter before the text, on the file and standard input roads.
    const std::string matter = "---\ntitle: \"Story: \\\"quoted\\\"\"\nauthor: \"Ann # A\"\nsite: \"Site\"\n"
                               "language: \"en-GB\"\ndescription: \"Body \xC3\xA9\"\n---\nBody \xC3\xA9\n";
    ProcessResult r = runConvertTool(dir, {"--readable", "--metadata", "a.html"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(dir / "a.TXT"), matter);
    EXPECT_EQ(runConvertTool(dir, {"--readable", "--metadata"}, page).out, matter);
    // Without it, the same text as ever.
    EXPECT_EQ(runConvertTool(dir, {"--readable"}, page).out, "Body \xC3\xA9\n");

    // One JSON object per page, read back by Python; "-" names standard input.
    const std::string check = "import json, sys\n"
                              "for line in open(sys.argv[1], encoding='utf-8').read().splitlines():\n"
                              "    d = json.loads(line)\n"
                              "    print(d['source'], d['title'], d['author'], d['date'], repr(d['text']))\n";
    r = runConvertTool(dir, {"--article", "--format", "jsonl", "-o", "a.jsonl", "a.html"});
    EXPECT_EQ(r.status, 0) << r.err;
    writeFile(dir / "std.jsonl", runConvertTool(dir, {"--format=jsonl"}, page).out);
    writeFile(dir / "check.py", check);
    r = runProgram({"python3", (dir / "check.py").string(), (dir / "a.jsonl").string()});
    EXPECT_EQ(r.out, "a.html Story: \"quoted\" Ann # A None 'Story: \"quoted\"\\n\\nBody \xC3\xA9\\n'\n") << r.err;
    r = runProgram({"python3", (dir / "check.py").string(), (dir / "std.jsonl").string()});
    // The stripped text keeps the page's bytes: invalid UTF-8 is replaced.
    EXPECT_EQ(r.out, "- Story: \"quoted\" Ann # A None 'Story: \"quoted\" | SiteBody \xEF\xBF\xBD\\r\\n'\n") << r.err;
    r = runConvertTool(dir, {"--readable", "--format", "json", "-o", "-", "b.html"});
    EXPECT_TRUE(r.out.starts_with("{\n  \"title\": \"B\",\n")) << r.out;
    EXPECT_TRUE(r.out.ends_with("\n  \"text\": \"second\\n\",\n  \"source\": \"b.html\"\n}\n")) << r.out;

    // Options that do not fit.
    r = runConvertTool(dir, {"--metadata", "--format", "json", "a.html"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("option '--metadata' cannot be used with '--format'"), std::string::npos);
}

} // namespace
