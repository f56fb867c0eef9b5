#pragma once
// quillan-convert's command line: what it may hold, how it is read, and the
// help text that lists it. Plain C++.
//
// Inputs are given on the command line, or one per line in a list
// (--inputs LIST, "-" for standard input); each input is a file, "-"
// (standard input), or an address. An argument is taken for an address when
// it starts with a scheme followed by "://" (letters, digits, "+", "-", "."
// after a first letter); only http and https are fetched, every other
// scheme is refused for that input.

#include "text/conversion.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace quillan::cli {

inline constexpr const char *ProgramName = "quillan-convert";
inline constexpr std::int64_t DefaultMaxSize = std::int64_t(256) * 1024 * 1024;

// How the archive road writes its records (--format).
enum class ArchiveFormat : std::uint8_t { Wet, Jsonl };

struct Options {
    std::vector<std::string> inputs;   // in the order given
    std::optional<std::string> output; // -o PATH ("-": standard output)
    std::optional<std::string> list;   // --inputs LIST ("-": standard input)
    std::optional<std::string> outDir; // --out-dir DIR
    bool separate = false;             // --separate
    unsigned jobs = 0;                 // -j N; 0: the number of cores
    bool quiet = false;                // --quiet
    bool verbose = false;              // --verbose: with --article, which content each page gave
    std::int64_t maxSize = DefaultMaxSize;
    text::Kind kind = text::Kind::Stripped;         // --readable, --article
    text::Syntax syntax = text::Syntax::Plain;      // --markdown (with a readable kind)
    text::Images images = text::Images::Keep;       // --no-images: Drop (with --markdown)
    bool links = false;                             // --links (with a readable kind)
    std::size_t width = 0;                          // --width N (with a readable kind); 0: no wrapping
    text::Bias bias = text::Bias::Balanced;         // --precision, --recall (with --article)
    text::Comments comments = text::Comments::Drop; // --comments: Keep (with --article)
    bool warc = false;                              // --warc: the inputs are web archives
    ArchiveFormat format = ArchiveFormat::Wet;      // --format wet|jsonl (with --warc)
    // --metadata: the page's metadata looked for; without --warc, written
    // as front matter before each text, with --warc into each JSON Lines
    // record. --format json|jsonl (without --warc): one JSON object per page
    // instead of its text.
    text::MetadataSearch metadata = text::MetadataSearch::Skip;
    text::Envelope envelope = text::Envelope::Text;
    std::optional<std::string> summary; // --summary PATH (with --warc): the counts as JSON
    // --url ADDRESS (one file or standard input): the address the page is
    // taken to have come from, as the URL Standard writes it; its links and
    // the metadata's addresses are made absolute against it.
    std::optional<std::string> url;
};

struct ParsedCommandLine {
    enum class Action { Run, Help, Version, UsageError };
    Action action = Action::Run;
    Options options;
    std::string error; // for UsageError: what was wrong, without the program's name
};

// The conversion the options ask for, for a page with no HTTP charset and
// no address but the one --url gives.
text::Options textOptionsOf(const Options &options);

// Reads argv. Options and inputs may come in any order; "--" ends the
// options; "-o PATH" and "-oPATH", "-j N" and "-jN", "--name VALUE" and
// "--name=VALUE" are all accepted. Checks that the options fit together (-o
// takes one input and no list; --links, --width and --verbose go with the
// kinds they change; --comments, --precision and --recall go with
// --article, and the last two not together; --metadata and --format json
// go with the file, address and batch roads, and several pages into one
// stream need --format jsonl; --url is an absolute http(s) address and
// takes one file or standard input), but not the inputs themselves.
ParsedCommandLine parseCommandLine(int argc, const char *const *argv);

// "1048576", "512k", "64M", "2G" (powers of 1024, either case) as bytes;
// nothing for anything else, zero, or a size that does not fit.
std::optional<std::int64_t> parseSize(const std::string &text);

enum class InputKind {
    File,           // a path, or "-"
    Address,        // http:// or https:// (scheme in any case)
    RefusedAddress, // scheme://... with any other scheme
};
InputKind classifyInput(const std::string &input);

// The message for a refused address, without the program's name.
std::string refusedAddressMessage(const std::string &input);

void printUsage(std::FILE *to);

} // namespace quillan::cli
