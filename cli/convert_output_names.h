#pragma once
// Naming the texts of fetched addresses and of files in an output folder, and creating
// them without ever overwriting a file. Plain C++.

#include "base/fd_io.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace quillan::cli {

// The file name for the text of address: its host (and port), path and
// query, every run of characters other than letters, digits, ".", "-" and
// "_" turned into one "_", the last path segment cut after its first dot as
// the text path rule cuts a file name, and ".TXT" appended. At most about
// 200 bytes. Never empty, never hidden (no leading dot):
//   http://example.com/              -> example.com.TXT
//   https://example.com/docs/a.html  -> example.com_docs_a.TXT
//   http://127.0.0.1:8080/q.php?id=3 -> 127.0.0.1_8080_q_id_3.TXT
// `extension` (convert::textExtensionFor) replaces "TXT": "md" for Markdown.
std::string textNameForAddress(const std::string &address, std::string_view extension = "TXT");

// The file name for the text of the file input `path` in an output folder:
// the name its text would have beside it (the text path rule, textPathFor),
// without the folder: "pages/report.final.html" -> "report.TXT".
std::string textNameForFile(const std::string &path, std::string_view extension = "TXT");

// The name with a suffix before its extension: ("a.TXT", 2) -> "a-2.TXT".
std::string numberedName(const std::string &name, int number);

// Creates a new file in folder, named name, or name-2, name-3 ... when the
// name is taken (O_EXCL: nothing that exists is opened, followed or
// touched). Returns the open file and its path in *path; an empty UniqueFd
// with errno in *error on failure.
//
// *number (when given) is where to start: 1 for the name itself, n for
// name-n; it is set to the number used, so that a caller making many files
// of one name can go on from there instead of trying every taken name again.
base::UniqueFd createUniqueFile(const std::filesystem::path &folder, const std::string &name,
                                std::filesystem::path *path, int *error, int *number = nullptr);

} // namespace quillan::cli
