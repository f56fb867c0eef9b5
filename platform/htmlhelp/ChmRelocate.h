#pragma once

// Help files as chmcmd compiles them name each context id's topic by the
// absolute path of the folder it ran in, and carry the moment they were
// compiled. The copy written here names every topic relative to the file's
// root ("html/index.htm", as Microsoft's compiler stores it), has no time
// stamps and stores every object uncompressed, so the same topics compiled
// in any folder at any time give the same bytes.

#include <filesystem>

namespace platform::htmlhelp {

class ChmFile;

// Writes the copy of `compiled` to `output` (through a temporary file, so a
// failure leaves no half-written file). Throws std::runtime_error, naming
// the reason, when a context id names a topic the file does not hold, when
// the file has tables that point into the topic-name table other than the
// context map (#TOPICS, #URLTBL, #URLSTR, #WINDOWS), or when an object kept
// still names the folder the file was compiled in.
void writeRelocatableCopy(const ChmFile &compiled, const std::filesystem::path &output);

} // namespace platform::htmlhelp
