#include "cli/convert_options.h"

#include "base/text.h"
#include "text/readable/url_parser.h"

#include <limits>

namespace quillan::cli {

namespace {

bool isSchemeChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
           c == '.';
}

// The scheme of "scheme://...", or an empty string when input has none.
std::string schemeOf(const std::string &input)
{
    const std::size_t colon = input.find("://");
    if (colon == std::string::npos || colon == 0)
        return {};
    const char first = input[0];
    if (!((first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z')))
        return {};
    for (std::size_t i = 1; i < colon; ++i)
        if (!isSchemeChar(input[i]))
            return {};
    return input.substr(0, colon);
}

std::optional<unsigned> parseCount(const std::string &text)
{
    if (text.empty() || text.size() > 6)
        return std::nullopt;
    unsigned value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + unsigned(c - '0');
    }
    if (value == 0)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<std::int64_t> parseSize(const std::string &text)
{
    if (text.empty())
        return std::nullopt;
    std::string digits = text;
    std::int64_t unit = 1;
    switch (base::AsciiLower(text.back())) {
    case 'k': unit = std::int64_t(1) << 10; break;
    case 'm': unit = std::int64_t(1) << 20; break;
    case 'g': unit = std::int64_t(1) << 30; break;
    default: break;
    }
    if (unit != 1)
        digits.pop_back();
    if (digits.empty() || digits.size() > 18)
        return std::nullopt;
    std::int64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value == 0 || value > std::numeric_limits<std::int64_t>::max() / unit)
        return std::nullopt;
    return value * unit;
}

InputKind classifyInput(const std::string &input)
{
    const std::string scheme = schemeOf(input);
    if (scheme.empty())
        return InputKind::File;
    if (base::EqualsNoCase(scheme, "http") || base::EqualsNoCase(scheme, "https"))
        return InputKind::Address;
    return InputKind::RefusedAddress;
}

std::string refusedAddressMessage(const std::string &input)
{
    return input + ": only http:// and https:// addresses can be fetched (\"" + schemeOf(input) +
           "\" is not supported)";
}

text::Options textOptionsOf(const Options &options)
{
    text::Options text;
    text.kind = options.kind;
    text.syntax = options.syntax;
    text.images = options.images;
    text.links = options.links;
    text.width = options.width;
    text.bias = options.bias;
    text.comments = options.comments;
    text.envelope = options.envelope;
    text.metadata = options.metadata;
    text.address = options.url.value_or(std::string());
    text.account = options.verbose ? text::Account::Keep : text::Account::Skip;
    return text;
}

ParsedCommandLine parseCommandLine(int argc, const char *const *argv)
{
    ParsedCommandLine parsed;
    Options &o = parsed.options;
    auto usageError = [&parsed](std::string message) {
        parsed.action = ParsedCommandLine::Action::UsageError;
        parsed.error = std::move(message);
        return parsed;
    };

    bool optionsDone = false;
    std::optional<std::string> format;
    bool metadataGiven = false;
    bool precisionGiven = false, recallGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsDone || arg == "-" || arg.empty() || arg[0] != '-') {
            o.inputs.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsDone = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            parsed.action = ParsedCommandLine::Action::Help;
            return parsed;
        }
        if (arg == "--version") {
            parsed.action = ParsedCommandLine::Action::Version;
            return parsed;
        }
        if (arg == "--separate") {
            o.separate = true;
            continue;
        }
        if (arg == "--quiet" || arg == "-q") {
            o.quiet = true;
            continue;
        }
        if (arg == "--verbose" || arg == "-v") {
            o.verbose = true;
            continue;
        }
        if (arg == "--readable") {
            // --article holds even where --readable comes after it.
            if (o.kind == text::Kind::Stripped)
                o.kind = text::Kind::Readable;
            continue;
        }
        if (arg == "--article") {
            o.kind = text::Kind::Article;
            continue;
        }
        if (arg == "--comments") {
            o.comments = text::Comments::Keep;
            continue;
        }
        if (arg == "--precision" || arg == "--recall") {
            (arg == "--precision" ? precisionGiven : recallGiven) = true;
            o.bias = arg == "--precision" ? text::Bias::Precision : text::Bias::Recall;
            continue;
        }
        if (arg == "--links") {
            o.links = true;
            continue;
        }
        if (arg == "--markdown") {
            o.syntax = text::Syntax::Markdown;
            continue;
        }
        if (arg == "--no-images") {
            o.images = text::Images::Drop;
            continue;
        }
        if (arg == "--warc") {
            o.warc = true;
            continue;
        }
        if (arg == "--metadata") {
            metadataGiven = true;
            continue;
        }

        // Options with a value: NAME VALUE, NAME=VALUE (long) or NAMEVALUE (short).
        std::string name = arg;
        std::optional<std::string> value;
        if (arg.rfind("--", 0) == 0) {
            if (const std::size_t equals = arg.find('='); equals != std::string::npos) {
                name = arg.substr(0, equals);
                value = arg.substr(equals + 1);
            }
        } else if (arg.size() > 2) {
            name = arg.substr(0, 2);
            value = arg.substr(2);
        }
        const bool known = name == "-o" || name == "-j" || name == "--jobs" || name == "--inputs" ||
                           name == "--out-dir" || name == "--max-size" || name == "--width" || name == "--format" ||
                           name == "--summary" || name == "--url";
        if (!known)
            return usageError("unknown option '" + arg + "'");
        if (!value) {
            if (i + 1 >= argc) {
                const char *what = name == "-o"           ? "a PATH"
                                   : name == "--inputs"   ? "a LIST"
                                   : name == "--out-dir"  ? "a DIR"
                                   : name == "--max-size" ? "a SIZE"
                                   : name == "--width"    ? "a number"
                                   : name == "--format"   ? "a FORMAT"
                                   : name == "--summary"  ? "a PATH"
                                   : name == "--url"      ? "an ADDRESS"
                                                          : "a number";
                return usageError("option '" + name + "' needs " + what);
            }
            value = argv[++i];
        }

        if (name == "-o") {
            if (o.output)
                return usageError("option '-o' given twice");
            if (value->empty())
                return usageError("option '-o' needs a PATH");
            o.output = *value;
        } else if (name == "-j" || name == "--jobs") {
            const std::optional<unsigned> count = parseCount(*value);
            if (!count)
                return usageError("option '" + name + "' needs a number from 1 up, not '" + *value + "'");
            o.jobs = *count;
        } else if (name == "--inputs") {
            if (o.list)
                return usageError("option '--inputs' given twice");
            if (value->empty())
                return usageError("option '--inputs' needs a LIST");
            o.list = *value;
        } else if (name == "--width") {
            const std::optional<unsigned> count = parseCount(*value);
            if (!count || *count > 100000)
                return usageError("option '--width' needs a number from 1 to 100000, not '" + *value + "'");
            o.width = *count;
        } else if (name == "--format") {
            format = *value; // what it may be depends on --warc
        } else if (name == "--summary") {
            if (o.summary)
                return usageError("option '--summary' given twice");
            if (value->empty() || *value == "-")
                return usageError("option '--summary' needs a PATH");
            o.summary = *value;
        } else if (name == "--url") {
            if (o.url)
                return usageError("option '--url' given twice");
            // Written out as the URL Standard writes it; only an absolute
            // web address can stand for where a page came from.
            std::optional<std::string> url = text::readable::parseUrl(*value);
            if (!url || !(url->starts_with("http://") || url->starts_with("https://")))
                return usageError("option '--url' needs an absolute http:// or https:// address, not '" + *value + "'");
            o.url = std::move(*url);
        } else if (name == "--out-dir") {
            if (value->empty())
                return usageError("option '--out-dir' needs a DIR");
            o.outDir = *value;
        } else {
            const std::optional<std::int64_t> size = parseSize(*value);
            if (!size)
                return usageError("option '--max-size' needs a size such as 1048576, 512k, 64M or 2G, not '" + *value +
                                  "'");
            o.maxSize = *size;
        }
    }

    // Markdown is a syntax of the readable kinds: alone, it means --readable.
    if (o.syntax == text::Syntax::Markdown && o.kind == text::Kind::Stripped)
        o.kind = text::Kind::Readable;
    if ((o.links || o.width != 0) && o.kind == text::Kind::Stripped)
        return usageError("options '--links' and '--width' go with '--readable' or '--article'");
    if (o.images == text::Images::Drop && o.syntax != text::Syntax::Markdown)
        return usageError("option '--no-images' goes with '--markdown'");
    if (o.verbose && o.kind != text::Kind::Article)
        return usageError("option '--verbose' goes with '--article'");
    if (precisionGiven && recallGiven)
        return usageError("options '--precision' and '--recall' cannot be used together");
    if ((precisionGiven || recallGiven || o.comments == text::Comments::Keep) && o.kind != text::Kind::Article)
        return usageError("options '--comments', '--precision' and '--recall' go with '--article'");
    if (o.warc && format) {
        if (*format != "wet" && *format != "jsonl")
            return usageError("option '--format' needs 'wet' or 'jsonl', not '" + *format + "'");
        o.format = *format == "jsonl" ? ArchiveFormat::Jsonl : ArchiveFormat::Wet;
    }
    if (o.warc && metadataGiven && o.format != ArchiveFormat::Jsonl)
        return usageError("option '--metadata' with '--warc' needs '--format jsonl'");
    if (metadataGiven)
        o.metadata = text::MetadataSearch::Find;
    if (!o.warc && format) {
        if (*format == "wet")
            return usageError("option '--format' goes with '--warc'");
        if (*format != "json" && *format != "jsonl")
            return usageError("option '--format' needs 'json' or 'jsonl' (with '--warc': 'wet' or 'jsonl'), not '" +
                              *format + "'");
        if (metadataGiven)
            return usageError("option '--metadata' cannot be used with '--format' (its JSON holds the metadata)");
        o.envelope = *format == "json" ? text::Envelope::Json : text::Envelope::JsonLine;
    } else if (metadataGiven && !o.warc) {
        // (An archive's JSON Lines hold it in each record's metadata.)
        o.envelope = text::Envelope::FrontMatter;
    }
    if (o.summary && !o.warc)
        return usageError("option '--summary' goes with '--warc'");
    if (o.url) {
        // The address of one page: an archive's records and a fetched page
        // have their own.
        if (o.warc)
            return usageError("option '--url' cannot be used with '--warc' (each record has its own address)");
        if (o.list || o.inputs.size() > 1)
            return usageError("option '--url' takes one input only (a file or \"-\")");
        if (!o.inputs.empty() && classifyInput(o.inputs.front()) != InputKind::File)
            return usageError("option '--url' cannot be used with an address (the page has its own)");
    }
    if (o.warc) {
        if (o.list || o.outDir || o.separate)
            return usageError("option '--warc' cannot be used with '--inputs', '--out-dir' or '--separate'");
        int standardInputs = 0;
        for (const std::string &input : o.inputs) {
            if (classifyInput(input) != InputKind::File)
                return usageError("option '--warc' reads archives from files or standard input, not '" + input + "'");
            standardInputs += input == "-";
        }
        if (standardInputs > 1)
            return usageError("standard input ('-') given twice");
        return parsed;
    }
    if (o.output) {
        if (o.list)
            return usageError("option '-o' cannot be used with '--inputs'");
        if (o.outDir || o.separate)
            return usageError("option '-o' cannot be used with '--out-dir' or '--separate'");
        if (o.inputs.size() > 1)
            return usageError("option '-o' takes one input only");
    }
    if (o.list && *o.list == "-")
        for (const std::string &input : o.inputs)
            if (input == "-")
                return usageError("standard input cannot be both the list of inputs and an input");
    if (o.envelope == text::Envelope::Json && !o.outDir) {
        // Addresses without -o or --out-dir go to standard output, one
        // after the other.
        std::size_t addresses = 0;
        for (const std::string &input : o.inputs)
            addresses += classifyInput(input) != InputKind::File;
        if (o.separate || (!o.output && (addresses > 1 || (addresses > 0 && o.list))))
            return usageError("several pages written into one stream need '--format jsonl', one object per line");
    }
    return parsed;
}

void printUsage(std::FILE *to)
{
    std::fprintf(to,
                 "Usage: %s [OPTION...] [FILE|ADDRESS...]\n"
                 "Strips the tags from each HTML FILE and writes its text file beside it:\n"
                 "the file name is cut after its first dot and \"TXT\" appended\n"
                 "(index.html gives index.TXT; with --markdown, \"md\": index.md).\n"
                 "\n"
                 "With no FILE, or FILE \"-\", reads standard input and writes standard output.\n"
                 "An http:// or https:// ADDRESS is fetched and its text written to standard\n"
                 "output (or to a file in --out-dir); other schemes are refused.\n"
                 "\n"
                 "  -o PATH          write the text to PATH instead (one input only; \"-\" is\n"
                 "                   standard output)\n"
                 "  --inputs LIST    also convert the inputs listed in the file LIST, one per\n"
                 "                   line (\"-\" reads the list from standard input)\n"
                 "  --out-dir DIR    write each input's text to a new file in DIR, named\n"
                 "                   after the address, or as the file's text beside it would\n"
                 "                   be, ending in .TXT (.md with --markdown; a name in use\n"
                 "                   gets a suffix: -2, -3...)\n"
                 "  --separate       write every input's text to standard output, in input\n"
                 "                   order, each after a line \"==> INPUT <==\"\n"
                 "  -j, --jobs N     convert N inputs at a time (default: the number of cores)\n"
                 "  --max-size SIZE  fail a page larger than SIZE bytes (k, M, G: powers of\n"
                 "                   1024; default 256M)\n"
                 "  -q, --quiet      no progress line on a terminal\n"
                 "  --readable       write the text a reader sees instead: the page decoded,\n"
                 "                   scripts, styles and hidden parts left out, one line per\n"
                 "                   block, UTF-8 with LF line ends\n"
                 "  --article        write only the page's main content, as --readable writes\n"
                 "                   it: its title first, then its article, without menus,\n"
                 "                   sidebars, comments, related links and footers\n"
                 "  --comments       with --article: keep the readers' comments, written after\n"
                 "                   the article as they come in the page (not their forms)\n"
                 "  --precision      with --article: lean to a shorter, cleaner text where a\n"
                 "                   block could go either way\n"
                 "  --recall         with --article: lean to a fuller text, keeping more of\n"
                 "                   the content's neighbours (not with --precision)\n"
                 "  -v, --verbose    with --article: say on standard error which content each\n"
                 "                   page gave (its article, its largest content region, or\n"
                 "                   the whole body) and its length, then the rules that\n"
                 "                   decided, a line each\n"
                 "  --markdown       write the readable text (or with --article, the article)\n"
                 "                   as Markdown: headings, lists, quotes, emphasis, code,\n"
                 "                   links and images marked as CommonMark marks them\n"
                 "  --no-images      with --markdown: leave the images out\n"
                 "  --links          with --readable or --article: number the links and list\n"
                 "                   their addresses (with --markdown: reference links)\n"
                 "  --width N        with --readable or --article: break lines longer than N\n"
                 "                   columns (a wide character takes two), at spaces and\n"
                 "                   between Chinese, Japanese and Korean characters\n"
                 "  --warc           the inputs are web archives (WARC 1.0 or 1.1, plain or\n"
                 "                   gzip; \"-\" for standard input): every HTML page in them\n"
                 "                   is converted, and the texts written as records to -o PATH\n"
                 "                   (gzip when PATH ends in .gz) or standard output\n"
                 "  --metadata       write what the page says about itself (title, author,\n"
                 "                   date, modified, site, language, description, url,\n"
                 "                   image) as YAML front matter before its text (in each\n"
                 "                   record's metadata with --warc and --format jsonl)\n"
                 "  --format FORMAT  \"json\": write one JSON object per page instead of its\n"
                 "                   text: the fields --metadata writes, \"text\" and\n"
                 "                   \"source\" (the file, \"-\" or the address); \"jsonl\":\n"
                 "                   the same object on one line, for several pages in one\n"
                 "                   stream (--separate, addresses to standard output).\n"
                 "                   With --warc: \"wet\" (WARC conversion records, the\n"
                 "                   default) or \"jsonl\" (one JSON object per line)\n"
                 "  --summary PATH   with --warc: also write the run's counts to PATH as one\n"
                 "                   JSON object, for programs that run quillan-convert\n"
                 "  --url ADDRESS    resolve the page's links and addresses against ADDRESS\n"
                 "                   (an absolute http:// or https:// address), as if the page\n"
                 "                   had been fetched from there (one FILE or \"-\" only)\n"
                 "  -h, --help       show this help and exit\n"
                 "  --version        show the version and exit\n"
                 "\n"
                 "A page is given up after redirects more than 10 in a row, 60 seconds without\n"
                 "data, or 15 minutes in all.\n"
                 "\n"
                 "Exit status: 0 when every input converted, 1 when any failed, 2 for a usage error.\n",
                 ProgramName);
}

} // namespace quillan::cli
