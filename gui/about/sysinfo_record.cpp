// sysinfo-record: makes the About box's "System Info..." button start a
// System Information tool that is really there.
//
//   sysinfo-record PROGRAM
//
// Records PROGRAM (an absolute path to an executable) under the tool's
// first registry location, HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared
// Tools\MSINFO, value "PATH", when that value is missing, cannot be read,
// or names a program that is no longer there. A value that still starts a
// program is never replaced. Exit status 0 when the registry is left with a
// working value, 1 otherwise, with the reason on standard error.
#include "gui/about/SysInfo.h"

#include <iostream>
#include <string>

using namespace platform;

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::cerr << "usage: sysinfo-record PROGRAM\n";
        return 1;
    }
    const std::string program = argv[1];

    std::string current;
    if (SysInfo::GetKeyValue(HKEY_LOCAL_MACHINE, SysInfo::ToolKey, SysInfo::ToolValue, current) == VARIANT_TRUE &&
        SysInfo::NamesExistingProgram(current)) {
        std::cout << "System Information tool: " << current << " (kept)\n";
        return 0;
    }

    if (program.empty() || program.front() != '/' || !SysInfo::NamesExistingProgram(program)) {
        std::cerr << "sysinfo-record: " << program << " is not an executable file given by its full path\n";
        return 1;
    }
    const LONG status = RegWriteString(HKEY_LOCAL_MACHINE, SysInfo::ToolKey, SysInfo::ToolValue, program);
    if (status != ERROR_SUCCESS) {
        std::cerr << "sysinfo-record: cannot write to the registry: " << RegStatusText(status);
        const std::string detail = RegLastErrorMessage();
        if (!detail.empty())
            std::cerr << " (" << detail << ")";
        std::cerr << '\n';
        return 1;
    }
    std::cout << "System Information tool: " << program << " (recorded)\n";
    return 0;
}
