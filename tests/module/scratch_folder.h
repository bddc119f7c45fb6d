// A folder of the test's own under the temporary folder, removed with all it holds.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

struct ScratchFolder {
    const std::filesystem::path path = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "kavro-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a scratch folder");
        return std::filesystem::path(pattern);
    }();
    ScratchFolder() = default;
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder() { std::filesystem::remove_all(path); }
};

inline std::string Contents(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// $XDG_STATE_HOME pointed at a scratch folder while it lives, its varneth folder made, and
// the system bus at nothing: a first record must not have the machine's logind turn lingering on.
struct ScratchStateHome : ScratchFolder {
    ScratchStateHome()
    {
        std::filesystem::create_directories(Varneth());
        ::setenv("XDG_STATE_HOME", path.c_str(), 1);
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + (path / "no-bus").string()).c_str(), 1);
    }
    ~ScratchStateHome()
    {
        ::unsetenv("XDG_STATE_HOME");
        ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }
    std::filesystem::path Varneth() const { return path / "varneth"; }
};
