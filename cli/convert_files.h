#pragma once
// quillan-convert's file road, shared by the program and its network
// program (convert_net_program.h): one file or standard input converted into its
// text, and the tests that tell which road a command line takes. Plain C++.

#include "cli/convert_options.h"
#include "convert/converter.h"
#include "text/conversion.h"

#include <optional>
#include <string>

namespace quillan::cli {

// Converts the input `in` (a file, or "-" for standard input) into `*out`
// ("-": standard output), or, without `out`, into its text beside it
// (standard input: to standard output), in the kind of text the options
// say. Refuses a standard output that is the input file itself. Throws
// ConversionError.
text::Result convertOne(const std::string &in, const std::string *out, const text::Options &options);
// As convertOne(); with `verbose` in article mode, answers which content the
// page gave, "INPUT: " and text::article::tell() ("standard input" for "-"),
// once the text is complete; else an empty string.
std::string convertOneTelling(const std::string &in, const std::string *out, const text::Options &options,
                              bool verbose);

// Prints "quillan-convert: MESSAGE" and the hint to --help on standard
// error; returns the exit status of a usage error (2).
int usageError(const std::string &message);

// Whether an input is an address (a fetched one or a refused scheme).
bool hasAddress(const Options &options);
// Whether "-" is among the inputs.
bool readsStandardInput(const Options &options);
// Whether the command line needs the runner of addresses and batches: an
// address, a list, an output folder, --separate, or several inputs none of
// which is standard input. The rest is converted one input after the other
// on the file road.
bool needsRunner(const Options &options);

} // namespace quillan::cli
