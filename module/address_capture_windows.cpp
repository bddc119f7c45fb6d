// Windows: ipconfig writes the report; the shell's redirection makes the file.
#include "address_capture.h"

#include <windows.h>

#include <cstdlib>
#include <fstream>

#include "bounded_read.h"

namespace {
constexpr std::size_t kReportLimit = 1024 * 1024;
}

std::optional<std::string> CaptureAddressReport()
{
    // Quoted, so a temporary directory with a blank in it still takes the redirection.
    std::system("ipconfig > \"%TEMP%\\ip_c.tmp\"");
    char directory[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, directory);
    const std::string path = std::string(directory) + "\\ip_c.tmp";
    // Text mode turns ipconfig's CR LF into LF.
    std::ifstream in(path);
    return ReadAtMost(in, kReportLimit);
}
