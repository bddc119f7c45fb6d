// One whole module run on a command file of any bytes, against the fake gateway and
// firewall classes: the reader, the dispatch, the forward command and the result file.
// Runs in a private scratch directory (also TMPDIR), so nothing leaves the process.
//
// Input: one plan byte, then the command file.
//   plan & 0x1F  0: every call works; 1-30: one kind of call (kCalls) fails (odd) or
//                succeeds without handing anything out (even); 31: CoInitialize fails
//   plan & 0x20  the firewall is off
//   plan & 0x40  there is no command file at all
//   plan & 0x80  the firewall refuses UDP entries
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <set>
#include <sstream>

#include "com/com_api.h"
#include "fake_platform.h"
#include "fuzz_check.h"
#include "internal_ips.h"
#include "module_run.h"
#include "platform/port_number.h"
#include "result_file.h"
#include "text_lines.h"

namespace {

const std::string kCalls[] = {"CoCreateInstance UPnPNAT", "get_StaticPortMappingCollection", "Add ",
                              "CoCreateInstance NetFwMgr", "get_LocalPolicy", "get_CurrentProfile",
                              "get_FirewallEnabled", "get_GloballyOpenPorts", "Item", "get_Enabled",
                              "CoCreateInstance NetFwOpenPort", "put_Port", "put_Protocol", "put_Name", "OpenPorts.Add"};
const std::set<std::string> kForwardAnswers = {
    "0", "Failed to initialize COM library. This should not happen",
    "Failed to initialize firewall. Try running with proper admin privileges.",
    "Firewall initialized well, but failed to open ports on it.", "Invalid IP", "Incomplete forward command",
    "No protocol selected"};

std::filesystem::path scratchDirectory;
std::vector<std::wstring> machineAddresses;

std::size_t Count(const FakePlatform& platform, const std::string& start)
{
    return std::count_if(platform.calls.begin(), platform.calls.end(), [&](const std::string& call) { return call.rfind(start, 0) == 0; });
}

void CheckForward(const std::vector<std::wstring>& command, const std::string& result, std::uint8_t plan,
                  const FakePlatform& platform)
{
    const std::string answer = result.substr(0, result.size() - 1);
    FUZZ_REQUIRE(result.back() == '\n' && kForwardAnswers.count(answer) == 1);
    const std::size_t protocols = command.size() < 5 ? 0 : (command[3] == L"TRUE") + (command[4] == L"TRUE");
    if (protocols == 0) {
        FUZZ_REQUIRE(platform.calls.empty());
        return;
    }
    // The port as the command reads it: like wcstol, held at the 32-bit edges.
    const bool portInRange = IsPortNumber(std::clamp<long>(std::wcstol(command[2].c_str(), nullptr, 10), INT32_MIN, INT32_MAX));
    const unsigned pick = plan & 0x1F;
    const auto broken = [pick](const std::string& call) { return pick >= 1 && pick <= 30 && kCalls[(pick - 1) / 2] == call; };
    const bool gatewayBroken = broken(kCalls[0]) || broken(kCalls[1]) || broken(kCalls[2]);
    // Nothing outside 1-65535 reaches the gateway; nothing unmapped is let in.
    if (!portInRange) FUZZ_REQUIRE(Count(platform, "CoCreateInstance UPnPNAT") == 0 && answer != "0");
    if (!portInRange || gatewayBroken) FUZZ_REQUIRE(Count(platform, "OpenPorts.Add") == 0);
    if (pick == 0 && !(plan & 0x80) && portInRange) FUZZ_REQUIRE(answer == "0");
    if (pick == 31) FUZZ_REQUIRE(answer == "Failed to initialize COM library. This should not happen");
    if (answer != "0") return;
    // Success only when every chosen protocol was mapped and, with the firewall on, let in.
    FUZZ_REQUIRE(!gatewayBroken && Count(platform, "Add ") == protocols);
    if (!(plan & 0x20) && !broken("get_FirewallEnabled")) FUZZ_REQUIRE(platform.openPorts.size() == protocols);
}

void CheckRun(const std::string& commandFile, std::uint8_t plan, const FakePlatform& platform)
{
    std::ifstream in(kResultFileName, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const std::optional<std::string> result = in ? std::optional(bytes.str()) : std::nullopt;
    if (plan & 0x40) {
        FUZZ_REQUIRE(result == "1\n");
        return;
    }
    const std::optional<std::vector<std::wstring>> command = readCommandLines();
    FUZZ_REQUIRE(command && !command->empty());
    // The window's files are a few dozen bytes; nothing of one that small may be lost.
    if (commandFile.size() <= 4096) FUZZ_REQUIRE(*command == SplitLines(commandFile));
    if (command->front() == L"getips") {
        std::string addresses;
        for (const std::wstring& address : machineAddresses) addresses += NarrowToBytes(address) + '\n';
        FUZZ_REQUIRE(result == addresses);
    } else if (command->front() == L"kavro") {
        FUZZ_REQUIRE(result && !result->empty());
        CheckForward(*command, *result, plan, platform);
    } else {
        FUZZ_REQUIRE(!result);
    }
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
    machineAddresses = GetInternalIPs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const std::uint8_t plan = data[0];
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
    const unsigned pick = plan & 0x1F;
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
