// Registry timings: reading a value through the cache (the whole
// open / query / close of a one-value lookup, and a query on an open handle),
// the first read after another process changed the hive, and a write.
// Runs against a throw-away registry folder.
#include "platform/registry/registry.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace platform;
using Clock = std::chrono::steady_clock;

namespace {

template <typename F>
double microsecondsPerCall(int calls, F &&f)
{
    const auto start = Clock::now();
    for (int i = 0; i < calls; ++i)
        f(i);
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / calls;
}

bool report(const char *what, double us, double targetUs)
{
    if (targetUs <= 0) {
        std::printf("%-52s %10.2f us\n", what, us);
        return true;
    }
    const bool met = us < targetUs;
    std::printf("%-52s %10.2f us  (target < %.0f us: %s)\n", what, us, targetUs, met ? "met" : "NOT met");
    return met;
}

} // namespace

int main()
{
    std::string dir = (std::filesystem::temp_directory_path() / "quillan-bench-reg-XXXXXX").string();
    if (!mkdtemp(dir.data()))
        return 1;
    setenv("QUILLAN_REGISTRY_DIR", dir.c_str(), 1);

    // A hive of realistic size: a few hundred classes besides the one read.
    for (int i = 0; i < 300; ++i)
        RegWriteString(HKEY_CLASSES_ROOT, "CLSID\\{" + std::to_string(i) + "}\\InprocServer32", "", "/usr/lib/x.so");
    RegWriteString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", "/usr/bin/msinfo32");

    bool ok = true;
    volatile DWORD sink = 0;
    const double lookup = microsecondsPerCall(20000, [&](int) {
        HKEY h = nullptr;
        BYTE buf[1024] = {};
        DWORD type = 0, size = sizeof buf;
        RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", 0, 0x2003F, &h);
        RegQueryValueEx(h, "PATH", nullptr, &type, buf, &size);
        RegCloseKey(h);
        sink = sink + size;
    });
    ok = report("cached read: open + query + close", lookup, 50) && ok;

    HKEY h = nullptr;
    RegOpenKeyEx(HKEY_CLASSES_ROOT, "CLSID\\{150}\\InprocServer32", 0, KEY_READ, &h);
    const double query = microsecondsPerCall(50000, [&](int) {
        BYTE buf[256];
        DWORD size = sizeof buf;
        RegQueryValueEx(h, nullptr, nullptr, nullptr, buf, &size);
        sink = sink + size;
    });
    ok = report("cached read: query on an open handle", query, 50) && ok;

    // Each write below changes the file, so the next read parses it anew.
    HKEY w = nullptr;
    RegCreateKeyEx(HKEY_CURRENT_USER, "Bench", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &w, nullptr);
    double writeTotal = 0, freshTotal = 0;
    constexpr int kWrites = 200;
    for (int i = 0; i < kWrites; ++i) {
        const DWORD v = static_cast<DWORD>(i);
        writeTotal += microsecondsPerCall(1, [&](int) {
            RegSetValueEx(HKEY_CLASSES_ROOT, "Counter", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&v), 4);
        });
        // Touch the file's time as another writer would, to defeat the cache.
        std::filesystem::last_write_time(std::filesystem::path(dir) / "HKLM.reg",
                                         std::filesystem::file_time_type::clock::now());
        freshTotal += microsecondsPerCall(1, [&](int) {
            BYTE buf[256];
            DWORD size = sizeof buf;
            RegQueryValueEx(h, nullptr, nullptr, nullptr, buf, &size);
        });
    }
    report("write: lock, re-read, write, flush, rename (300 keys)", writeTotal / kWrites, 0);
    report("first read after another writer changed the hive", freshTotal / kWrites, 0);
    RegCloseKey(h);
    RegCloseKey(w);

    std::filesystem::remove_all(dir);
    return ok ? 0 : 1;
}
