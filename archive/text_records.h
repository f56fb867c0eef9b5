#pragma once
// Writing the text of converted pages as records: WARC/1.0 conversion
// records after a warcinfo record, as the WET files of web crawls are
// written, or JSON Lines, one object per page. Optionally gzip, one member
// per record (so that the output can be cut and read record by record,
// as a crawler's archive can). Plain C++.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillan::archive {

enum class TextFormat { Wet, Jsonl };

// One page's text and where it came from.
struct TextRecord {
    std::string url;      // the page's WARC-Target-URI
    std::string date;     // the response record's WARC-Date
    std::string refersTo; // the response record's WARC-Record-ID
    int status = 0;       // its HTTP status (0 for a resource record)
    std::string contentType;
    std::string charset;   // the charset the page was decoded with; empty: none
    std::string_view text; // the text itself
    // JSON Lines: what the page says about itself, by name, written into
    // the record's "metadata" object after the rest (an empty value as
    // null); none unless asked for.
    std::vector<std::pair<std::string, std::string>> pageMetadata;
};

// A fresh "<urn:uuid:...>" (random, version 4).
std::string newRecordId();
// The current time as a WARC date: "2024-05-01T12:34:56Z".
std::string warcDateNow();
// "sha1:" and the SHA-1 of `bytes` in base32 (RFC 4648), as WARC digests are given.
std::string sha1Digest(std::string_view bytes);

// A write that failed: the system's errno.
struct OutputFailure {
    int error;
};

class TextRecordWriter {
public:
    // Writes to fd, buffered; gzip: one gzip member per record.
    TextRecordWriter(int fd, TextFormat format, bool gzip);
    ~TextRecordWriter();
    TextRecordWriter(const TextRecordWriter &) = delete;
    TextRecordWriter &operator=(const TextRecordWriter &) = delete;

    // The warcinfo record at the start of a WET output (nothing in JSON
    // Lines): the output's file name and the fields given ("name: value"
    // lines, CR LF each).
    void writeInfo(const std::string &fileName, const std::string &fields);
    void write(const TextRecord &record);
    // Writes what is buffered; throws OutputFailure.
    void flush();
    std::uint64_t bytesOut() const { return bytesOut_; }

private:
    void emit(std::string_view bytes);
    void warcRecord(const std::string &head, std::string_view block);

    struct Deflater;
    int fd_;
    TextFormat format_;
    std::unique_ptr<Deflater> deflater_;
    std::string buffer_;
    std::string scratch_;
    std::uint64_t bytesOut_ = 0;
};

} // namespace quillan::archive
