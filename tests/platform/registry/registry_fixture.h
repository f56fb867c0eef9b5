// Every registry test runs against hive files in a fresh temporary folder.
#pragma once

#include "platform/registry/registry.h"
#include "support/environment.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using testsupport::readFile;
using testsupport::writeFile;

class RegistryTest : public ::testing::Test {
protected:
    std::filesystem::path hiveFile(const char *name) const { return registry_ / name; }

    testsupport::RegistrySandbox registry_;
};

// Bytes of a text, with or without its terminating zero.
inline std::vector<platform::BYTE> bytesOf(const std::string &s, bool withZero)
{
    std::vector<platform::BYTE> b(s.begin(), s.end());
    if (withZero)
        b.push_back(0);
    return b;
}
