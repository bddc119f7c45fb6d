// Windows: ipconfig writes the report; the shell's redirection makes the file. An
// earlier run's capture is removed first, so only this run's report is ever read; one
// that cannot be removed is left alone and this run writes under a name of its own.
#include "addresses/address_capture.h"

#include <windows.h>

#include <cstdlib>
#include <fstream>

#include "platform/bounded_read.h"

namespace {

constexpr std::size_t kReportLimit = 1024 * 1024;

// %TEMP%\NAME, where the command's redirection writes; empty when TEMP is unset.
std::string TemporaryPath(const std::string& name)
{
    char directory[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("TEMP", directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::string();
    return std::string(directory) + "\\" + name;
}

// True when no file stands at `path` any more.
bool Removed(const std::string& path)
{
    if (DeleteFileA(path.c_str())) return true;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

} // namespace

std::optional<std::string> CaptureAddressReport()
{
    std::string name = "ip_c.tmp";
    std::string path = TemporaryPath(name);
    if (path.empty()) return std::nullopt;
    const bool fresh = !Removed(path);
    if (fresh) {
        name = "ip_c." + std::to_string(GetCurrentProcessId()) + ".tmp";
        path = TemporaryPath(name);
        if (!Removed(path)) return std::nullopt;
    }
    // Quoted, so a temporary directory with a blank in it still takes the redirection.
    // ipconfig's status says nothing about its report: whatever it printed is the report,
    // and an empty one lists no address. Only a file the shell did not make is a failure.
    static_cast<void>(std::system(("ipconfig > \"%TEMP%\\" + name + "\"").c_str()));
    std::optional<std::string> report;
    {
        // Text mode turns ipconfig's CR LF into LF.
        std::ifstream in(path);
        if (in) report = ReadAtMost(in, kReportLimit);
    }
    if (fresh) DeleteFileA(path.c_str());
    return report;
}
