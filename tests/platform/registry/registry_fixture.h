// Every registry test runs against hive files in a fresh temporary folder.
#pragma once

#include "registry/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillan-reg-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        ASSERT_EQ(setenv("QUILLAN_REGISTRY_DIR", dir_.c_str(), 1), 0);
    }
    void TearDown() override
    {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    std::filesystem::path hiveFile(const char* name) const { return dir_ / name; }

    static std::string readFile(const std::filesystem::path& p)
    {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static void writeFile(const std::filesystem::path& p, const std::string& text)
    {
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out << text;
    }

    std::filesystem::path dir_;
};

// Bytes of a text, with or without its terminating zero.
inline std::vector<platform::BYTE> bytesOf(const std::string& s, bool withZero)
{
    std::vector<platform::BYTE> b(s.begin(), s.end());
    if (withZero)
        b.push_back(0);
    return b;
}
