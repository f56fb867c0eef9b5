#pragma once
// quillan-convert's archive road (--warc): every HTML page kept in web
// archives converted in this process, one record at a time, into text
// records (archive/text_records.h). Plain C++.
//
// Converted: a `response` record holding an HTTP response with a 2xx
// status and an HTML Content-Type (text/html, application/xhtml+xml; none
// at all when the body's start looks like HTML), its body decoded from its
// transfer and content codings and, for the readable text, from the
// charset its Content-Type names; and a `resource` record of an HTML type.
// Every other record is skipped and counted by its reason. A damaged record
// is reported on standard error with its offset and the bytes skipped,
// counted, and the reading goes on (archive/warc_reader.h).

#include "archive/archive_input.h"
#include "archive/text_records.h"
#include "archive/warc_reader.h"
#include "cli/convert_options.h"
#include "text/conversion.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quillan::cli {

struct ArchiveCounts {
    std::uint64_t archives = 0;
    std::uint64_t records = 0; // record headers read
    std::uint64_t converted = 0;
    std::uint64_t otherType = 0; // neither response nor resource
    std::uint64_t notHttp = 0;   // a response that holds no HTTP response
    std::uint64_t notOk = 0;     // a status other than 2xx
    std::uint64_t notHtml = 0;
    std::uint64_t tooLarge = 0;  // over --max-size
    std::uint64_t badBody = 0;   // a body that could not be decoded
    std::uint64_t damaged = 0;   // damaged records and stretches of the archive
    std::uint64_t bytesIn = 0;   // read from the archives
    std::uint64_t htmlBytes = 0; // decoded HTML converted
    std::uint64_t bytesOut = 0;
};

// "quillan-convert: 2 archives, 120 records, 80 converted, 40 skipped (30
// other types, 1 not HTTP, 5 not 2xx, 3 not HTML, 0 over --max-size, 1
// undecodable), 0 damaged; 5123456 bytes in, 812345 bytes out, 0.41 s"
std::string formatArchiveSummary(const ArchiveCounts &counts, double seconds);

// The same counts as one JSON object on one line, for programs that run
// quillan-convert (--summary): every field of ArchiveCounts by name
// ("other_type", "bytes_in", ...), "skipped" (their sum), "seconds", and
// "output_written", whether the output holds the run's records.
std::string formatArchiveSummaryJson(const ArchiveCounts &counts, double seconds, bool outputWritten);

// `report` receives each problem's line (without the program's name).
using ArchiveReport = std::function<void(const std::string &line)>;

// One page converted from an archive.
struct ArchivePage {
    archive::TextRecord record; // its text is `text`
    std::string text;
    archive::RecordOffset where; // where its record starts
    // In article mode: which content the page gave.
    std::optional<text::article::ArticleChoice> choice;
};

// The pages of one archive, converted one at a time as its records are
// read, in bounded memory: every record counted into `counts` by what
// became of it, each damaged or undecodable one reported.
class ArchivePages {
public:
    // `name`: the archive in reports. `input`, `counts` and the caller's
    // `report` must outlive the pages.
    ArchivePages(archive::ArchiveInput &input, std::string name, const text::Options &options, std::int64_t maxSize,
                 ArchiveReport report, ArchiveCounts &counts);

    // The next page converted; valid until the next call. Null at the
    // archive's end. Throws archive::InputFailure when reading fails.
    ArchivePage *next();
    // Called once each record is done with: a converted one when the next
    // page is asked for, after the caller has used it.
    std::function<void()> afterRecord;

private:
    archive::ArchiveInput &input_;
    std::string name_;
    text::Options options_; // for every page; its address and charset are the page's own
    std::int64_t maxSize_;
    ArchiveReport report_;
    ArchiveCounts &counts_;
    std::uint64_t bytesBefore_; // read from earlier archives
    archive::WarcReader reader_;
    std::string head_; // an HTTP head longer than the reader's first piece
    ArchivePage page_;
    bool handedOut_ = false;
};

// The conversion of archives into one output.
class ArchiveConversion {
public:
    using Report = ArchiveReport;

    ArchiveConversion(archive::TextRecordWriter &out, const text::Options &options, std::int64_t maxSize,
                      Report report);

    // Converts the archive read from fd (`name` in reports); throws
    // archive::InputFailure when reading fails, archive::OutputFailure
    // when writing does.
    void convertArchive(int fd, const std::string &name);
    const ArchiveCounts &counts() const { return counts_; }
    // Called now and then while an archive is read.
    std::function<void(const ArchiveCounts &)> onProgress;
    // In article mode: each converted record's choice of content is
    // reported too (text::article::tell()), after its record is written.
    bool reportArticles = false;

private:
    archive::TextRecordWriter &out_;
    text::Options options_; // for every page; its address and charset are the page's own
    std::int64_t maxSize_;
    Report report_;
    ArchiveCounts counts_;
};

// The program's archive road for the command line: options.inputs are the
// archives; returns the exit status: 0 when every archive was read to its
// end without damage and the output written; 1 when a record was damaged
// (the output written all the same, with every sound record), and 1 when
// an archive could not be read or the output not written (then no output
// is left).
int convertArchives(const Options &options);

} // namespace quillan::cli
