#pragma once
// Finding and starting the system's System Information tool, for the About
// box's "System Info..." button. Plain C++ over the registry stand-in; the
// About box supplies the message box.
//
// The tool is found through two registry locations under
// HKEY_LOCAL_MACHINE, tried in this order:
//   1. "SOFTWARE\Microsoft\Shared Tools\MSINFO", value "PATH": the tool's
//      program, started as it stands (no existence check first);
//   2. "SOFTWARE\Microsoft\Shared Tools Location", value "MSINFO": the
//      tool's folder, to which "/MSINFO32.EXE" is appended; that file must
//      exist.
// On Linux `make run` records HardInfo under location 1 (see
// scripts/record-sysinfo.sh). Nothing here writes to the registry.

#include "platform/com/com.h"
#include "platform/registry/registry.h"

#include <functional>
#include <string>
#include <vector>

namespace SysInfo {

using platform::HKEY;
using platform::VARIANT_BOOL;

// Rights asked for when a key is opened: query and set value, create and
// enumerate sub-keys, notify, create link, read control.
inline constexpr platform::REGSAM KeyAccess = 0x2003F;
// Bytes read from one value; a longer value cannot be read.
inline constexpr platform::DWORD ReadBufferSize = 1024;

inline constexpr char ToolKey[] = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
inline constexpr char ToolValue[] = "PATH";
inline constexpr char FolderKey[] = "SOFTWARE\\Microsoft\\Shared Tools Location";
inline constexpr char FolderValue[] = "MSINFO";
inline constexpr char ToolFileName[] = "/MSINFO32.EXE";

inline constexpr char UnavailableMessage[] = "System Information Is Unavailable At This Time";

// Reads the value SubKeyRef of the key KeyName below KeyRoot as text.
// Returns VARIANT_TRUE when the key was opened and the value read, else
// VARIANT_FALSE with KeyVal emptied. A value that does not fit 1024 bytes,
// or has no data at all, counts as not read.
//
// The text: the bytes read, less one terminating zero byte when the last
// byte is zero. REG_SZ: those bytes. REG_DWORD: "&h" followed by the kept
// bytes from the last to the first, two upper-case hexadecimal digits each
// (bytes 2A 01 00 00 give "&h00012A"). Any other type: KeyVal stays as it
// came in, and the result is still VARIANT_TRUE.
VARIANT_BOOL GetKeyValue(HKEY KeyRoot, const std::string &KeyName, const std::string &SubKeyRef, std::string &KeyVal);

// The words a location-1 value starts: the value itself when it names an
// existing file (so an unquoted path with blanks works), otherwise the
// value split as a shell splits a command line ("/opt/my tool/run" -x).
// Empty for an empty value or one with an open quote.
std::vector<std::string> ToolCommand(const std::string &value);

// True when a location-1 value would start a program that is there: the
// first word of ToolCommand names an existing executable file (a bare name
// is looked up in PATH).
bool NamesExistingProgram(const std::string &value);

struct Outcome {
    bool started = false;
    std::vector<std::string> command; // what was started, or tried
    std::string reason;               // why nothing started, when known (a value too
                                      // long to read included); else empty
};

// Shows the unavailable message; `reason` (maybe empty) goes on a line
// below it.
using ShowUnavailable = std::function<void(const std::string &message, const std::string &reason)>;

// Finds the tool (location 1, then location 2) and starts it detached,
// without waiting. When it cannot be found or started, for any reason,
// calls showUnavailable(UnavailableMessage, reason) and returns after it.
Outcome StartSysInfo(const ShowUnavailable &showUnavailable);

} // namespace SysInfo
