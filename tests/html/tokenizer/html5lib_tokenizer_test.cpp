// The public html5lib tokenizer suite: every case, from each of its initial
// states, fed whole and fed one byte at a time.
#include "mini_json.h"
#include "token_recorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using quillan::html::Tokenizer;
using tokentest::shown;

const char *const kSuiteFiles[] = {
    "contentModelFlags.test",
    "domjs.test",
    "entities.test",
    "escapeFlag.test",
    "namedEntities.test",
    "numericEntities.test",
    "pendingSpecChanges.test",
    "test1.test",
    "test2.test",
    "test3.test",
    "test4.test",
    "unicodeChars.test",
    "unicodeCharsProblematic.test",
    "xmlViolation.test",
};

fs::path suiteDir()
{
    return fs::path(HTML5LIB_TESTS_DIR) / "tokenizer";
}

std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

Tokenizer::TextState stateNamed(const std::string &name, bool &known)
{
    known = true;
    if (name == "Data state")
        return Tokenizer::TextState::Data;
    if (name == "PLAINTEXT state")
        return Tokenizer::TextState::Plaintext;
    if (name == "RCDATA state")
        return Tokenizer::TextState::Rcdata;
    if (name == "RAWTEXT state")
        return Tokenizer::TextState::Rawtext;
    if (name == "Script data state")
        return Tokenizer::TextState::ScriptData;
    if (name == "CDATA section state")
        return Tokenizer::TextState::CdataSection;
    known = false;
    return Tokenizer::TextState::Data;
}

// Tokenizes input in chunks of chunkSize bytes (0: one chunk); checks that
// the end of the input was reported and that no character run was empty or
// cut inside a character.
std::vector<std::string> tokenize(std::string_view input, std::size_t chunkSize,
                                  quillan::html::Tokenizer::TextState state = quillan::html::Tokenizer::TextState::Data,
                                  std::string_view lastStartTag = {}, bool infoset = false)
{
    tokentest::Options options;
    options.state = state;
    options.lastStartTag = lastStartTag;
    options.infoset = infoset;
    const tokentest::Result r = tokentest::tokenizeChunks(input, {chunkSize}, options);
    EXPECT_EQ(r.endOfFileCalls, 1) << "no end of file for " << tokentest::shown(input);
    EXPECT_EQ(r.badRuns, 0) << "empty or cut character runs for " << tokentest::shown(input);
    return r.tokens;
}

// The expected tokens of a case, written as the recorder writes them.
std::vector<std::string> expectedTokens(const minijson::Value &output, bool doubleEscaped)
{
    auto text = [doubleEscaped](const minijson::Value &v) {
        return doubleEscaped ? minijson::unescapeU(v.string) : v.string;
    };
    std::vector<std::string> tokens;
    std::string pendingText;
    bool hasText = false;
    for (const minijson::Value &t : output.array) {
        const std::string &kind = t.array.at(0).string;
        if (kind == "Character") {
            pendingText += text(t.array.at(1));
            hasText = true;
            continue;
        }
        if (hasText)
            tokens.push_back("Character " + shown(pendingText));
        hasText = false;
        pendingText.clear();
        if (kind == "StartTag") {
            std::string line = "StartTag " + shown(text(t.array.at(1))) + " {";
            const minijson::Value &attributes = t.array.at(2);
            for (std::size_t i = 0; i < attributes.keys.size(); ++i)
                line += shown(doubleEscaped ? minijson::unescapeU(attributes.keys[i]) : attributes.keys[i]) + ":" +
                        shown(text(attributes.values[i])) + ",";
            line += "}";
            if (t.array.size() > 3 && t.array[3].boolean)
                line += " selfclosing";
            tokens.push_back(line);
        } else if (kind == "EndTag") {
            tokens.push_back("EndTag " + shown(text(t.array.at(1))));
        } else if (kind == "Comment") {
            tokens.push_back("Comment " + shown(text(t.array.at(1))));
        } else if (kind == "DOCTYPE") {
            auto field = [&](const minijson::Value &v) { return v.isNull() ? std::string("null") : shown(text(v)); };
            tokens.push_back("DOCTYPE " + field(t.array.at(1)) + " " + field(t.array.at(2)) + " " +
                             field(t.array.at(3)) + (t.array.at(4).boolean ? " ok" : " quirks"));
        } else {
            ADD_FAILURE() << "unknown token kind " << kind;
        }
    }
    if (hasText)
        tokens.push_back("Character " + shown(pendingText));
    return tokens;
}

// Attributes are compared in source order by the recorder; the suite lists
// them in source order too (JSON objects keep their order here).
std::string joined(const std::vector<std::string> &tokens)
{
    std::string out;
    for (const std::string &t : tokens)
        out += "  " + t + "\n";
    return out;
}

class Html5libSuite : public ::testing::TestWithParam<const char *> {};

TEST_P(Html5libSuite, EveryCaseGivesItsTokensWholeAndByteByByte)
{
    const fs::path path = suiteDir() / GetParam();
    ASSERT_TRUE(fs::exists(path)) << path << " is missing: the html5lib tests belong beside the source tree";
    const minijson::Value doc = minijson::parse(readFile(path));
    // The xmlViolation cases expect the tokens as coerced into an XML
    // infoset; the others, the tokens as they are.
    const minijson::Value *tests = doc.find("tests");
    const bool infoset = tests == nullptr;
    if (infoset)
        tests = doc.find("xmlViolationTests");
    ASSERT_NE(tests, nullptr);
    ASSERT_FALSE(tests->array.empty());

    int cases = 0;
    for (const minijson::Value &test : tests->array) {
        const minijson::Value *doubleEscapedFlag = test.find("doubleEscaped");
        const bool doubleEscaped = doubleEscapedFlag != nullptr && doubleEscapedFlag->boolean;
        const std::string description = test.find("description")->string;
        const std::string input =
            doubleEscaped ? minijson::unescapeU(test.find("input")->string) : test.find("input")->string;
        const std::vector<std::string> expected = expectedTokens(*test.find("output"), doubleEscaped);
        std::string lastStartTag;
        if (const minijson::Value *l = test.find("lastStartTag"))
            lastStartTag = l->string;
        std::vector<std::string> states = {"Data state"};
        if (const minijson::Value *s = test.find("initialStates")) {
            states.clear();
            for (const minijson::Value &v : s->array)
                states.push_back(v.string);
        }
        for (const std::string &stateName : states) {
            bool known = false;
            const Tokenizer::TextState state = stateNamed(stateName, known);
            ASSERT_TRUE(known) << stateName;
            for (const std::size_t chunk : {std::size_t{0}, std::size_t{1}}) {
                const std::vector<std::string> got = tokenize(input, chunk, state, lastStartTag, infoset);
                EXPECT_EQ(got, expected) << description << " (" << stateName << ", "
                                         << (chunk ? "byte by byte" : "whole") << ")\ninput " << shown(input)
                                         << "\nexpected\n"
                                         << joined(expected) << "got\n"
                                         << joined(got);
            }
            ++cases;
        }
    }
    EXPECT_GT(cases, 0);
}

INSTANTIATE_TEST_SUITE_P(Files, Html5libSuite, ::testing::ValuesIn(kSuiteFiles),
                         [](const ::testing::TestParamInfo<const char *> &param) {
                             std::string name = param.param;
                             name = name.substr(0, name.find('.'));
                             return name;
                         });

TEST(Html5libSuiteFiles, EveryFileOfTheSuiteIsRun)
{
    ASSERT_TRUE(fs::is_directory(suiteDir())) << suiteDir() << " is missing";
    std::vector<std::string> present;
    for (const auto &entry : fs::directory_iterator(suiteDir()))
        if (entry.path().extension() == ".test")
            present.push_back(entry.path().filename().string());
    std::sort(present.begin(), present.end());
    std::vector<std::string> run(std::begin(kSuiteFiles), std::end(kSuiteFiles));
    std::sort(run.begin(), run.end());
    EXPECT_EQ(present, run);
}

} // namespace
