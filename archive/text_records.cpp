#include "archive/text_records.h"

#include "base/fd_io.h"
#include "base/json_string.h"
#include "base/utf8.h"

#include <nettle/sha1.h>
#include <sys/random.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace quillan::archive {

namespace {
constexpr std::size_t kFlushAt = 1 << 20;

} // namespace

std::string newRecordId()
{
    unsigned char b[16];
    std::size_t got = 0;
    while (got < sizeof b) {
        const ssize_t n = ::getrandom(b + got, sizeof b - got, 0);
        if (n > 0)
            got += std::size_t(n);
        else if (errno != EINTR)
            throw OutputFailure{errno};
    }
    b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);
    b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);
    char text[64];
    std::snprintf(text, sizeof text, "<urn:uuid:%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x>",
                  b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return text;
}

std::string warcDateNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string sha1Digest(std::string_view bytes)
{
    sha1_ctx ctx;
    sha1_init(&ctx);
    sha1_update(&ctx, bytes.size(), reinterpret_cast<const std::uint8_t *>(bytes.data()));
    std::uint8_t digest[SHA1_DIGEST_SIZE];
    sha1_digest(&ctx, SHA1_DIGEST_SIZE, digest);
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
    std::string out = "sha1:";
    // 160 bits: 32 characters of five bits, no padding.
    unsigned buffer = 0;
    int bits = 0;
    for (const std::uint8_t byte : digest) {
        buffer = (buffer << 8) | byte;
        bits += 8;
        while (bits >= 5) {
            out += kAlphabet[(buffer >> (bits - 5)) & 31];
            bits -= 5;
        }
    }
    return out;
}

struct TextRecordWriter::Deflater {
    z_stream z{};
    bool ready = false;
    ~Deflater()
    {
        if (ready)
            deflateEnd(&z);
    }
};

TextRecordWriter::TextRecordWriter(int fd, TextFormat format, bool gzip) : fd_(fd), format_(format)
{
    if (gzip) {
        deflater_ = std::make_unique<Deflater>();
        if (deflateInit2(&deflater_->z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw OutputFailure{ENOMEM};
        deflater_->ready = true;
    }
}

TextRecordWriter::~TextRecordWriter() = default;

void TextRecordWriter::emit(std::string_view bytes)
{
    if (!deflater_) {
        buffer_.append(bytes);
    } else {
        // One member for these bytes: a record.
        z_stream &z = deflater_->z;
        deflateReset(&z);
        z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.data()));
        z.avail_in = unsigned(bytes.size());
        const std::size_t bound = deflateBound(&z, uLong(bytes.size())) + 32;
        const std::size_t at = buffer_.size();
        buffer_.resize(at + bound);
        z.next_out = reinterpret_cast<Bytef *>(buffer_.data() + at);
        z.avail_out = unsigned(bound);
        const int rc = deflate(&z, Z_FINISH);
        if (rc != Z_STREAM_END)
            throw OutputFailure{EIO};
        buffer_.resize(at + (bound - z.avail_out));
    }
    if (buffer_.size() >= kFlushAt)
        flush();
}

void TextRecordWriter::flush()
{
    if (buffer_.empty())
        return;
    if (const int error = base::WriteAll(fd_, buffer_.data(), buffer_.size()))
        throw OutputFailure{error};
    bytesOut_ += buffer_.size();
    buffer_.clear();
}

void TextRecordWriter::warcRecord(const std::string &head, std::string_view block)
{
    scratch_.clear();
    scratch_ += head;
    scratch_ += "Content-Length: " + std::to_string(block.size()) + "\r\n\r\n";
    scratch_.append(block);
    scratch_ += "\r\n\r\n";
    emit(scratch_);
}

void TextRecordWriter::writeInfo(const std::string &fileName, const std::string &fields)
{
    if (format_ != TextFormat::Wet)
        return;
    std::string head = "WARC/1.0\r\nWARC-Type: warcinfo\r\nWARC-Date: " + warcDateNow() + "\r\n";
    if (!fileName.empty())
        head += "WARC-Filename: " + fileName + "\r\n";
    head += "WARC-Record-ID: " + newRecordId() + "\r\nContent-Type: application/warc-fields\r\n";
    warcRecord(head, fields);
}

void TextRecordWriter::write(const TextRecord &record)
{
    const std::string id = newRecordId();
    if (format_ == TextFormat::Wet) {
        std::string head = "WARC/1.0\r\nWARC-Type: conversion\r\nWARC-Target-URI: " + record.url +
                           "\r\nWARC-Date: " + record.date + "\r\nWARC-Record-ID: " + id + "\r\n";
        if (!record.refersTo.empty())
            head += "WARC-Refers-To: " + record.refersTo + "\r\n";
        head += "WARC-Block-Digest: " + sha1Digest(record.text) + "\r\nContent-Type: text/plain\r\n";
        warcRecord(head, record.text);
        return;
    }
    scratch_.clear();
    scratch_ += "{\"id\":\"";
    base::AppendJsonString(scratch_, id);
    scratch_ += "\",\"url\":\"";
    base::AppendJsonString(scratch_, record.url);
    scratch_ += "\",\"date\":\"";
    base::AppendJsonString(scratch_, record.date);
    scratch_ += "\",\"text\":\"";
    base::AppendJsonString(scratch_, record.text);
    scratch_ += "\",\"metadata\":{\"status\":";
    scratch_ += record.status ? std::to_string(record.status) : std::string("null");
    scratch_ += ",\"content_type\":\"";
    base::AppendJsonString(scratch_, record.contentType);
    scratch_ += "\",\"charset\":";
    if (record.charset.empty()) {
        scratch_ += "null";
    } else {
        scratch_ += '"';
        base::AppendJsonString(scratch_, record.charset);
        scratch_ += '"';
    }
    scratch_ += ",\"warc_record_id\":\"";
    base::AppendJsonString(scratch_, record.refersTo);
    scratch_ += '"';
    for (const auto &[name, value] : record.pageMetadata) {
        scratch_ += ",\"";
        base::AppendJsonString(scratch_, name);
        scratch_ += "\":";
        if (value.empty()) {
            scratch_ += "null";
            continue;
        }
        scratch_ += '"';
        base::AppendJsonString(scratch_, value);
        scratch_ += '"';
    }
    scratch_ += "}}\n";
    emit(scratch_);
}

} // namespace quillan::archive
