// The address list as the module makes it on Windows, with a stand-in ipconfig first on
// the PATH: what it printed counts whatever its status, and a capture an earlier run left
// that cannot be removed is never read as this run's.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "addresses/internal_ips.h"

namespace {

struct CaptureRow {
    const char* name;
    const char* script;  // the stand-in ipconfig.cmd
    bool heldEarlier;    // an earlier ip_c.tmp, kept open so that it cannot be removed
    std::vector<std::wstring> expected;
};

std::string MadeDirectory(const std::string& name)
{
    char base[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, base);
    const std::string path = std::string(base) + name + "." + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

class AddressCapture : public testing::TestWithParam<CaptureRow> {};

TEST_P(AddressCapture, ListsThisRunsReport)
{
    const CaptureRow& row = GetParam();
    const std::string tools = MadeDirectory("kavro_tools");
    const std::string temporary = MadeDirectory("kavro_temp");
    WriteFile(tools + "\\ipconfig.cmd", row.script);
    const std::string earlier = temporary + "\\ip_c.tmp";
    WriteFile(earlier, "   IPv4 Address. . . : 6.6.6.6\r\n");
    HANDLE held = row.heldEarlier ? CreateFileA(earlier.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)
                                  : INVALID_HANDLE_VALUE;
    ASSERT_EQ(held != INVALID_HANDLE_VALUE, row.heldEarlier);
    const char* path = std::getenv("PATH");
    ASSERT_EQ(_putenv(("PATH=" + tools + ";" + (path ? path : "")).c_str()), 0);
    ASSERT_EQ(_putenv(("TEMP=" + temporary).c_str()), 0);

    EXPECT_EQ(GetInternalIPs(), row.expected);

    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    _putenv(("PATH=" + std::string(path ? path : "")).c_str());
    DeleteFileA(earlier.c_str());
    DeleteFileA((tools + "\\ipconfig.cmd").c_str());
    RemoveDirectoryA(tools.c_str());
    RemoveDirectoryA(temporary.c_str());
}

const char* const kFailsAfterPrinting = "@echo    IPv4 Address. . . : 10.0.0.7\r\n@exit /b 1\r\n";

INSTANTIATE_TEST_SUITE_P(
    Windows, AddressCapture,
    testing::Values(CaptureRow{"FailingStatusAfterAnAddress", kFailsAfterPrinting, false, {L"10.0.0.7"}},
                    CaptureRow{"EarlierCaptureHeldOpen", kFailsAfterPrinting, true, {L"10.0.0.7"}}),
    [](const testing::TestParamInfo<CaptureRow>& info) { return std::string(info.param.name); });

} // namespace
