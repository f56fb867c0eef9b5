#include "cli/convert_output_names.h"

#include "convert/converter.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>

namespace quillan::cli {

namespace {

constexpr std::size_t MaxStemBytes = 200;
constexpr int MaxNumber = 100000;

bool isKept(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
           c == '_';
}

} // namespace

std::string textNameForAddress(const std::string &address, std::string_view extension)
{
    // Past the scheme; without a fragment, which names no other page.
    std::size_t start = address.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    std::string rest = address.substr(start, address.find('#', start) - start);
    // No user name or password in a file name.
    const std::size_t pathStart = rest.find_first_of("/?");
    if (const std::size_t at = rest.rfind('@', pathStart); at != std::string::npos)
        rest.erase(0, at + 1);

    // The last path segment is cut after its first dot (not a leading one),
    // as the text path rule cuts a file name.
    const std::size_t queryStart = rest.find('?');
    std::string path = rest.substr(0, queryStart);
    const std::string query = queryStart == std::string::npos ? std::string() : rest.substr(queryStart + 1);
    const std::size_t hostEnd = path.find('/');
    if (hostEnd != std::string::npos) {
        const std::size_t segment = path.rfind('/') + 1;
        if (const std::size_t dot = path.find('.', segment + 1); dot != std::string::npos && segment < path.size())
            path.erase(dot);
    }

    std::string stem;
    auto append = [&stem](const std::string &part) {
        for (const char c : part) {
            if (isKept(c))
                stem += c;
            else if (!stem.empty() && stem.back() != '_')
                stem += '_';
        }
    };
    append(path);
    if (!query.empty()) {
        if (!stem.empty() && stem.back() != '_')
            stem += '_';
        append(query);
    }
    while (!stem.empty() && (stem.back() == '_' || stem.back() == '.'))
        stem.pop_back();
    while (!stem.empty() && (stem.front() == '.' || stem.front() == '_' || stem.front() == '-'))
        stem.erase(0, 1);
    if (stem.size() > MaxStemBytes)
        stem.resize(MaxStemBytes);
    if (stem.empty())
        stem = "page";
    return stem + "." + std::string(extension);
}

std::string textNameForFile(const std::string &path, std::string_view extension)
{
    return convert::textPathFor(path, extension).filename().string();
}

std::string numberedName(const std::string &name, int number)
{
    const std::size_t dot = name.rfind('.');
    const std::string suffix = "-" + std::to_string(number);
    if (dot == std::string::npos || dot == 0)
        return name + suffix;
    return name.substr(0, dot) + suffix + name.substr(dot);
}

base::UniqueFd createUniqueFile(const std::filesystem::path &folder, const std::string &name,
                                std::filesystem::path *path, int *error, int *firstNumber)
{
    for (int number = firstNumber ? std::max(1, *firstNumber) : 1; number <= MaxNumber; ++number) {
        const std::filesystem::path candidate = folder / (number == 1 ? name : numberedName(name, number));
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            if (firstNumber)
                *firstNumber = number;
            *path = candidate;
            return base::UniqueFd(fd);
        }
        if (errno != EEXIST) {
            *error = errno;
            return {};
        }
    }
    *error = EEXIST;
    return {};
}

} // namespace quillan::cli
