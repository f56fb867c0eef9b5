#include "platform/process/command_line.h"

namespace platform {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}

// Characters a backslash escapes inside double quotes.
bool escapableInDoubleQuotes(char c)
{
    return c == '$' || c == '`' || c == '"' || c == '\\' || c == '\n';
}

} // namespace

std::optional<std::vector<std::string>> SplitCommandLine(std::string_view line)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false; // a word has begun, possibly an empty quoted one
    std::size_t i = 0;
    const std::size_t n = line.size();

    while (i < n) {
        const char c = line[i];
        if (isBlank(c)) {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
            ++i;
        } else if (c == '\'') {
            const std::size_t close = line.find('\'', i + 1);
            if (close == std::string_view::npos)
                return std::nullopt;
            word.append(line.substr(i + 1, close - i - 1));
            inWord = true;
            i = close + 1;
        } else if (c == '"') {
            inWord = true;
            ++i;
            for (;;) {
                if (i >= n)
                    return std::nullopt;
                const char q = line[i];
                if (q == '"') {
                    ++i;
                    break;
                }
                if (q == '\\' && i + 1 < n && escapableInDoubleQuotes(line[i + 1])) {
                    if (line[i + 1] != '\n')
                        word.push_back(line[i + 1]);
                    i += 2;
                } else {
                    word.push_back(q);
                    ++i;
                }
            }
        } else if (c == '\\') {
            if (i + 1 >= n)
                return std::nullopt;
            if (line[i + 1] != '\n') {
                word.push_back(line[i + 1]);
                inWord = true;
            }
            i += 2;
        } else {
            word.push_back(c);
            inWord = true;
            ++i;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

} // namespace platform
