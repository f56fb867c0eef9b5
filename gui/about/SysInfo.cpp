#include "gui/about/SysInfo.h"

#include "platform/process/command_line.h"
#include "platform/process/spawn.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string_view>
#include <system_error>

#include <unistd.h>

namespace SysInfo {

namespace {

using namespace platform;

bool isExistingFile(const std::string &path)
{
    if (path.empty() || path.find('\0') != std::string::npos)
        return false;
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

bool isExecutableFile(const std::string &path)
{
    return isExistingFile(path) && ::access(path.c_str(), X_OK) == 0;
}

// A bare program name looked up in PATH, as the start does.
bool foundInPath(const std::string &name)
{
    const char *search = std::getenv("PATH");
    std::string_view rest = search && *search ? search : "/usr/local/bin:/usr/bin:/bin";
    for (;;) {
        const std::size_t colon = rest.find(':');
        std::string dir(rest.substr(0, colon));
        if (dir.empty())
            dir = ".";
        if (isExecutableFile(dir + "/" + name))
            return true;
        if (colon == std::string_view::npos)
            return false;
        rest.remove_prefix(colon + 1);
    }
}

std::string hexDigits(const BYTE *bytes, DWORD count)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string text = "&h";
    for (DWORD i = count; i > 0; --i) {
        text.push_back(Digits[bytes[i - 1] >> 4]);
        text.push_back(Digits[bytes[i - 1] & 0x0F]);
    }
    return text;
}

// Why the value of a location could not be read, when there is a reason to
// tell: it is longer than the read buffer. Empty otherwise.
std::string unreadableReason(const char *keyName, const char *valueName)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, KeyAccess, &key) != ERROR_SUCCESS)
        return {};
    DWORD size = 0;
    const LONG status = RegQueryValueExA(key, valueName, nullptr, nullptr, nullptr, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || size <= ReadBufferSize)
        return {};
    return "The registry value " + std::string(valueName) + " of HKEY_LOCAL_MACHINE\\" + keyName + " holds " +
           std::to_string(size) + " bytes, more than the " + std::to_string(ReadBufferSize) + " that can be read.";
}

Outcome notStarted(std::vector<std::string> command, std::string reason)
{
    return Outcome{false, std::move(command), std::move(reason)};
}

// Finds the tool and starts it; the outcome says what happened.
Outcome findAndStart()
{
    std::string path;
    std::vector<std::string> command;
    if (GetKeyValue(HKEY_LOCAL_MACHINE, ToolKey, ToolValue, path) == VARIANT_TRUE) {
        command = ToolCommand(path);
        if (command.empty())
            return notStarted({}, "The registry names no program to start.");
    } else if (GetKeyValue(HKEY_LOCAL_MACHINE, FolderKey, FolderValue, path) == VARIANT_TRUE) {
        const std::string file = path + ToolFileName;
        if (!isExistingFile(file))
            return notStarted({file}, "There is no file " + file + ".");
        command = {file};
    } else {
        std::string reason = unreadableReason(ToolKey, ToolValue);
        if (const std::string second = unreadableReason(FolderKey, FolderValue); !second.empty())
            reason += (reason.empty() ? "" : "\n") + second;
        return notStarted({}, reason);
    }

    if (const int error = StartDetached(command); error != 0)
        return notStarted(command, command.front() + ": " + std::strerror(error));
    return Outcome{true, std::move(command), std::string()};
}

} // namespace

VARIANT_BOOL GetKeyValue(HKEY KeyRoot, const std::string &KeyName, const std::string &SubKeyRef, std::string &KeyVal)
{
    HKEY key = nullptr;
    VARIANT_BOOL result = VARIANT_FALSE;
    if (RegOpenKeyExA(KeyRoot, KeyName.c_str(), 0, KeyAccess, &key) != ERROR_SUCCESS) {
        KeyVal.clear();
    } else {
        std::array<BYTE, ReadBufferSize> buffer{};
        DWORD size = ReadBufferSize;
        DWORD type = REG_NONE;
        if (RegQueryValueExA(key, SubKeyRef.c_str(), nullptr, &type, buffer.data(), &size) != ERROR_SUCCESS ||
            size == 0) {
            // A value with no data has no text to give: not read.
            KeyVal.clear();
        } else {
            const DWORD kept = buffer[size - 1] == 0 ? size - 1 : size;
            if (type == REG_SZ)
                KeyVal.assign(reinterpret_cast<const char *>(buffer.data()), kept);
            else if (type == REG_DWORD)
                KeyVal = hexDigits(buffer.data(), kept);
            result = VARIANT_TRUE;
        }
    }
    if (key)
        RegCloseKey(key);
    return result;
}

std::vector<std::string> ToolCommand(const std::string &value)
{
    if (isExistingFile(value))
        return {value};
    if (auto words = SplitCommandLine(value))
        return std::move(*words);
    return {};
}

bool NamesExistingProgram(const std::string &value)
{
    const std::vector<std::string> command = ToolCommand(value);
    if (command.empty() || command.front().empty())
        return false;
    const std::string &program = command.front();
    return program.find('/') != std::string::npos ? isExecutableFile(program) : foundInPath(program);
}

Outcome StartSysInfo(const ShowUnavailable &showUnavailable)
{
    Outcome outcome;
    try {
        outcome = findAndStart();
    } catch (const std::exception &e) {
        outcome = notStarted({}, e.what());
    }
    if (!outcome.started)
        showUnavailable(UnavailableMessage, outcome.reason);
    return outcome;
}

} // namespace SysInfo
