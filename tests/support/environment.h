#pragma once
// The parts of the environment a test changes for itself.
#include "support/files.h"

#include <optional>
#include <string>

namespace testsupport {

// Points QUILLAN_REGISTRY_DIR at a fresh empty folder for its lifetime, then
// restores the earlier value and removes the folder.
class RegistrySandbox {
public:
    RegistrySandbox();
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox &) = delete;
    RegistrySandbox &operator=(const RegistrySandbox &) = delete;

    const std::filesystem::path &path() const { return dir_.path(); }
    std::filesystem::path operator/(const std::string &name) const { return dir_ / name; }

private:
    TempDir dir_;
    std::optional<std::string> previous_;
};

// Sets (or with no value, removes) one environment variable for its
// lifetime, then restores the earlier state.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char *name, std::optional<std::string> value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

// Clears every proxy variable of this process, in either case.
void clearProxyEnvironment();

} // namespace testsupport
