// reg: the console registry tool.
//
//   reg query  KEY [/v NAME | /ve] [/s]
//   reg add    KEY [/v NAME | /ve] [/t TYPE] [/s SEP] [/d DATA] [/f]
//   reg delete KEY [/v NAME | /ve | /va] [/f]
//   reg import FILE
//   reg export KEY FILE [/y]
//
// KEY starts with a root: HKLM, HKCU, HKCR or the full names. Switches may
// also be written with '-'. Exit status 0 on success, 1 on failure with a
// message on stderr.
#include "platform/registry/registry.h"

#include "base/hex.h"
#include "base/littleendian.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <strings.h>

using namespace platform;

namespace {

const char *const kDone = "The operation completed successfully.";

struct Args {
    std::string command;
    std::vector<std::string> positional;
    std::optional<std::string> valueName; // /v NAME; "" for /ve
    bool allValues = false;               // /va
    std::optional<std::string> type;      // /t
    std::optional<std::string> data;      // /d
    std::string separator = "\\0";        // /s with add
    bool force = false;                   // /f or /y
    bool recurse = false;                 // /s with query
};

int failure(const std::string &message)
{
    std::cerr << "ERROR: " << message << '\n';
    return 1;
}

// The status in words plus whatever the registry said about it.
std::string describe(LONG status)
{
    std::string text = RegStatusText(status);
    const std::string detail = RegLastErrorMessage();
    if (detail.starts_with(text))
        return detail;
    if (!detail.empty())
        text += ": " + detail;
    return text;
}

// Reports a failed registry call: a missing key or value in the words reg
// always uses for it, anything else as describe() puts it.
int failureOf(LONG status)
{
    return failure(status == ERROR_FILE_NOT_FOUND ? "The system was unable to find the specified registry key or value."
                                                  : describe(status));
}

bool isSwitch(const std::string &a, const char *name)
{
    return a.size() >= 2 && (a[0] == '/' || a[0] == '-') && strcasecmp(a.c_str() + 1, name) == 0;
}

bool parseArgs(int argc, char **argv, Args &out, std::string &error)
{
    if (argc < 2) {
        error = "no command given; use query, add, delete, import or export";
        return false;
    }
    out.command = argv[1];
    for (char &c : out.command)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&](std::string &dest) {
            if (i + 1 >= argc) {
                error = "the switch " + a + " needs an argument";
                return false;
            }
            dest = argv[++i];
            return true;
        };
        std::string v;
        if (isSwitch(a, "v")) {
            if (!next(v))
                return false;
            out.valueName = v;
        } else if (isSwitch(a, "ve")) {
            out.valueName = std::string();
        } else if (isSwitch(a, "va")) {
            out.allValues = true;
        } else if (isSwitch(a, "t")) {
            if (!next(v))
                return false;
            out.type = v;
        } else if (isSwitch(a, "d")) {
            if (!next(v))
                return false;
            out.data = v;
        } else if (isSwitch(a, "s")) {
            if (out.command == "add") {
                if (!next(out.separator))
                    return false;
            } else {
                out.recurse = true;
            }
        } else if (isSwitch(a, "f") || isSwitch(a, "y")) {
            out.force = true;
        } else if (a.size() > 1 && a.size() <= 3 && (a[0] == '/' || a[0] == '-')) {
            // Short unknown switches are mistakes; longer words starting with
            // '/' are file paths.
            error = "unknown switch " + a;
            return false;
        } else {
            out.positional.push_back(a);
        }
    }
    return true;
}

// "HKLM\Software\X" into the root and the rest.
bool splitKey(const std::string &full, HKEY &root, std::string &sub)
{
    const size_t slash = full.find('\\');
    root = RegRootFromName(std::string_view(full).substr(0, slash));
    sub = slash == std::string::npos ? std::string() : full.substr(slash + 1);
    return root != nullptr;
}

// The key a command names: its root and the rest of its path, and (once
// opened) the key itself.
struct NamedKey {
    HKEY root = nullptr;
    std::string sub;
    RegKey key;
};

// Parses `full` into `out`; returns 0, or reg's exit status after saying the
// name is not a key.
int parseKeyName(const std::string &full, NamedKey &out)
{
    if (!splitKey(full, out.root, out.sub))
        return failure("invalid key name " + full);
    return 0;
}

// Parses `full` and opens the key it names with `access`; returns 0, or
// reg's exit status after saying what went wrong (a missing key included).
int openKeyNamed(const std::string &full, REGSAM access, NamedKey &out)
{
    if (const int status = parseKeyName(full, out))
        return status;
    if (const LONG st = out.key.open(out.root, out.sub, access); st != ERROR_SUCCESS)
        return failureOf(st);
    return 0;
}

bool confirm(const std::string &question)
{
    std::cout << question << " (Yes/No)? " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer))
        return false;
    for (char &c : answer)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return answer == "y" || answer == "yes";
}

std::string typeName(DWORD type)
{
    switch (type) {
    case REG_NONE: return "REG_NONE";
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_DWORD_BIG_ENDIAN: return "REG_DWORD_BIG_ENDIAN";
    case REG_LINK: return "REG_LINK";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    case REG_QWORD: return "REG_QWORD";
    default: {
        char buf[24];
        std::snprintf(buf, sizeof buf, "0x%x", type);
        return buf;
    }
    }
}

std::optional<DWORD> typeFromName(const std::string &name)
{
    for (DWORD t :
         {REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_DWORD_BIG_ENDIAN, REG_MULTI_SZ, REG_QWORD})
        if (strcasecmp(typeName(t).c_str(), name.c_str()) == 0)
            return t;
    return std::nullopt;
}

std::string hexText(const std::vector<BYTE> &data)
{
    std::string out;
    char buf[4];
    for (BYTE b : data) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        out += buf;
    }
    return out;
}

std::string dataText(const RegValue &v)
{
    char buf[32];
    switch (v.type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        std::string s(v.data.begin(), v.data.end());
        return s.substr(0, s.find('\0'));
    }
    case REG_MULTI_SZ: {
        std::string s(v.data.begin(), v.data.end());
        while (!s.empty() && s.back() == '\0')
            s.pop_back();
        std::string out;
        for (char c : s)
            out += c == '\0' ? std::string("\\0") : std::string(1, c);
        return out;
    }
    case REG_DWORD:
        if (v.data.size() == 4) {
            std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(base::ReadLe(v.data.data(), v.data.size())));
            return buf;
        }
        break;
    case REG_QWORD:
        if (v.data.size() == 8) {
            std::snprintf(buf, sizeof buf, "0x%llx",
                          static_cast<unsigned long long>(base::ReadLe(v.data.data(), v.data.size())));
            return buf;
        }
        break;
    default: break;
    }
    return hexText(v.data);
}

void printValue(const RegValue &v)
{
    std::cout << "    " << (v.name.empty() ? "(Default)" : v.name) << "    " << typeName(v.type) << "    "
              << dataText(v) << '\n';
}

// Builds the bytes of a value from the /t and /d arguments.
bool valueBytes(DWORD type, const std::string &text, const std::string &separator, std::vector<BYTE> &out,
                std::string &error)
{
    out.clear();
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        out.assign(text.begin(), text.end());
        out.push_back(0);
        return true;
    case REG_MULTI_SZ: {
        size_t start = 0;
        while (!text.empty()) {
            const size_t at = separator.empty() ? std::string::npos : text.find(separator, start);
            const std::string item = text.substr(start, at == std::string::npos ? at : at - start);
            out.insert(out.end(), item.begin(), item.end());
            out.push_back(0);
            if (at == std::string::npos)
                break;
            start = at + separator.size();
        }
        out.push_back(0);
        return true;
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
    case REG_QWORD: {
        const char *s = text.c_str();
        char *end = nullptr;
        errno = 0;
        const unsigned long long n = text.empty() ? 0 : std::strtoull(s, &end, 0);
        const unsigned long long limit = type == REG_QWORD ? ~0ULL : 0xFFFFFFFFULL;
        if ((!text.empty() && (*end != '\0' || text[0] == '-')) || errno == ERANGE || n > limit) {
            error = "'" + text + "' is not a valid number for " + typeName(type);
            return false;
        }
        if (type == REG_QWORD) {
            const auto bytes = base::LeBytes<8>(n);
            out.assign(bytes.begin(), bytes.end());
        } else {
            const auto bytes = base::LeBytes<4>(n);
            out.assign(bytes.begin(), bytes.end());
            if (type == REG_DWORD_BIG_ENDIAN)
                std::reverse(out.begin(), out.end());
        }
        return true;
    }
    default: {
        if (text.size() % 2 != 0) {
            error = "binary data needs an even number of hexadecimal digits";
            return false;
        }
        for (size_t i = 0; i < text.size(); i += 2) {
            const int byte = base::HexByteValue(text[i], text[i + 1]);
            if (byte < 0) {
                error = "'" + text + "' is not hexadecimal data";
                return false;
            }
            out.push_back(static_cast<BYTE>(byte));
        }
        return true;
    }
    }
}

// ---------------------------------------------------------------------------

// Prints the key's values and its sub-keys (with /s, their whole trees, in
// the order a depth-first walk meets them, however deep they go).
void queryTree(HKEY key, const std::string &fullName, bool recurse)
{
    struct Pending {
        RegKey owned; // empty for the key the walk starts at
        HKEY key;
        std::string name;
    };
    std::vector<Pending> pending;
    pending.push_back({RegKey(), key, fullName});
    while (!pending.empty()) {
        Pending current = std::move(pending.back());
        pending.pop_back();
        std::cout << '\n' << current.name << '\n';
        for (const RegValue &v : RegValues(current.key, ""))
            printValue(v);
        const std::vector<std::string> children = RegSubKeyNames(current.key, "");
        if (!recurse) {
            if (!children.empty())
                std::cout << '\n';
            for (const std::string &child : children)
                std::cout << current.name << '\\' << child << '\n';
            continue;
        }
        for (auto it = children.rbegin(); it != children.rend(); ++it) {
            RegKey sub;
            if (sub.open(current.key, *it, KEY_READ) == ERROR_SUCCESS) {
                const HKEY h = sub.get();
                pending.push_back({std::move(sub), h, current.name + '\\' + *it});
            }
        }
    }
}

int cmdQuery(const Args &a)
{
    if (a.positional.size() != 1)
        return failure("usage: reg query KEY [/v NAME | /ve] [/s]");
    NamedKey named;
    if (const int status = openKeyNamed(a.positional[0], KEY_READ, named))
        return status;
    std::string fullName = RegRootName(named.root);
    if (!named.sub.empty())
        fullName += '\\' + named.sub;
    if (a.valueName) {
        RegValue v;
        const LONG st = RegGetValue(named.key.get(), "", *a.valueName, v);
        if (st != ERROR_SUCCESS)
            return failureOf(st);
        std::cout << '\n' << fullName << '\n';
        printValue(v);
        std::cout << '\n';
        return 0;
    }
    queryTree(named.key.get(), fullName, a.recurse);
    std::cout << '\n';
    return 0;
}

int cmdAdd(const Args &a)
{
    if (a.positional.size() != 1)
        return failure("usage: reg add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]");
    NamedKey named;
    if (const int status = parseKeyName(a.positional[0], named))
        return status;
    DWORD type = REG_SZ;
    if (a.type) {
        const auto t = typeFromName(*a.type);
        if (!t)
            return failure("unknown type " + *a.type);
        type = *t;
    }
    std::vector<BYTE> bytes;
    std::string error;
    if (!valueBytes(type, a.data.value_or(""), a.separator, bytes, error))
        return failure(error);
    RegKey &key = named.key;
    if (const LONG st = key.create(named.root, named.sub, KEY_ALL_ACCESS); st != ERROR_SUCCESS)
        return failure(describe(st));
    if (!a.valueName && !a.data && !a.type) {
        std::cout << kDone << '\n';
        return 0;
    }
    const std::string name = a.valueName.value_or("");
    if (!a.force && RegQueryValueEx(key.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
        !confirm("Value " + (name.empty() ? std::string("(Default)") : name) + " exists, overwrite")) {
        return failure("The operation was cancelled.");
    }
    if (const LONG st = RegSetValueEx(key.get(), name.c_str(), 0, type, bytes.data(), static_cast<DWORD>(bytes.size()));
        st != ERROR_SUCCESS)
        return failure(describe(st));
    std::cout << kDone << '\n';
    return 0;
}

int cmdDelete(const Args &a)
{
    if (a.positional.size() != 1)
        return failure("usage: reg delete KEY [/v NAME | /ve | /va] [/f]");
    NamedKey named;
    if (const int status = openKeyNamed(a.positional[0], KEY_ALL_ACCESS, named))
        return status;
    RegKey &key = named.key;
    if (a.valueName) {
        const std::string &name = *a.valueName;
        if (!a.force && !confirm("Delete the registry value " + (name.empty() ? std::string("(Default)") : name)))
            return failure("The operation was cancelled.");
        if (const LONG st = RegDeleteValue(key.get(), name.c_str()); st != ERROR_SUCCESS)
            return failureOf(st);
    } else if (a.allValues) {
        if (!a.force && !confirm("Delete all values under the registry key " + a.positional[0]))
            return failure("The operation was cancelled.");
        for (const RegValue &v : RegValues(key.get(), ""))
            if (const LONG st = RegDeleteValue(key.get(), v.name.c_str()); st != ERROR_SUCCESS)
                return failure(describe(st));
    } else {
        if (named.sub.empty())
            return failure("a root key cannot be deleted");
        if (!a.force && !confirm("Permanently delete the registry key " + a.positional[0]))
            return failure("The operation was cancelled.");
        key.reset();
        if (const LONG st = RegDeleteTree(named.root, named.sub.c_str()); st != ERROR_SUCCESS)
            return failure(describe(st));
    }
    std::cout << kDone << '\n';
    return 0;
}

int cmdImport(const Args &a)
{
    if (a.positional.size() != 1)
        return failure("usage: reg import FILE");
    if (const LONG st = RegImportFile(a.positional[0]); st != ERROR_SUCCESS)
        return failure(describe(st));
    std::cout << kDone << '\n';
    return 0;
}

int cmdExport(const Args &a)
{
    if (a.positional.size() != 2)
        return failure("usage: reg export KEY FILE [/y]");
    NamedKey named;
    if (const int status = parseKeyName(a.positional[0], named))
        return status;
    const std::string &file = a.positional[1];
    std::error_code ec;
    if (!a.force && std::filesystem::exists(file, ec) && !confirm("File " + file + " already exists. Overwrite"))
        return failure("The operation was cancelled.");
    if (const LONG st = RegExportFile(named.root, named.sub.c_str(), file); st != ERROR_SUCCESS)
        return failureOf(st);
    std::cout << kDone << '\n';
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    Args args;
    std::string error;
    if (!parseArgs(argc, argv, args, error))
        return failure(error);
    if (args.command == "query")
        return cmdQuery(args);
    if (args.command == "add")
        return cmdAdd(args);
    if (args.command == "delete")
        return cmdDelete(args);
    if (args.command == "import")
        return cmdImport(args);
    if (args.command == "export")
        return cmdExport(args);
    return failure("unknown command '" + args.command + "'; use query, add, delete, import or export");
}
