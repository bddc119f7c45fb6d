// Shared pieces of the module's tests: a scratch working directory and a COM
// fixture that proves no reference and no BSTR is left behind.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "com/com_api.h"
#include "fake_platform.h"

// Makes a fresh directory current for the life of the object, then restores.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

std::string ReadBytes(const std::filesystem::path& file);
void WriteBytes(const std::filesystem::path& file, const std::string& bytes);

class ComTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    FakePlatform platform;
};
