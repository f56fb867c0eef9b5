#pragma once
// A deliberately plain, whole-input version of the tag-stripping rules, kept
// apart from the streaming filter so the two can be compared.

#include <string>
#include <vector>

namespace reference {

inline std::string replaceNbsp(const std::string &line)
{
    std::string out;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = line.find("&nbsp;", from);
        if (at == std::string::npos)
            break;
        out.append(line, from, at - from);
        out.push_back(' ');
        from = at + 6;
    }
    out.append(line, from, std::string::npos);
    return out;
}

inline std::string strip(const std::string &input)
{
    std::vector<std::string> lines;
    std::string current;
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (input[i] == '\r') {
            lines.push_back(current);
            current.clear();
            if (i + 1 < input.size() && input[i + 1] == '\n')
                ++i;
        } else {
            current.push_back(input[i]);
        }
    }
    if (!current.empty())
        lines.push_back(current);

    bool inTag = false;
    std::string out;
    for (const std::string &raw : lines) {
        std::string kept;
        for (char c : replaceNbsp(raw)) {
            if (c == '<')
                inTag = true;
            else if (c == '>')
                inTag = false;
            else if (!inTag)
                kept.push_back(c);
        }
        const std::size_t first = kept.find_first_not_of(' ');
        if (first == std::string::npos)
            continue;
        const std::size_t last = kept.find_last_not_of(' ');
        if (last - first + 1 >= 2)
            out += kept.substr(first, last - first + 1) + "\r\n";
    }
    return out;
}

} // namespace reference
