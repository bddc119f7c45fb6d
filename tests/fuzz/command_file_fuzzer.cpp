// One whole module run on a command file of any bytes: the reader, the dispatch, the
// forward command and request against the fake gateway and firewall, the result file.
// Runs in a private scratch directory (also TMPDIR); only fake classes are registered,
// so nothing leaves the process.
//
// Input: one plan byte, then the command file.
//   plan & 0x1F  0: every platform call works; 1-30: one kind of fake call fails (odd)
//                or succeeds without its reference (even); 31: CoInitialize fails
//   plan & 0x20  the firewall is off
//   plan & 0x40  there is no command file at all
//   plan & 0x80  the firewall refuses UDP entries
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cwchar>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "com/com_api.h"
#include "fake_platform.h"
#include "fuzz_check.h"
#include "internal_ips.h"
#include "module_run.h"
#include "platform/port_number.h"
#include "result_file.h"
#include "text_lines.h"

namespace {

const std::array<Outcome FakePlatform::*, 15> kFaultableCalls = {
    &FakePlatform::createNat,        &FakePlatform::getCollection,     &FakePlatform::addMapping,
    &FakePlatform::createManager,    &FakePlatform::getLocalPolicy,    &FakePlatform::getCurrentProfile,
    &FakePlatform::getFirewallEnabled, &FakePlatform::getOpenPorts,    &FakePlatform::itemLookup,
    &FakePlatform::getPortEnabled,   &FakePlatform::createOpenPort,    &FakePlatform::putPort,
    &FakePlatform::putProtocol,      &FakePlatform::putName,           &FakePlatform::addOpenPort};

const std::set<std::string> kForwardAnswers = {
    "0",
    "Failed to initialize COM library. This should not happen",
    "Failed to initialize firewall. Try running with proper admin privileges.",
    "Firewall initialized well, but failed to open ports on it.",
    "Invalid IP",
    "Incomplete forward command",
    "No protocol selected"};

struct Plan {
    std::optional<std::size_t> faultyCall;
    Outcome fault = Outcome::Works;
    bool coInitializeFails = false;
    bool firewallOff = false;
    bool noCommandFile = false;
    bool refuseUdp = false;

    explicit Plan(std::uint8_t byte)
        : coInitializeFails((byte & 0x1F) == 31), firewallOff(byte & 0x20), noCommandFile(byte & 0x40),
          refuseUdp(byte & 0x80)
    {
        const unsigned pick = byte & 0x1F;
        if (pick == 0 || pick == 31) return;
        faultyCall = (pick - 1) / 2;
        fault = pick % 2 == 1 ? Outcome::Fails : Outcome::LeavesNull;
    }

    bool AllWorks() const { return !faultyCall && !coInitializeFails && !refuseUdp; }
    bool Breaks(Outcome FakePlatform::*call) const { return faultyCall && kFaultableCalls[*faultyCall] == call; }

    void ApplyTo(FakePlatform& platform) const
    {
        if (faultyCall) platform.*kFaultableCalls[*faultyCall] = fault;
        platform.firewallEnabled = !firewallOff;
        if (refuseUdp) platform.refuseProtocol = NET_FW_IP_PROTOCOL_UDP;
    }
};

std::vector<std::wstring> machineAddresses;

// The port as the forward command reads it: like wcstol, held at the 32-bit edges.
long PortOf(const std::wstring& line)
{
    const long value = std::wcstol(line.c_str(), nullptr, 10);
    return std::clamp<long>(value, INT32_MIN, INT32_MAX);
}

std::optional<std::string> ReadFile(const char* name)
{
    std::ifstream in(name, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string Joined(const std::vector<std::wstring>& lines)
{
    std::string text;
    for (const std::wstring& line : lines) text += NarrowToBytes(line) + '\n';
    return text;
}

// Registers the fake platform for one run and takes every class away again after it.
class FakeRun {
public:
    explicit FakeRun(FakePlatform& platform, const Plan& plan)
    {
        comrt::ResetRuntimeForTests();
        plan.ApplyTo(platform);
        platform.Register();
        if (plan.coInitializeFails) comrt::InjectCoInitializeFailure(E_FAIL);
    }
    ~FakeRun() { comrt::ResetRuntimeForTests(); }
    FakeRun(const FakeRun&) = delete;
    FakeRun& operator=(const FakeRun&) = delete;
};

void CheckForward(const std::vector<std::wstring>& command, const std::string& result, const Plan& plan,
                  const FakePlatform& platform)
{
    // Exactly one known line.
    FUZZ_REQUIRE(!result.empty() && result.back() == '\n');
    const std::string answer = result.substr(0, result.size() - 1);
    FUZZ_REQUIRE(answer.find('\n') == std::string::npos);
    FUZZ_REQUIRE(kForwardAnswers.count(answer) == 1);

    const bool complete = command.size() >= 5;
    const bool tcp = complete && command[3] == L"TRUE";
    const bool udp = complete && command[4] == L"TRUE";
    if (!complete || (!tcp && !udp)) {
        FUZZ_REQUIRE(platform.calls.empty());
        return;
    }
    const bool portInRange = IsPortNumber(PortOf(command[2]));
    // A port outside 1-65535 never reaches the gateway.
    if (!portInRange) FUZZ_REQUIRE(platform.CallsStartingWith("CoCreateInstance UPnPNAT").empty() && answer != "0");
    if (plan.AllWorks() && portInRange) FUZZ_REQUIRE(answer == "0");
    if (plan.coInitializeFails) FUZZ_REQUIRE(answer == "Failed to initialize COM library. This should not happen");
    // Without a mapping nothing is let in through the firewall.
    const bool gatewayBroken = plan.Breaks(&FakePlatform::createNat) || plan.Breaks(&FakePlatform::getCollection) ||
                               plan.Breaks(&FakePlatform::addMapping);
    if (gatewayBroken || !portInRange) FUZZ_REQUIRE(platform.CallsStartingWith("OpenPorts.Add ").empty());
    if (answer != "0") return;

    // Success only when every chosen protocol was mapped and, with the firewall on, let in.
    FUZZ_REQUIRE(!gatewayBroken && !plan.coInitializeFails && portInRange);
    FUZZ_REQUIRE(platform.CallsStartingWith("Add ").size() == (tcp ? 1u : 0u) + (udp ? 1u : 0u));
    const bool firewallSeenOn = !plan.firewallOff && !plan.Breaks(&FakePlatform::getFirewallEnabled);
    if (firewallSeenOn) FUZZ_REQUIRE(platform.openPorts.size() == (tcp ? 1u : 0u) + (udp ? 1u : 0u));
    if (firewallSeenOn && udp) FUZZ_REQUIRE(!plan.refuseUdp);
}

void CheckRun(const std::string& commandFile, const Plan& plan, const FakePlatform& platform)
{
    const std::optional<std::string> result = ReadFile(kResultFileName);
    if (plan.noCommandFile) {
        FUZZ_REQUIRE(result == std::string("1\n"));
        return;
    }
    const std::optional<std::vector<std::wstring>> command = readCommandLines();
    FUZZ_REQUIRE(command.has_value() && !command->empty());
    // The window's files are a few dozen bytes; nothing of one that small may be lost.
    if (commandFile.size() <= 4096) FUZZ_REQUIRE(*command == SplitLines(commandFile));

    const std::wstring& word = command->front();
    if (word == L"getips")
        FUZZ_REQUIRE(result == Joined(machineAddresses));
    else if (word == L"kavro") {
        FUZZ_REQUIRE(result.has_value());
        CheckForward(*command, *result, plan, platform);
    } else
        FUZZ_REQUIRE(!result.has_value());
}

std::filesystem::path scratchDirectory;

// The module's files are relative to the current directory: each run enters the
// scratch directory and leaves it again, so libFuzzer's own paths keep their meaning.
class InScratch {
public:
    InScratch() : start_(std::filesystem::current_path()) { std::filesystem::current_path(scratchDirectory); }
    ~InScratch() { std::filesystem::current_path(start_); }
    InScratch(const InScratch&) = delete;
    InScratch& operator=(const InScratch&) = delete;

private:
    std::filesystem::path start_;
};

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
    // The module's diagnostic lines would drown the fuzzer's own report.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
    // Its sentences for the user too; the fuzzer writes its report on the same descriptor.
    static std::ofstream discard;
    std::cerr.rdbuf(discard.rdbuf());
    machineAddresses = GetInternalIPs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const Plan plan(data[0]);
    const std::string commandFile(reinterpret_cast<const char*>(data + 1), size - 1);
    const InScratch scratch;

    std::remove(kResultFileName);
    std::remove(kCommandFileName);
    if (!plan.noCommandFile) std::ofstream(kCommandFileName, std::ios::binary) << commandFile;

    FakePlatform platform;
    {
        const FakeRun run(platform, plan);
        FUZZ_REQUIRE(RunModule() == 0);
    }
    FUZZ_REQUIRE(comrt::LiveObjectCount() == 0);
    FUZZ_REQUIRE(comrt::LiveStringCount() == 0);
    CheckRun(commandFile, plan, platform);
    return 0;
}
