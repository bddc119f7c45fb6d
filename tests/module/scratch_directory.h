// A scratch working directory for tests that meet the module's files, and byte-exact
// file access. Portable, so the Windows build's tests use it too.
#pragma once

#include <filesystem>
#include <string>

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
