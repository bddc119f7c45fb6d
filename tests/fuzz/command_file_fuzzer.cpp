// One whole module run on a command file of any bytes, against the fake gateway and
// firewall classes: the reader, the dispatch, the forward command and the result file.
// Runs in a private scratch directory (also TMPDIR), so nothing leaves the process.
//
// Input: one plan byte, then the command file.
//   plan & 0x1F  0: every call works; 1-30: one of kCalls fails (odd) or succeeds
//                handing nothing out (even); 31: CoInitialize fails
//   plan & 0x20  the firewall is off;  0x40  there is no command file;  0x80  the firewall refuses UDP
#include <stdlib.h>

#include <algorithm>
#include <climits>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>

#include "fake_platform.h"
#include "fuzz_check.h"
#include "internal_ips.h"
#include "module_run.h"
#include "platform/port_number.h"
#include "result_file.h"
#include "text_lines.h"

namespace {

const std::string kCalls[] = {"CoCreateInstance UPnPNAT", "get_StaticPortMappingCollection", "Add ",
                              "CoCreateInstance NetFwMgr", "get_LocalPolicy", "get_CurrentProfile", "get_FirewallEnabled",
                              "get_GloballyOpenPorts", "Item", "get_Enabled", "CoCreateInstance NetFwOpenPort",
                              "put_Port", "put_Protocol", "put_Name", "OpenPorts.Add"};
const std::string kComFails = "Failed to initialize COM library. This should not happen";
const std::set<std::string> kForwardAnswers = {"0", kComFails, "Invalid IP", "Incomplete forward command", "No protocol selected",
                                               "Failed to initialize firewall. Try running with proper admin privileges.",
                                               "Firewall initialized well, but failed to open ports on it."};
std::filesystem::path scratchDirectory;
std::string machineAddresses;

void CheckForward(const std::vector<std::wstring>& command, const std::string& answer, unsigned plan, const FakePlatform& platform)
{
    FUZZ_REQUIRE(kForwardAnswers.count(answer) == 1);
    const std::size_t protocols = command.size() < 5 ? 0 : (command[3] == L"TRUE") + (command[4] == L"TRUE");
    const auto count = [&](const std::string& start) {
        return std::count_if(platform.calls.begin(), platform.calls.end(), [&](const std::string& call) { return call.rfind(start, 0) == 0; });
    };
    if (protocols == 0) FUZZ_REQUIRE(platform.calls.empty());
    if (protocols == 0) return;
    // The port as the command reads it: like wcstol, held at the 32-bit edges.
    const bool inRange = IsPortNumber(std::clamp<long>(std::wcstol(command[2].c_str(), nullptr, 10), INT32_MIN, INT32_MAX));
    const unsigned pick = plan & 0x1F;
    const auto broken = [pick](int call) { return pick >= 1 && pick <= 30 && (pick - 1) / 2 == unsigned(call); };
    const bool gatewayBroken = broken(0) || broken(1) || broken(2);
    // Nothing outside 1-65535 reaches the gateway; nothing unmapped is let in.
    if (!inRange) FUZZ_REQUIRE(count("CoCreateInstance UPnPNAT") == 0 && answer != "0");
    if (!inRange || gatewayBroken) FUZZ_REQUIRE(count("OpenPorts.Add") == 0);
    if (pick == 0 && !(plan & 0x80) && inRange) FUZZ_REQUIRE(answer == "0");
    if (pick == 31) FUZZ_REQUIRE(answer == kComFails);
    // Success only when every chosen protocol was mapped and, with the firewall on, let in.
    if (answer == "0") FUZZ_REQUIRE(!gatewayBroken && std::size_t(count("Add ")) == protocols);
    if (answer == "0" && !(plan & 0x20) && !broken(6)) FUZZ_REQUIRE(platform.openPorts.size() == protocols);
}

void CheckRun(const std::string& commandFile, unsigned plan, const FakePlatform& platform)
{
    std::ifstream file(kResultFileName, std::ios::binary);
    std::ostringstream result;
    result << file.rdbuf();
    if (plan & 0x40) FUZZ_REQUIRE(result.str() == "1\n");
    if (plan & 0x40) return;
    const auto command = readCommandLines();
    FUZZ_REQUIRE(command && !command->empty());
    // The window's files are a few dozen bytes; nothing of one that small may be lost.
    if (commandFile.size() <= 4096) FUZZ_REQUIRE(*command == SplitLines(commandFile));
    if (command->front() == L"getips") FUZZ_REQUIRE(result.str() == machineAddresses);
    const bool forward = command->front() == L"kavro";
    if (forward) FUZZ_REQUIRE(!result.str().empty() && result.str().back() == '\n');
    if (forward) CheckForward(*command, result.str().substr(0, result.str().size() - 1), plan, platform);
    if (!forward && command->front() != L"getips") FUZZ_REQUIRE(!file.is_open());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "kavro-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    scratchDirectory = pattern;
    ::setenv("TMPDIR", pattern.c_str(), 1);
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(scratchDirectory, ignored);
    });
    // The module's lines would drown the fuzzer's report, which shares standard error.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
    std::cerr.rdbuf(nullptr);
    for (const std::wstring& address : GetInternalIPs()) machineAddresses += NarrowToBytes(address) + '\n';
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const unsigned plan = data[0], pick = plan & 0x1F;
    const std::string commandFile(reinterpret_cast<const char*>(data + 1), size - 1);
    // The module's files are relative: each run works in the scratch directory and
    // leaves it again, so libFuzzer's own paths keep their meaning.
    const std::filesystem::path start = std::filesystem::current_path();
    std::filesystem::current_path(scratchDirectory);
    std::filesystem::remove(kResultFileName);
    std::filesystem::remove(kCommandFileName);
    if (!(plan & 0x40)) std::ofstream(kCommandFileName, std::ios::binary) << commandFile;

    FakePlatform platform;
    comrt::ResetRuntimeForTests();
    if (pick >= 1 && pick <= 30) platform.outcomes[kCalls[(pick - 1) / 2]] = pick % 2 ? Outcome::Fails : Outcome::LeavesNull;
    if (plan & 0x20) platform.outcomes.emplace("get_FirewallEnabled", Outcome::LeavesNull);
    if (plan & 0x80) platform.outcomes["OpenPorts.Add UDP"] = Outcome::Fails;
    platform.Register();
    if (pick == 31) comrt::InjectCoInitializeFailure(E_FAIL);
    FUZZ_REQUIRE(RunModule() == 0);
    comrt::ResetRuntimeForTests();
    FUZZ_REQUIRE(comrt::LiveObjectCount() == 0 && comrt::LiveStringCount() == 0);
    CheckRun(commandFile, plan, platform);
    std::filesystem::current_path(start);
    return 0;
}
