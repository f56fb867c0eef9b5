// The metadata written as YAML front matter and as a JSON object: read back
// by Python's own YAML and JSON readers.
#include "text/metadata/front_matter.h"
#include "text/metadata/json_object.h"

#include "support/files.h"
#include "support/process.h"

#include <gtest/gtest.h>

namespace {

using namespace quillan::text::metadata;
using namespace testsupport;

Metadata awkward()
{
    Metadata m;
    m.title = "Quote \" back\\slash: colon # hash";
    m.author = "- dash, [list], {map}, 'single', yes";
    m.date = "2015-07-10";
    m.site = "Tab\there\nnew line\x01\x7F \xC2\x85 \xE2\x80\xA8 \xEF\xBB\xBF";
    m.description = "bad \xFF byte";
    m.url = "https://ex.org/?a=1&b=2";
    return m;
}

TEST(Writers, FrontMatterIsQuotedYaml)
{
    const Metadata m = awkward();
    const std::string yaml = frontMatter(m);
    EXPECT_TRUE(yaml.starts_with("---\ntitle: \"Quote \\\" back\\\\slash: colon # hash\"\n"));
    EXPECT_NE(yaml.find("\ndate: \"2015-07-10\"\n"), std::string::npos);
    EXPECT_EQ(yaml.find("modified"), std::string::npos); // empty fields are left out
    EXPECT_TRUE(yaml.ends_with("\"\n---\n"));
    EXPECT_EQ(frontMatter(Metadata{}, "\r\n"), "---\r\n---\r\n");

    TempDir dir;
    writeFile(dir / "m.yaml", yaml);
    const ProcessResult r =
        runProgram({"python3", "-c",
                    "import sys, yaml, json\n"
                    "docs = [d for d in yaml.safe_load_all(open(sys.argv[1], encoding='utf-8')) if d]\n"
                    "print(json.dumps(docs[0], sort_keys=True))",
                    (dir / "m.yaml").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"author\": \"- dash, [list], {map}, 'single', yes\", \"date\": \"2015-07-10\", "
                     "\"description\": \"bad \\ufffd byte\", \"site\": \"Tab\\there\\nnew line\\u0001\\u007f "
                     "\\u0085 \\u2028 \\ufeff\", \"title\": \"Quote \\\" back\\\\slash: colon # hash\", "
                     "\"url\": \"https://ex.org/?a=1&b=2\"}\n");
}

TEST(Writers, JsonObjectReadsBack)
{
    const Metadata m = awkward();
    for (const JsonLayout layout : {JsonLayout::Indented, JsonLayout::OneLine}) {
        const std::string object = jsonObject(m, "text\r\n\x02\xC3", "dir/page.html", layout);
        EXPECT_EQ(std::count(object.begin(), object.end(), '\n'), layout == JsonLayout::OneLine ? 1 : 13);
        TempDir dir;
        writeFile(dir / "m.json", object);
        const ProcessResult r = runProgram({"python3", "-c",
                                            "import sys, json\n"
                                            "d = json.load(open(sys.argv[1], encoding='utf-8'))\n"
                                            "print(json.dumps(d, sort_keys=True))",
                                            (dir / "m.json").string()});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out,
                  "{\"author\": \"- dash, [list], {map}, 'single', yes\", \"date\": \"2015-07-10\", "
                  "\"description\": \"bad \\ufffd byte\", \"image\": null, \"language\": null, "
                  "\"modified\": null, \"site\": \"Tab\\there\\nnew line\\u0001\\u007f \\u0085 \\u2028 "
                  "\\ufeff\", \"source\": \"dir/page.html\", \"text\": \"text\\r\\n\\u0002\\ufffd\", "
                  "\"title\": \"Quote \\\" back\\\\slash: colon # hash\", \"url\": \"https://ex.org/?a=1&b=2\"}\n");
    }
}

} // namespace
