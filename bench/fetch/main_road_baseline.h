#pragma once
// The baseline of the main road's benchmarks: a page fetched with
// `curl -s -o FILE` and converted with `quillan-convert FILE`, each run as a
// child process and timed from outside, as a shell would run them. Plain
// C++; the page is served by testsupport::HttpTestServer in the same run.
#include <filesystem>
#include <string>
#include <vector>

namespace benchfetch {

struct Timing {
    bool ok = false;    // the child ran and exited with status 0
    double seconds = 0; // wall time
    long peakKb = 0;    // the child's peak resident memory
};

// Runs argv (looked up in PATH), its output to /dev/null, and waits.
Timing runTimed(const std::vector<std::string> &argv);

// Writes a benchmark page of about `megabytes` MB at `page`, with CR LF or
// LF line ends, with `bench_converter --page` (the converter benchmark's
// page, so both benchmarks convert the same kind of text).
bool writeBenchPage(const std::filesystem::path &benchConverter, const std::filesystem::path &page, unsigned megabytes,
                    bool crlf);

struct Baseline {
    Timing fetch;   // curl -s -o <folder>/baseline.html <url>
    Timing convert; // quillan-convert <folder>/baseline.html
    bool ok() const { return fetch.ok && convert.ok; }
    double seconds() const { return fetch.seconds + convert.seconds; }
};

// One baseline run; the page and text files are removed afterwards.
Baseline curlAndConvert(const std::string &url, const std::filesystem::path &folder,
                        const std::filesystem::path &quillanConvert);

} // namespace benchfetch
