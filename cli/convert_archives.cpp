#include "cli/convert_archives.h"

#include "archive/archive_input.h"
#include "archive/http_message.h"
#include "archive/warc_reader.h"
#include "cli/convert_files.h"
#include "cli/convert_progress.h"
#include "quillan_version.h"
#include "text/article/article_extractor.h"
#include "text/conversion.h"

#include "base/fd_io.h"
#include "base/replace_file.h"
#include "base/text.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace quillan::cli {

using namespace quillan::archive;

namespace {

constexpr std::size_t kChunk = 64 * 1024;
constexpr std::size_t kMaxHttpHead = 64 * 1024;
constexpr std::size_t kSniffLength = 512;
// A body with a content coding is held decoded up to this much while its
// decoded size is not known yet.
constexpr std::size_t kHeldDecoded = 4 * 1024 * 1024;

enum class Skip { OtherType, NotHttp, NotOk, NotHtml, TooLarge, BadBody };

struct Skipped {
    Skip why;
    std::string detail; // for an undecodable body: the fault
};
struct BadHead {};

bool isHtmlType(const std::string &media)
{
    return media == "text/html" || media == "application/xhtml+xml";
}

// Whether the start of a body with no Content-Type is HTML, as browsers
// sniff it: after white space, one of the tags HTML pages begin with,
// followed by a space or ">", or a comment.
bool sniffsAsHtml(std::string_view bytes)
{
    std::size_t i = 0;
    while (i < bytes.size() &&
           (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\n' || bytes[i] == '\r' || bytes[i] == '\f'))
        ++i;
    bytes.remove_prefix(i);
    if (bytes.substr(0, 4) == "<!--")
        return true;
    static constexpr std::string_view kTags[] = {
        "<!doctype html", "<html", "<head",  "<script", "<iframe", "<h1",   "<div", "<font",
        "<table",         "<a",    "<style", "<title",  "<b",      "<body", "<br",  "<p"};
    for (const std::string_view tag : kTags) {
        if (bytes.size() <= tag.size() || !base::EqualsNoCase(bytes.substr(0, tag.size()), tag))
            continue;
        const char after = bytes[tag.size()];
        if (after == ' ' || after == '>')
            return true;
    }
    return false;
}

std::string lowered(std::string_view s)
{
    std::string out(s);
    for (char &c : out)
        c = base::AsciiLower(c);
    return out;
}

} // namespace

namespace {

// Records read but not converted, for whichever reason.
std::uint64_t skippedOf(const ArchiveCounts &c)
{
    return c.otherType + c.notHttp + c.notOk + c.notHtml + c.tooLarge + c.badBody;
}

} // namespace

std::string formatArchiveSummary(const ArchiveCounts &c, double seconds)
{
    const std::uint64_t skipped = skippedOf(c);
    char text[512];
    std::snprintf(text, sizeof text,
                  "%s: %llu archive%s, %llu records, %llu converted, %llu skipped (%llu other types, %llu not HTTP, "
                  "%llu not 2xx, %llu not HTML, %llu over --max-size, %llu undecodable), %llu damaged; "
                  "%llu bytes in, %llu bytes out, %.2f s",
                  ProgramName, static_cast<unsigned long long>(c.archives), c.archives == 1 ? "" : "s",
                  static_cast<unsigned long long>(c.records), static_cast<unsigned long long>(c.converted),
                  static_cast<unsigned long long>(skipped), static_cast<unsigned long long>(c.otherType),
                  static_cast<unsigned long long>(c.notHttp), static_cast<unsigned long long>(c.notOk),
                  static_cast<unsigned long long>(c.notHtml), static_cast<unsigned long long>(c.tooLarge),
                  static_cast<unsigned long long>(c.badBody), static_cast<unsigned long long>(c.damaged),
                  static_cast<unsigned long long>(c.bytesIn), static_cast<unsigned long long>(c.bytesOut), seconds);
    return text;
}

std::string formatArchiveSummaryJson(const ArchiveCounts &c, double seconds, bool outputWritten)
{
    const std::uint64_t skipped = skippedOf(c);
    const std::pair<const char *, std::uint64_t> fields[] = {
        {"archives", c.archives},    {"records", c.records},   {"converted", c.converted}, {"skipped", skipped},
        {"other_type", c.otherType}, {"not_http", c.notHttp},  {"not_ok", c.notOk},        {"not_html", c.notHtml},
        {"too_large", c.tooLarge},   {"bad_body", c.badBody},  {"damaged", c.damaged},     {"bytes_in", c.bytesIn},
        {"html_bytes", c.htmlBytes}, {"bytes_out", c.bytesOut}};
    std::string json = "{";
    for (const auto &[name, value] : fields)
        json += std::string("\"") + name + "\": " + std::to_string(value) + ", ";
    char time[64];
    std::snprintf(time, sizeof time, "\"seconds\": %.3f, ", seconds);
    json += time;
    json += std::string("\"output_written\": ") + (outputWritten ? "true" : "false") + "}\n";
    return json;
}

ArchivePages::ArchivePages(ArchiveInput &input, std::string name, const text::Options &options, std::int64_t maxSize,
                           ArchiveReport report, ArchiveCounts &counts)
    : input_(input), name_(std::move(name)), options_(options), maxSize_(maxSize), report_(std::move(report)),
      counts_(counts), bytesBefore_(counts.bytesIn), reader_(input, [this](const Damage &damage) {
          ++counts_.damaged;
          report_(name_ + ": damaged record at offset " + damage.where.text() + ": " + damage.reason + "; " +
                  damage.skipped());
      })
{}

ArchivePage *ArchivePages::next()
{
    if (handedOut_) {
        handedOut_ = false;
        if (afterRecord)
            afterRecord();
    }
    while (reader_.next()) {
        ++counts_.records;
        const WarcHeader &h = reader_.header();
        page_.text.clear();
        page_.choice.reset();
        std::uint64_t htmlBytes = 0;
        std::optional<Skipped> skipped;
        bool badHead = false;
        try {
            const std::string type = lowered(h.field("WARC-Type"));
            if (type != "response" && type != "resource")
                throw Skipped{Skip::OtherType, {}};
            if (h.contentLength > std::uint64_t(maxSize_) + kMaxHttpHead)
                throw Skipped{Skip::TooLarge, {}};
            page_.record = TextRecord{};
            page_.record.url = std::string(h.field("WARC-Target-URI"));
            // WARC 1.0 writers (wget among them) put the address in angle brackets.
            if (page_.record.url.size() >= 2 && page_.record.url.front() == '<' && page_.record.url.back() == '>')
                page_.record.url = page_.record.url.substr(1, page_.record.url.size() - 2);
            page_.record.date = std::string(h.field("WARC-Date"));
            page_.record.refersTo = std::string(h.field("WARC-Record-ID"));

            // The block's first bytes: the HTTP head and the start of the
            // body, where the reader has them (valid until it reads on),
            // or gathered in `head` when the head goes on past them.
            std::string_view first;
            std::size_t bodyAt = 0;
            std::string transfer, coding, media, charset;
            if (type == "response") {
                const std::string warcType = mediaTypeOf(h.field("Content-Type"));
                if (!warcType.empty() && warcType != "application/http")
                    throw Skipped{Skip::NotHttp, {}};
                first = reader_.readBlockView(kChunk);
                std::optional<std::size_t> end = httpHeadEnd(first);
                if (!end && !first.empty()) {
                    head_.assign(first);
                    while (!(end = httpHeadEnd(head_)) && head_.size() < kMaxHttpHead) {
                        const std::string_view more = reader_.readBlockView(kChunk);
                        if (more.empty())
                            break;
                        head_.append(more);
                    }
                    first = head_;
                }
                const std::optional<HttpHead> http = end ? parseHttpHead(first.substr(0, *end)) : std::nullopt;
                if (!http)
                    throw BadHead{};
                bodyAt = *end;
                if (http->status < 200 || http->status > 299)
                    throw Skipped{Skip::NotOk, {}};
                page_.record.status = http->status;
                const std::string_view contentType = http->field("Content-Type");
                media = mediaTypeOf(contentType);
                charset = charsetOf(contentType);
                transfer = std::string(http->field("Transfer-Encoding"));
                coding = std::string(http->field("Content-Encoding"));
            } else {
                media = mediaTypeOf(h.field("Content-Type"));
                charset = charsetOf(h.field("Content-Type"));
            }
            if (!media.empty() && !isHtmlType(media))
                throw Skipped{Skip::NotHtml, {}};
            page_.record.contentType = media.empty() ? "text/html" : media;

            text::readable::StringSink sink(page_.text); // the page's text, kept as it grows
            text::Options options = options_;
            options.httpCharset = charset;
            options.address = page_.record.url;
            const std::unique_ptr<text::Converter> page = text::makeConverter(options, sink);
            std::string sniffed;
            bool deciding = media.empty();
            const auto decide = [&] {
                if (!sniffsAsHtml(sniffed))
                    throw Skipped{Skip::NotHtml, {}};
                deciding = false;
                page->feed(sniffed);
                sniffed.clear();
            };
            const std::uint64_t limit = std::uint64_t(maxSize_);
            try {
                const BodyDecoder::Sink toPage = [&](std::string_view bytes) {
                    htmlBytes += bytes.size();
                    if (htmlBytes > limit)
                        throw Skipped{Skip::TooLarge, {}};
                    if (!deciding) {
                        page->feed(bytes);
                        return;
                    }
                    sniffed.append(bytes);
                    if (sniffed.size() >= kSniffLength)
                        decide();
                };
                BodyDecoder body(transfer, coding, toPage);
                // A content coding may decode to far more than the body
                // holds: the body is then decoded first only to learn its
                // size (what it gives held while under kHeldDecoded, the
                // body kept as stored), and the page gets it once it is
                // known to fit, so that a body over --max-size is never
                // held.
                std::optional<BodyDecoder> measure;
                std::string stored;
                std::string held;
                bool holding = true;
                std::uint64_t decoded = 0;
                if (body.inflates())
                    measure.emplace(transfer, coding, [&](std::string_view bytes) {
                        decoded += bytes.size();
                        if (decoded > limit)
                            throw Skipped{Skip::TooLarge, {}};
                        if (holding && held.size() + bytes.size() <= kHeldDecoded) {
                            held.append(bytes);
                        } else if (holding) {
                            holding = false;
                            std::string().swap(held);
                        }
                    });
                const auto feed = [&](std::string_view bytes) {
                    if (!measure) {
                        body.feed(bytes);
                        return;
                    }
                    stored.append(bytes);
                    measure->feed(bytes);
                };
                std::uint64_t raw = first.size() - bodyAt;
                feed(first.substr(bodyAt));
                for (std::string_view bytes; !(bytes = reader_.readBlockView(kChunk)).empty();) {
                    raw += bytes.size();
                    if (raw > limit)
                        throw Skipped{Skip::TooLarge, {}};
                    feed(bytes);
                }
                if (measure) {
                    measure->finish();
                    if (holding) {
                        for (std::size_t at = 0; at < held.size(); at += kChunk)
                            toPage(std::string_view(held).substr(at, kChunk));
                    } else {
                        body.feed(stored);
                        body.finish();
                    }
                } else {
                    body.finish();
                }
            } catch (const BodyFault &fault) {
                throw Skipped{Skip::BadBody, fault.reason};
            }
            if (deciding)
                decide();
            text::Result result = page->finish();
            // The stripped text keeps the page's bytes, in the charset its
            // head gave.
            page_.record.charset = result.pageEncoding.empty() ? charset : result.pageEncoding;
            page_.record.pageMetadata.clear();
            if (options_.metadata == text::MetadataSearch::Find)
                for (const text::metadata::NamedField &field : text::metadata::kFields)
                    page_.record.pageMetadata.emplace_back(field.name, result.metadata.*field.member);
            page_.choice = std::move(result.article);
        } catch (const Skipped &s) {
            skipped = s;
        } catch (const BadHead &) {
            badHead = true;
        } catch (const std::exception &e) {
            // The conversion itself gave up on this page (memory for its
            // list of links, say): the page is skipped, the archive goes on.
            skipped = Skipped{Skip::BadBody, e.what()};
        }

        const RecordOffset where = reader_.offset();
        const bool sound = reader_.finish();
        counts_.bytesIn = bytesBefore_ + input_.bytesIn();
        if (sound) {
            if (badHead) {
                ++counts_.damaged;
                report_(name_ + ": damaged record at offset " + where.text() + ": bad HTTP head");
            } else if (skipped) {
                switch (skipped->why) {
                case Skip::OtherType: ++counts_.otherType; break;
                case Skip::NotHttp: ++counts_.notHttp; break;
                case Skip::NotOk: ++counts_.notOk; break;
                case Skip::NotHtml: ++counts_.notHtml; break;
                case Skip::TooLarge: ++counts_.tooLarge; break;
                case Skip::BadBody:
                    ++counts_.badBody;
                    report_(name_ + ": record at offset " + where.text() + " (" + page_.record.url +
                            ") skipped: " + skipped->detail);
                    break;
                }
            } else {
                page_.record.text = page_.text;
                page_.where = where;
                ++counts_.converted;
                counts_.htmlBytes += htmlBytes;
                handedOut_ = true;
                return &page_;
            }
        }
        if (afterRecord)
            afterRecord();
    }
    counts_.bytesIn = bytesBefore_ + input_.bytesIn();
    return nullptr;
}

ArchiveConversion::ArchiveConversion(TextRecordWriter &out, const text::Options &options, std::int64_t maxSize,
                                     Report report)
    : out_(out), options_(options), maxSize_(maxSize), report_(std::move(report))
{}

void ArchiveConversion::convertArchive(int fd, const std::string &name)
{
    ++counts_.archives;
    ArchiveInput input(fd);
    ArchivePages pages(input, name, options_, maxSize_, report_, counts_);
    pages.afterRecord = [this] {
        counts_.bytesOut = out_.bytesOut();
        if (onProgress && (counts_.records & 63) == 0)
            onProgress(counts_);
    };
    while (const ArchivePage *page = pages.next()) {
        out_.write(page->record);
        if (reportArticles && page->choice)
            report_(name + ": record at offset " + page->where.text() + " (" + page->record.url +
                    "): " + text::article::tell(*page->choice));
    }
}

namespace {

bool endsWith(const std::string &s, std::string_view suffix)
{
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string reasonOf(int error)
{
    return std::strerror(error);
}

// The progress line: records so far, on a terminal only.
class ArchiveProgress {
public:
    explicit ArchiveProgress(bool enabled) : enabled_(enabled), start_(std::chrono::steady_clock::now()) {}
    void update(const ArchiveCounts &c)
    {
        if (!enabled_)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ < std::chrono::milliseconds(500) || now - start_ < std::chrono::seconds(1))
            return;
        last_ = now;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        const std::string line = "\r" + std::string(ProgramName) + ": " + std::to_string(c.records) + " records, " +
                                 std::to_string(c.converted) + " converted, " + formatBytes(double(c.bytesIn)) +
                                 " read, " + formatBytes(double(c.bytesIn) / seconds) + "/s\033[K";
        base::WriteAll(STDERR_FILENO, line.data(), line.size());
        shown_ = true;
    }
    void clear()
    {
        if (shown_)
            base::WriteAll(STDERR_FILENO, "\r\033[K", 4);
        shown_ = false;
    }
    double seconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count(); }

private:
    bool enabled_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_{};
};

// The first input that is the very file the output would go to, by its
// device and inode; none when the output is no existing regular file.
std::optional<std::string> inputThatIsTheOutput(const Options &options)
{
    struct stat out {};
    const bool toStandardOutput = !options.output || *options.output == "-";
    if ((toStandardOutput ? ::fstat(STDOUT_FILENO, &out) : ::stat(options.output->c_str(), &out)) != 0 ||
        !S_ISREG(out.st_mode))
        return std::nullopt;
    for (const std::string &input : options.inputs) {
        struct stat in {};
        if ((input == "-" ? ::fstat(STDIN_FILENO, &in) : ::stat(input.c_str(), &in)) == 0 && in.st_dev == out.st_dev &&
            in.st_ino == out.st_ino)
            return input == "-" ? std::string("standard input") : input;
    }
    return std::nullopt;
}

// Writes the run's counts to `path` whole, or reports why not.
bool writeSummary(const std::string &path, const std::string &json, const ArchiveConversion::Report &report)
{
    base::FileReplacement file;
    int error = file.open(path);
    if (error == 0)
        error = base::WriteAll(file.fd(), json.data(), json.size());
    if (error == 0)
        error = file.commit();
    if (error != 0) {
        file.abandon();
        report(path + ": " + reasonOf(error));
        return false;
    }
    return true;
}

} // namespace

int convertArchives(const Options &options)
{
    ArchiveProgress progress(!options.quiet && ::isatty(STDERR_FILENO));
    const auto report = [&progress](const std::string &line) {
        progress.clear();
        std::fprintf(stderr, "%s: %s\n", ProgramName, line.c_str());
    };

    // An output that is one of the archives (by name, link or hard link)
    // is refused before anything is read or written: the fresh file
    // renamed over it would destroy the archive, and standard output
    // appended to it would be read back as it grows.
    if (const std::optional<std::string> clash = inputThatIsTheOutput(options)) {
        report(*clash + ": the output " +
               (!options.output || *options.output == "-" ? std::string("(standard output)") : *options.output) +
               " is this archive itself; nothing read or written");
        return 1;
    }

    // The output: standard output, a device or pipe written directly, or a
    // file that appears only once complete.
    const bool toStandardOutput = !options.output || *options.output == "-";
    const std::string outName = toStandardOutput ? std::string("standard output") : *options.output;
    base::FileReplacement fresh;
    base::UniqueFd direct;
    int outFd = STDOUT_FILENO;
    if (!toStandardOutput) {
        struct stat st {};
        if (::stat(outName.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
            direct.reset(::open(outName.c_str(), O_WRONLY | O_CLOEXEC));
            if (!direct) {
                report(outName + ": " + reasonOf(errno));
                return 1;
            }
            outFd = direct.get();
        } else {
            base::ReplaceOptions replace;
            replace.removeOnSignal = true;
            if (const int error = fresh.open(outName, replace); error != 0) {
                report(outName + ": " + reasonOf(error));
                return 1;
            }
            outFd = fresh.fd();
        }
    }

    const text::Options textOptions = textOptionsOf(options);
    bool failed = false;
    ArchiveCounts counts;
    try {
        TextRecordWriter writer(outFd, options.format == ArchiveFormat::Jsonl ? TextFormat::Jsonl : TextFormat::Wet,
                                !toStandardOutput && endsWith(outName, ".gz"));
        const std::string fileName = toStandardOutput ? std::string() : outName.substr(outName.rfind('/') + 1);
        writer.writeInfo(fileName, std::string("software: ") + ProgramName + " " + quillan::version::Text +
                                       "\r\nformat: WARC File Format 1.0\r\nconversion: " +
                                       std::string(text::kindName(options.kind)) + "\r\n");
        ArchiveConversion conversion(writer, textOptions, options.maxSize, report);
        conversion.onProgress = [&progress](const ArchiveCounts &c) { progress.update(c); };
        conversion.reportArticles = options.verbose;
        for (const std::string &input : options.inputs) {
            base::UniqueFd file;
            int fd = STDIN_FILENO;
            const std::string name = input == "-" ? std::string("standard input") : input;
            if (input != "-") {
                file.reset(::open(input.c_str(), O_RDONLY | O_CLOEXEC));
                struct stat st {};
                if (file && ::fstat(file.get(), &st) == 0 && S_ISDIR(st.st_mode)) {
                    report(name + ": " + reasonOf(EISDIR));
                    failed = true;
                    continue;
                }
                if (!file) {
                    report(name + ": " + reasonOf(errno));
                    failed = true;
                    continue;
                }
                ::posix_fadvise(file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
                fd = file.get();
            }
            try {
                conversion.convertArchive(fd, name);
            } catch (const InputFailure &e) {
                report(name + ": " + reasonOf(e.error));
                failed = true;
            }
        }
        writer.flush();
        counts = conversion.counts();
        counts.bytesOut = writer.bytesOut();
    } catch (const OutputFailure &e) {
        report(outName + ": " + reasonOf(e.error));
        failed = true;
    }
    progress.clear();
    if (failed) {
        fresh.abandon();
    } else if (!toStandardOutput && !direct) {
        if (const int error = fresh.commit(); error != 0) {
            report(outName + ": " + reasonOf(error));
            failed = true;
        }
    } else if (direct) {
        if (const int error = direct.reset(); error != 0) {
            report(outName + ": " + reasonOf(error));
            failed = true;
        }
    }
    const double seconds = progress.seconds();
    std::fprintf(stderr, "%s%s\n", formatArchiveSummary(counts, seconds).c_str(),
                 failed && !toStandardOutput ? ", no output written" : "");
    if (options.summary &&
        !writeSummary(*options.summary, formatArchiveSummaryJson(counts, seconds, !failed || toStandardOutput), report))
        failed = true;
    // Damaged records leave the output complete with every sound record,
    // yet not every input was converted.
    return failed || counts.damaged > 0 ? 1 : 0;
}

} // namespace quillan::cli
