// The archive readers and the text record writer, driven directly: WARC
// records in every framing, the damage a reader meets in archives (also on
// a pipe, where nothing can be read again), HTTP heads, and bodies in every
// coding against encoders of their own libraries.
#include "archive/archive_input.h"
#include "archive/http_message.h"
#include "archive/text_records.h"
#include "archive/warc_reader.h"
#include "base/json_string.h"

#include <brotli/encode.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace quillan::archive;

std::string record(const std::string &body, const std::string &version = "WARC/1.0", const std::string &extra = "")
{
    return version + "\r\nWARC-Type: resource\r\nWARC-Target-URI: http://a.test/" + std::to_string(body.size()) +
           "\r\n" + extra + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body + "\r\n\r\n";
}

std::string gzipped(const std::string &bytes, int windowBits = 16 + MAX_WBITS)
{
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, uLong(bytes.size())) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.data()));
    z.avail_in = unsigned(bytes.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = unsigned(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    return out;
}

std::string brotli(const std::string &bytes)
{
    std::string out(BrotliEncoderMaxCompressedSize(bytes.size()) + 16, '\0');
    std::size_t size = out.size();
    EXPECT_TRUE(BrotliEncoderCompress(5, 22, BROTLI_MODE_TEXT, bytes.size(),
                                      reinterpret_cast<const std::uint8_t *>(bytes.data()), &size,
                                      reinterpret_cast<std::uint8_t *>(out.data())));
    out.resize(size);
    return out;
}

// The bytes as gzip members of the sizes given in turn (the last one
// repeated), cutting the records anywhere, as blocked gzip does.
std::string blockedGzip(const std::string &plain, const std::vector<std::size_t> &sizes,
                        std::vector<std::size_t> *memberStarts = nullptr)
{
    std::string out;
    std::size_t at = 0;
    for (std::size_t i = 0; at < plain.size(); ++i) {
        const std::size_t size = sizes[std::min(i, sizes.size() - 1)];
        if (memberStarts)
            memberStarts->push_back(out.size());
        out += gzipped(plain.substr(at, size));
        at += size;
    }
    return out;
}

struct Read {
    std::vector<std::string> blocks;  // of the sound records
    std::vector<std::string> damage;  // "OFFSET: reason"
    std::vector<std::string> skipped; // "bytes A-B skipped"
};

// Reads every record from fd, the blocks in pieces of `piece` bytes, copied
// and in place by turns.
Read readAll(int fd, std::size_t piece = 7)
{
    Read result;
    ArchiveInput input(fd);
    WarcReader reader(input, [&result](const Damage &damage) {
        result.damage.push_back(damage.where.text() + ": " + damage.reason);
        result.skipped.push_back(damage.skipped());
    });
    while (reader.next()) {
        std::string block;
        std::vector<char> buffer(piece);
        for (bool copied = true;; copied = !copied) {
            if (copied) {
                const std::size_t n = reader.readBlock(buffer.data(), piece);
                if (n == 0)
                    break;
                block.append(buffer.data(), n);
            } else {
                const std::string_view bytes = reader.readBlockView(piece);
                if (bytes.empty())
                    break;
                EXPECT_LE(bytes.size(), piece);
                block.append(bytes);
            }
        }
        if (reader.finish())
            result.blocks.push_back(block);
    }
    return result;
}

// The bytes as a file (seekable) or through a pipe (not).
class Source {
public:
    Source(const std::string &bytes, bool pipe)
    {
        if (!pipe) {
            file_ = std::tmpfile();
            std::fwrite(bytes.data(), 1, bytes.size(), file_);
            std::rewind(file_);
            fd_ = fileno(file_);
            return;
        }
        int fds[2];
        EXPECT_EQ(::pipe(fds), 0);
        fd_ = fds[0];
        writer_ = std::thread([bytes, out = fds[1]] {
            std::size_t at = 0;
            while (at < bytes.size()) {
                const ssize_t n = ::write(out, bytes.data() + at, std::min<std::size_t>(4096, bytes.size() - at));
                if (n <= 0)
                    break;
                at += std::size_t(n);
            }
            ::close(out);
        });
    }
    ~Source()
    {
        if (writer_.joinable())
            writer_.join();
        if (file_)
            std::fclose(file_);
        else
            ::close(fd_);
    }
    int fd() const { return fd_; }

private:
    std::FILE *file_ = nullptr;
    int fd_ = -1;
    std::thread writer_;
};

TEST(WarcReader, SameRecordsInEveryFraming)
{
    const std::vector<std::string> bodies = {"first", std::string(200000, 'x') + "end", "", "<p>third</p>"};
    std::string plain;
    std::string perRecord;
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        const std::string r = record(bodies[i], i % 2 ? "WARC/1.1" : "WARC/1.0");
        plain += r;
        perRecord += gzipped(r);
    }
    for (const bool pipe : {false, true}) {
        for (const std::string *bytes : {&plain, &perRecord}) {
            const std::string whole = gzipped(plain);
            for (const std::string *data : {bytes, &whole}) {
                Source source(*data, pipe);
                const Read read = readAll(source.fd());
                EXPECT_EQ(read.blocks, bodies);
                EXPECT_TRUE(read.damage.empty()) << read.damage.front();
            }
        }
    }
}

TEST(WarcReader, LenientFramingAndFoldedFields)
{
    // LF line ends, blank lines between records, a field over two lines.
    const std::string data = "\r\n\nWARC/1.1\nWARC-Type: resource\nWARC-Target-URI: http://a.test/\n"
                             "  folded\nContent-Length: 3\n\nabc\n\n" +
                             record("two");
    Source source(data, false);
    ArchiveInput input(source.fd());
    std::vector<std::string> damage;
    WarcReader reader(input, [&](const Damage &d) { damage.push_back(d.reason); });
    ASSERT_TRUE(reader.next());
    EXPECT_EQ(reader.header().version, "WARC/1.1");
    EXPECT_EQ(reader.header().field("warc-target-uri"), "http://a.test/ folded");
    EXPECT_EQ(reader.offset().text(), "3");
    EXPECT_TRUE(reader.finish());
    ASSERT_TRUE(reader.next()); // without finish(): next() finishes it
    EXPECT_EQ(reader.header().contentLength, 3u);
    EXPECT_FALSE(reader.next());
    EXPECT_TRUE(damage.empty());
}

TEST(WarcReader, DamagedRecordsAreReportedAndSkipped)
{
    const std::string a = record("alpha"), b = record("bravo"), c = record("charlie");
    struct Case {
        const char *name;
        std::string data;
        std::vector<std::string> blocks;
        std::string damage;  // the start of the one report expected
        std::size_t resumed; // where the reading went on after it
    };
    std::string noLength = "WARC/1.0\r\nWARC-Type: resource\r\n\r\nzz\r\n\r\n";
    std::string badLength = "WARC/1.0\r\nContent-Length: 12x\r\n\r\n";
    std::string shortLength = record("0123456789");
    shortLength.replace(shortLength.find("Length: 10"), 10, "Length: 4");
    std::string longLength = record("0123456789");
    longLength.replace(longLength.find("Length: 10"), 10, "Length: 90");
    std::string hugeHeader = "WARC/1.0\r\n";
    for (int i = 0; i < 5000; ++i)
        hugeHeader += "X-Field: " + std::string(60, 'v') + "\r\n";
    // A Content-Length that points past the end of the file: the records
    // inside what it took are read all the same.
    std::string pastEnd = record("0123456789");
    pastEnd.replace(pastEnd.find("Length: 10"), 10, "Length: 9000");
    const std::size_t at = a.size();
    const std::vector<Case> cases = {
        {"garbage before a record", "garbage\r\n" + a + b, {"alpha", "bravo"}, "0: not a WARC record header", 9},
        {"no Content-Length",
         a + noLength + b,
         {"alpha", "bravo"},
         std::to_string(at) + ": missing or bad",
         at + noLength.size()},
        {"bad Content-Length",
         a + badLength + b,
         {"alpha", "bravo"},
         std::to_string(at) + ": missing or bad",
         at + badLength.size()},
        {"Content-Length too short",
         a + shortLength + b,
         {"alpha", "bravo"},
         std::to_string(at) + ": the record does not end",
         at + shortLength.size()},
        {"Content-Length too long",
         a + longLength + b + c,
         {"alpha", "bravo", "charlie"},
         std::to_string(at) + ": the record does not end",
         at + longLength.size()},
        {"Content-Length past the end",
         a + pastEnd + b + c,
         {"alpha", "bravo", "charlie"},
         std::to_string(at) + ": block cut short",
         at + pastEnd.size()},
        {"header over 256 KiB",
         a + hugeHeader + "\r\n" + b,
         {"alpha", "bravo"},
         std::to_string(at) + ": header over 256 KiB",
         at + hugeHeader.size() + 2},
        {"cut in the block",
         a + b.substr(0, b.size() - 8),
         {"alpha"},
         std::to_string(at) + ": block cut short",
         at + b.size() - 8},
        {"cut in the header", a + c.substr(0, 20), {"alpha"}, std::to_string(at) + ": record cut short", at + 20},
    };
    for (const bool pipe : {false, true}) {
        for (const Case &test : cases) {
            Source source(test.data, pipe);
            const Read read = readAll(source.fd());
            EXPECT_EQ(read.blocks, test.blocks) << test.name << (pipe ? " (pipe)" : "");
            ASSERT_EQ(read.damage.size(), 1u) << test.name << (pipe ? " (pipe)" : "");
            EXPECT_EQ(read.damage[0].rfind(test.damage, 0), 0u) << test.name << ": " << read.damage[0];
            const std::string first = test.damage.substr(0, test.damage.find(':'));
            EXPECT_EQ(read.skipped[0], "bytes " + first + "-" + std::to_string(test.resumed) + " skipped")
                << test.name << (pipe ? " (pipe)" : "");
        }
    }
    // The same length past the end in gzip, a member per record, one
    // member for the whole file and small members cutting the records: the
    // records after it are read again.
    const std::string lying = a + pastEnd + b + c;
    for (const bool pipe : {false, true}) {
        for (const std::string &data :
             {gzipped(a) + gzipped(pastEnd) + gzipped(b) + gzipped(c), gzipped(lying), blockedGzip(lying, {29})}) {
            Source source(data, pipe);
            const Read read = readAll(source.fd());
            EXPECT_EQ(read.blocks, (std::vector<std::string>{"alpha", "bravo", "charlie"})) << "pipe " << pipe;
            ASSERT_EQ(read.damage.size(), 1u) << "pipe " << pipe;
            EXPECT_NE(read.damage[0].find(": block cut short"), std::string::npos) << read.damage[0];
        }
    }
}

TEST(WarcReader, DamagedGzipMembersOnFilesAndPipes)
{
    const std::string a = gzipped(record("alpha")), c = gzipped(record("charlie"));
    std::string big;
    for (int i = 0; i < 3000; ++i)
        big += "<p>line " + std::to_string(i * 7919 % 10007) + "</p>\n";
    const std::string b = gzipped(record(big));
    const std::string cutB = b.substr(0, b.size() / 2);
    std::string flipped = b;
    flipped[flipped.size() / 2] = char(flipped[flipped.size() / 2] ^ 0x55);
    for (const bool pipe : {false, true}) {
        {
            // A member cut in its middle, then sound ones: the one right
            // after the cut is found again, on a pipe too.
            Source source(a + cutB + c + a, pipe);
            const Read read = readAll(source.fd());
            ASSERT_EQ(read.damage.size(), 1u);
            EXPECT_EQ(read.damage[0].rfind(std::to_string(a.size()) + ": gzip", 0), 0u) << read.damage[0];
            EXPECT_EQ(read.skipped[0],
                      "bytes " + std::to_string(a.size()) + "-" + std::to_string(a.size() + cutB.size()) + " skipped");
            EXPECT_EQ(read.blocks, (std::vector<std::string>{"alpha", "charlie", "alpha"}));
        }
        {
            // Cut short right after its header, and cut with most of it
            // there, each followed at once by a sound member.
            Source source(a + b.substr(0, 12) + c + b.substr(0, b.size() - 20) + c, pipe);
            const Read read = readAll(source.fd());
            EXPECT_EQ(read.blocks, (std::vector<std::string>{"alpha", "charlie", "charlie"}));
            EXPECT_EQ(read.damage.size(), 2u);
        }
        {
            // Damaged bytes inside a member.
            Source source(a + flipped + c, pipe);
            const Read read = readAll(source.fd());
            ASSERT_GE(read.damage.size(), 1u);
            EXPECT_EQ(read.damage[0].rfind(std::to_string(a.size()) + ": ", 0), 0u) << read.damage[0];
            EXPECT_EQ(read.blocks, (std::vector<std::string>{"alpha", "charlie"}));
        }
        {
            // Cut at the end of the file; garbage between members.
            Source source(a + "not gzip at all" + c + cutB, pipe);
            const Read read = readAll(source.fd());
            EXPECT_EQ(read.blocks, (std::vector<std::string>{"alpha", "charlie"}));
            ASSERT_EQ(read.damage.size(), 2u);
            EXPECT_EQ(read.damage[0], std::to_string(a.size()) + ": bytes that are not a gzip member");
            EXPECT_NE(read.damage[1].find("cut short"), std::string::npos) << read.damage[1];
            // The member cut at the end: skipped up to the end of the file.
            const std::size_t size = a.size() + 15 + c.size() + cutB.size();
            EXPECT_EQ(read.skipped[1],
                      "bytes " + std::to_string(size - cutB.size()) + "-" + std::to_string(size) + " skipped");
        }
    }
}

TEST(WarcReader, MembersOfEverySize)
{
    // A member larger compressed than the first read, one that inflates
    // past what is inflated whole, and all of it as one member: the same
    // records from a file and a pipe, also after a large member cut short.
    std::string noisy;
    std::uint32_t x = 12345;
    while (noisy.size() < 3000000) {
        x = x * 1103515245u + 12345u;
        noisy += char('a' + (x >> 16) % 26);
    }
    const std::string long_(9 * 1024 * 1024 + 17, 'w');
    const std::vector<std::string> bodies = {"small", noisy, long_, "last"};
    std::string perRecord, plain;
    for (const std::string &body : bodies) {
        perRecord += gzipped(record(body));
        plain += record(body);
    }
    std::string whole = gzipped(plain);
    const std::string cutNoisy = gzipped(record(noisy)).substr(0, 1000000);
    const std::string cut = gzipped(record("small")) + cutNoisy + gzipped(record("last"));
    for (const bool pipe : {false, true}) {
        for (const std::string *data : {&perRecord, &whole}) {
            Source source(*data, pipe);
            const Read read = readAll(source.fd(), 65536);
            EXPECT_TRUE(read.blocks == bodies) << "pipe " << pipe << ", " << read.blocks.size() << " records";
            EXPECT_TRUE(read.damage.empty()) << read.damage.front();
        }
        Source source(cut, pipe);
        const Read read = readAll(source.fd(), 65536);
        EXPECT_EQ(read.blocks, (std::vector<std::string>{"small", "last"})) << "pipe " << pipe;
        ASSERT_EQ(read.damage.size(), 1u) << "pipe " << pipe;
        EXPECT_EQ(read.damage[0].rfind(std::to_string(cut.find(cutNoisy)) + ": gzip", 0), 0u) << read.damage[0];
    }
}

TEST(WarcReader, MemberBoundariesAnywhere)
{
    std::string noisy;
    std::uint32_t x = 99;
    while (noisy.size() < 200000) {
        x = x * 1103515245u + 12345u;
        noisy += char('a' + (x >> 16) % 26);
    }
    const std::vector<std::string> bodies = {"first", noisy, "", "<p>fourth</p>", std::string(70000, 'z'), "last"};
    std::string plain;
    std::vector<std::size_t> starts; // of the records in the plain bytes
    for (const std::string &body : bodies) {
        starts.push_back(plain.size());
        plain += record(body);
    }
    // Members of one byte, of a few, of bgzip's size, and of sizes that
    // cut the CR LF CR LF ending a record in two.
    const std::vector<std::vector<std::size_t>> sizes = {{1, 1, 2, 3, 5, 8, 13, 21, 4000},
                                                         {7, 13, 3, 1500},
                                                         {65280},
                                                         {starts[1] - 2, 3, 100000},
                                                         {starts[1] + 1, 65536}};
    for (const bool pipe : {false, true}) {
        for (const std::vector<std::size_t> &cut : sizes) {
            Source source(blockedGzip(plain, cut), pipe);
            const Read read = readAll(source.fd(), 4096);
            EXPECT_EQ(read.blocks, bodies) << "pipe " << pipe << ", first member " << cut[0];
            EXPECT_TRUE(read.damage.empty()) << read.damage.front();
        }
    }

    // A record's offset: its member's and the position in that member.
    std::vector<std::size_t> members;
    const std::string blocked = blockedGzip(plain, {1000}, &members);
    {
        Source source(blocked, false);
        ArchiveInput input(source.fd());
        WarcReader reader(input, nullptr);
        for (const std::size_t start : starts) {
            ASSERT_TRUE(reader.next());
            EXPECT_EQ(reader.offset().file, members[start / 1000]);
            EXPECT_EQ(reader.offset().inMember, start % 1000);
        }
        EXPECT_FALSE(reader.next());
    }

    // One member damaged: the records wholly outside it are read, and the
    // damage is one report up to the next record read.
    const std::size_t bad = starts[4] / 1000 + 3; // inside the fifth record
    const std::size_t badSize = members[bad + 1] - members[bad];
    std::string damaged = blocked;
    damaged.erase(members[bad] + badSize / 2, badSize - badSize / 2); // cut in its middle
    const std::size_t shift = badSize - badSize / 2;
    for (const bool pipe : {false, true}) {
        Source source(damaged, pipe);
        const Read read = readAll(source.fd(), 4096);
        EXPECT_EQ(read.blocks, (std::vector<std::string>{"first", noisy, "", "<p>fourth</p>", "last"}));
        ASSERT_EQ(read.damage.size(), 1u);
        const RecordOffset fifth{members[starts[4] / 1000], starts[4] % 1000};
        const RecordOffset sixth{members[starts[5] / 1000] - shift, starts[5] % 1000};
        EXPECT_EQ(read.damage[0].rfind(fifth.text() + ": gzip", 0), 0u) << read.damage[0];
        EXPECT_EQ(read.skipped[0], "bytes " + fifth.text() + "-" + sixth.text() + " skipped");
    }
}

TEST(HttpHead, StatusFieldsAndContentType)
{
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/HTML;  Charset=\"ISO-8859-2\" ; x=y\r\n"
                             "X-Folded: a\r\n b\r\nnot a field\r\n\r\nbody";
    const std::optional<std::size_t> end = httpHeadEnd(head);
    ASSERT_TRUE(end);
    EXPECT_EQ(head.substr(*end), "body");
    const std::optional<HttpHead> parsed = parseHttpHead(head.substr(0, *end));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->status, 200);
    EXPECT_EQ(mediaTypeOf(parsed->field("content-type")), "text/html");
    EXPECT_EQ(charsetOf(parsed->field("Content-Type")), "ISO-8859-2");
    EXPECT_EQ(parsed->field("X-Folded"), "a b");
    EXPECT_EQ(charsetOf("text/html; q=1"), "");
    EXPECT_EQ(httpHeadEnd("HTTP/1.0 204\n\nx").value_or(0), 14u);
    ASSERT_TRUE(parseHttpHead("HTTP/2 404\r\n\r\n"));
    EXPECT_EQ(parseHttpHead("HTTP/2 404\r\n\r\n")->status, 404);
    EXPECT_FALSE(httpHeadEnd("HTTP/1.1 200 OK\r\nA: b\r\n"));
    for (const char *bad : {"", "GET / HTTP/1.1\r\n\r\n", "HTTP/1.1 2x0 OK\r\n\r\n", "HTTP/1.1 2000\r\n\r\n"})
        EXPECT_FALSE(parseHttpHead(bad)) << bad;
}

std::string decoded(const std::string &transfer, const std::string &coding, const std::string &body, std::size_t piece)
{
    std::string out;
    BodyDecoder decoder(transfer, coding, [&out](std::string_view bytes) { out.append(bytes); });
    for (std::size_t at = 0; at < body.size(); at += piece)
        decoder.feed(std::string_view(body).substr(at, piece));
    decoder.finish();
    return out;
}

std::string chunked(const std::string &body, std::size_t size)
{
    std::string out;
    for (std::size_t at = 0; at < body.size(); at += size) {
        const std::string piece = body.substr(at, size);
        char head[32];
        std::snprintf(head, sizeof head, "%zX;name=value\r\n", piece.size());
        out += head + piece + "\r\n";
    }
    return out + "0\r\nTrailer: x\r\n\r\n";
}

TEST(BodyDecoder, EveryCodingInPiecesOfAnySize)
{
    std::string page;
    for (int i = 0; i < 4000; ++i)
        page += "<p>Paragraph " + std::to_string(i) + " caf\xC3\xA9</p>\n";
    struct Case {
        const char *transfer;
        const char *coding;
        std::string body;
    };
    const std::vector<Case> cases = {
        {"", "", page},
        {"chunked", "", chunked(page, 1000)},
        {"", "gzip", gzipped(page)},
        {"", "x-gzip", gzipped(page)},
        {"", "deflate", gzipped(page, MAX_WBITS)},
        {"", "deflate", gzipped(page, -MAX_WBITS)},
        {"", "br", brotli(page)},
        {"Chunked", "GZIP", chunked(gzipped(page), 777)},
        {"gzip, chunked", "", chunked(gzipped(page), 4096)},
        {"", "gzip, br", brotli(gzipped(page))},
        {"", "identity", page},
    };
    for (const Case &test : cases) {
        for (const std::size_t piece : {std::size_t(1), std::size_t(3), std::size_t(65536), test.body.size()}) {
            try {
                EXPECT_EQ(decoded(test.transfer, test.coding, test.body, piece), page)
                    << test.transfer << "/" << test.coding << " in pieces of " << piece;
            } catch (const BodyFault &fault) {
                ADD_FAILURE() << test.transfer << "/" << test.coding << " in pieces of " << piece << ": "
                              << fault.reason;
            }
        }
    }
}

TEST(BodyDecoder, FaultsAreReported)
{
    const std::string page = "<p>" + std::string(5000, 'z') + "</p>";
    const std::string gz = gzipped(page);
    const std::string ch = chunked(page, 100);
    struct Case {
        const char *transfer;
        const char *coding;
        std::string body;
    };
    const std::vector<Case> cases = {
        {"chunked", "", ch.substr(0, ch.size() / 2)}, {"chunked", "", "zz\r\nabc\r\n0\r\n\r\n"},
        {"chunked", "", "3\r\nabcdef\r\n0\r\n\r\n"},  {"chunked", "", "\r\nabc"},
        {"", "gzip", gz.substr(0, gz.size() / 2)},    {"", "gzip", "not gzip at all"},
        {"", "br", brotli(page).substr(0, 10)},       {"", "compress", page},
    };
    for (const Case &test : cases)
        EXPECT_THROW(decoded(test.transfer, test.coding, test.body, 64), BodyFault)
            << test.transfer << "/" << test.coding << ": " << test.body.substr(0, 10);
}

TEST(TextRecords, DigestJsonAndRecordIds)
{
    // Known SHA-1 values in the base32 WARC digests use.
    EXPECT_EQ(sha1Digest(""), "sha1:3I42H3S6NNFQ2MSVX7XZKYAYSCX5QBYJ");
    EXPECT_EQ(sha1Digest("abc"), "sha1:VGMT4NSHA2AWVOR6EVYXQUGCNSONBWE5");

    std::string json;
    base::AppendJsonString(json, std::string("a\"b\\c\n\t\x01 caf\xC3\xA9 \xF0\x9F\x98\x80 bad:\xC3 \xFF \xED\xA0\x80 "
                                             "\xE0\x80\xAF end"));
    EXPECT_EQ(json, "a\\\"b\\\\c\\n\\t\\u0001 caf\xC3\xA9 \xF0\x9F\x98\x80 bad:\xEF\xBF\xBD \xEF\xBF\xBD "
                    "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD end");

    const std::string a = newRecordId(), b = newRecordId();
    EXPECT_NE(a, b);
    ASSERT_EQ(a.size(), 47u);
    EXPECT_EQ(a.substr(0, 10), "<urn:uuid:");
    EXPECT_EQ(a[24], '4'); // version 4
    EXPECT_NE(std::string("89ab").find(a[29]), std::string::npos);
}

TEST(TextRecords, GzipOneMemberPerRecordReadBackByTheReader)
{
    std::FILE *file = std::tmpfile();
    {
        TextRecordWriter writer(fileno(file), TextFormat::Wet, true);
        writer.writeInfo("out.wet.gz", "software: test\r\n");
        TextRecord r;
        r.url = "http://a.test/";
        r.date = "2024-05-01T12:00:00Z";
        r.refersTo = "<urn:uuid:x>";
        r.text = "text one\r\n";
        writer.write(r);
        const std::string longText(300000, 'q');
        r.text = longText;
        writer.write(r);
        writer.flush();
        EXPECT_GT(writer.bytesOut(), 0u);
    }
    std::rewind(file);
    const Read read = readAll(fileno(file), 65536);
    std::fclose(file);
    ASSERT_EQ(read.blocks.size(), 3u);
    EXPECT_EQ(read.blocks[0], "software: test\r\n");
    EXPECT_EQ(read.blocks[1], "text one\r\n");
    EXPECT_EQ(read.blocks[2], std::string(300000, 'q'));
    EXPECT_TRUE(read.damage.empty());
}

} // namespace
