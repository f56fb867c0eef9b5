#pragma once
// Running many inputs at once: files through the converter on worker
// threads, addresses through conversion jobs (fetch, page file, conversion),
// at most `jobs` at a time, with every result delivered in input order.
// Qt Core and Network; no windows.
//
// Where each text goes:
//   a file           to a new file in `outDir` named by the text path rule
//                    (a name in use gets a suffix, nothing is overwritten);
//                    else beside it (the text path rule), or, with
//                    --separate, to standard output after a header line
//                    "==> INPUT <==";
//   an address       to `output` (one input only; "-" is standard output);
//                    else to a new file in `outDir` named after the address
//                    (a name in use gets a suffix, nothing is overwritten);
//                    else to standard output, after the header line with
//                    --separate.
// A failure is named on standard error when its turn comes in input order
// and never stops the others. So standard output, standard error, the files
// made and the exit status are the same for any number of jobs.
//
// Memory: at most a few times `jobs` inputs are taken from the source ahead
// of the oldest one not yet delivered; a text waiting for its turn waits on
// disk, in the private folder of fetched pages. Once the texts waiting there
// come to 64 MiB, no new input is started until the oldest has been
// delivered: behind a slow input at most 64 MiB wait, plus what the
// conversions already under way make.
//
// Signals: SIGINT, SIGTERM and SIGHUP stop the run cleanly: no new input is
// started, fetches are cancelled, conversions under way are let finish
// (their texts are complete or not there at all), every page file and
// waiting text is removed, and the process then ends by that signal. A
// second signal while this happens ends it at once. A closed standard
// output (SIGPIPE) stops the run the same way.

#include "cli/convert_input_list.h"
#include "net/ConversionJob.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quillan::net {

// Converts the file input into its text beside it (output null) or into
// *output; throws quillan::convert::ConversionError. The file road of the command
// line, shared with its one-input form. Answers a remark for standard error
// once the text is delivered (--verbose), or nothing.
using FileConversion = std::function<std::string(const std::string &input, const std::string *output)>;

struct RunSettings {
    unsigned jobs = 1;
    std::optional<std::string> output;
    std::optional<std::string> outDir;
    bool separate = false;
    bool quiet = false;
    FetchLimits limits;
    // The kind of text for fetched pages (files get theirs from the
    // FileConversion).
    text::Options text;
    // In article mode: each fetched page's choice of content is told on
    // standard error once its text is delivered (text::article::tell()).
    bool verbose = false;
};

// A list of inputs, open for reading, and its name for messages.
struct InputList {
    base::UniqueFd fd;
    std::string name;
};

// Runs `inputs`, then those of `list` as it is read, and returns the exit
// status: 0 when all were converted, 1 when any failed. Makes the run's
// QCoreApplication from argc and argv; none may exist yet.
//
// Open files: the soft limit is first raised to the hard one; when even
// that does not leave room for settings.jobs conversions at a time
// (jobsWithinFileLimit), fewer run at a time, and standard error says so
// once, before anything else.
// How many of `jobs` conversions at a time fit under fileLimit open files
// with filesOpen already open: at least 1, at most jobs (all of them when
// the limit is unknown, 0).
unsigned jobsWithinFileLimit(unsigned jobs, std::uint64_t fileLimit, std::uint64_t filesOpen);

int runBatch(int argc, char **argv, const RunSettings &settings, std::vector<std::string> inputs,
             std::optional<InputList> list, const FileConversion &convertFile);

} // namespace quillan::net
