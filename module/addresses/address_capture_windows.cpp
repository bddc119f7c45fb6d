// Windows: ipconfig writes the report; the shell's redirection makes the file. An
// earlier run's capture is removed first, so only this run's report is ever read.
#include "addresses/address_capture.h"

#include <windows.h>

#include <cstdlib>
#include <fstream>

#include "platform/bounded_read.h"

namespace {

constexpr std::size_t kReportLimit = 1024 * 1024;

// %TEMP%\ip_c.tmp, where the command's redirection writes; empty when TEMP is unset.
std::string CapturePath()
{
    char directory[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("TEMP", directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::string();
    return std::string(directory) + "\\ip_c.tmp";
}

bool RemoveEarlierCapture(const std::string& path)
{
    if (DeleteFileA(path.c_str())) return true;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

} // namespace

std::optional<std::string> CaptureAddressReport()
{
    const std::string path = CapturePath();
    if (path.empty() || !RemoveEarlierCapture(path)) return std::nullopt;
    // Quoted, so a temporary directory with a blank in it still takes the redirection.
    // A command that cannot be found or a file that cannot be made fails the status.
    if (std::system("ipconfig > \"%TEMP%\\ip_c.tmp\"") != 0) return std::nullopt;
    // Text mode turns ipconfig's CR LF into LF.
    std::ifstream in(path);
    return ReadAtMost(in, kReportLimit);
}
