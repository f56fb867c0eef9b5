#include "convert/converter.h"

#include "convert/pump.h"

#include "base/fd_io.h"
#include "base/replace_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace quillan::convert {
namespace {

std::string systemReason(int error)
{
    return std::strerror(error);
}

using base::UniqueFd;

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

ConversionError::ConversionError(std::string path, std::string reason)
    : std::runtime_error(path + ": " + reason), path_(std::move(path)), reason_(std::move(reason))
{}

std::string_view textExtensionFor(const text::Options &options)
{
    const bool alone = options.envelope == text::Envelope::Text || options.envelope == text::Envelope::FrontMatter;
    return options.syntax == text::Syntax::Markdown && alone ? "md" : "TXT";
}

std::filesystem::path textPathFor(const std::filesystem::path &htmlPath, std::string_view extension)
{
    const std::string &s = htmlPath.native();
    const std::size_t slash = s.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = nameStart + 1 < s.size() ? s.find('.', nameStart + 1) : std::string::npos;
    if (dot == std::string::npos)
        return s + "." + std::string(extension);
    return s.substr(0, dot + 1) + std::string(extension);
}

text::Result convertStream(int inFd, int outFd, const std::string &inName, const std::string &outName,
                           const text::Options &options)
{
    try {
        return pump(inFd, outFd, options);
    } catch (const ReadFailure &f) {
        throw ConversionError(inName, systemReason(f.error));
    } catch (const WriteFailure &f) {
        throw ConversionError(outName, systemReason(f.error));
    } catch (const std::system_error &e) {
        // The list of links could not be kept aside.
        throw ConversionError(inName, e.what());
    } catch (const std::length_error &e) {
        // A page too large for the article's tree.
        throw ConversionError(inName, e.what());
    }
}

text::Result convertToFile(int inFd, const std::string &inName, const std::filesystem::path &textPath,
                           const text::Options &options)
{
    const std::string out = textPath.string();
    if (out.empty())
        throw ConversionError("", "no file name given for the text");
    struct stat inStat {};
    if (::fstat(inFd, &inStat) != 0)
        throw ConversionError(inName, systemReason(errno));

    // A link another user planted in a shared folder such as /tmp must not
    // lead the text onto a file of their choice.
    if (const std::filesystem::path link = base::RefusedLink(textPath); !link.empty())
        throw ConversionError(out, "not following the symbolic link " + link.string() +
                                       ": it belongs to another user, in a folder anyone may write to");

    // The text path is checked before anything is written, so that a text
    // path that turns out to be the input itself (by name, link or hard
    // link) leaves it untouched.
    struct stat outStat {};
    const bool exists = ::stat(out.c_str(), &outStat) == 0;
    if (exists && sameFile(inStat, outStat))
        throw ConversionError(inName, "the text file " + out + " is the input file itself");
    if (exists && S_ISDIR(outStat.st_mode))
        throw ConversionError(out, systemReason(EISDIR));

    if (exists && !S_ISREG(outStat.st_mode)) {
        // A device such as /dev/null or a pipe is written as it is.
        UniqueFd output(::open(out.c_str(), O_WRONLY | O_CLOEXEC));
        if (!output)
            throw ConversionError(out, systemReason(errno));
        text::Result result = convertStream(inFd, output.get(), inName, out, options);
        if (const int error = output.reset(); error != 0)
            throw ConversionError(out, systemReason(error));
        return result;
    }

    // A file is replaced only by a complete text: the text goes to a fresh
    // file beside it, which a failure or a fatal signal removes. The text is
    // made again from its page at any time, so it is not flushed to the disk
    // before the rename: that would double the time of a conversion.
    base::ReplaceOptions replace;
    replace.removeOnSignal = true;
    replace.durable = false;
    base::FileReplacement fresh;
    if (const int error = fresh.open(textPath, replace); error != 0)
        throw ConversionError(out, systemReason(error));
    ::posix_fadvise(inFd, 0, 0, POSIX_FADV_SEQUENTIAL);
    text::Result result = convertStream(inFd, fresh.fd(), inName, out, options);
    if (const int error = fresh.commit(); error != 0)
        throw ConversionError(out, systemReason(error));
    return result;
}

UniqueFd openHtmlFile(const std::filesystem::path &htmlPath)
{
    if (htmlPath.empty())
        throw ConversionError("", "no file name given");
    const std::string in = htmlPath.string();
    UniqueFd input(::open(in.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!input)
        throw ConversionError(in, systemReason(errno));
    struct stat inStat {};
    if (::fstat(input.get(), &inStat) != 0)
        throw ConversionError(in, systemReason(errno));
    if (S_ISDIR(inStat.st_mode))
        throw ConversionError(in, systemReason(EISDIR));
    if (!S_ISREG(inStat.st_mode))
        throw ConversionError(in, "not a regular file");
    const int flags = ::fcntl(input.get(), F_GETFL);
    if (flags < 0 || ::fcntl(input.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        throw ConversionError(in, systemReason(errno));
    return input;
}

text::Result convertHtmlFile(const std::filesystem::path &htmlPath, const std::filesystem::path &textPath,
                             const text::Options &options)
{
    const UniqueFd input = openHtmlFile(htmlPath);
    return convertToFile(input.get(), htmlPath.string(), textPath, options);
}

std::filesystem::path convertHtmlFile(const std::filesystem::path &htmlPath)
{
    if (htmlPath.empty())
        throw ConversionError("", "no file name given");
    std::filesystem::path textPath = textPathFor(htmlPath);
    convertHtmlFile(htmlPath, textPath);
    return textPath;
}

} // namespace quillan::convert
