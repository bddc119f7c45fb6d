// Windows' own COM objects, faked in the module's COM runtime, behind the module's plain
// interfaces. The NAT object as the service Varneth asks first: each step that fails
// hands the port to our own client (faked) once, saying why; what the system's object
// made counts once our client read it back. After each row, no COM object or BSTR is
// left alive.
#include <gtest/gtest.h>

#include "fake_gateway.h"
#include "fake_platform.h"
#include "forward/varneth.h"
#include "gateway/windows/system_nat_service.h"

namespace {

constexpr Outcome F = Outcome::Fails, Null = Outcome::LeavesNull;

// The system's thread, run in place: every call in time, or none (`hung`).
struct CallsInPlace final : gateway::SystemCalls {
    bool hung = false;
    HRESULT Call(std::function<HRESULT()> work) override { return hung ? gateway::kSystemTimedOut : work(); }
    void Post(std::function<void()> work) override { work(); }
};

struct NatRow {
    const char* name;
    std::map<std::string, Outcome> outcomes; // the system's object's calls, "ReadBack", our client's
    std::optional<Method> mappedBy;
    std::vector<std::string> stdoutLines;   // every line, in order
    std::string passedOver;                  // the reason told; empty: not passed over
    bool hung = false;
    bool alone = false;                      // the system's service without ours behind it
};

const std::string kAccessFailed = "Varneth::Access CoCreateInstance IUPnPNAT failed";
const std::string kAddFailed = "Varneth::Add Collection->Add failed";
const std::string kSystemAdd = "Add TCP 8080->10.0.0.5:8080 'HLMX 8080 TCP' 1"; // ours asks the same, without the 1

const NatRow kNatRows[] = {
    {"system_maps", {}, Method::System, {}, ""},
    {"create_nat_fails", {{"CoCreateInstance UPnPNAT", F}}, Method::Upnp,
     {kAccessFailed, "PassOverSystemNat (status 0x80040154)"}, "it is not registered on this machine"},
    {"create_nat_null", {{"CoCreateInstance UPnPNAT", Null}}, Method::Upnp,
     {"Varneth::Access CoCreateInstance succeeded, but left Nat null", "PassOverSystemNat (status 0x00000000)"},
     "it could not be started"},
    {"collection_fails", {{"get_StaticPortMappingCollection", F}}, Method::Upnp,
     {"Varneth::Access Nat->get_StaticPortMappingCollection failed", "PassOverSystemNat (status 0x80004005)"},
     "it gave no port mappings"},
    {"collection_null", {{"get_StaticPortMappingCollection", Null}}, Method::Upnp,
     {"Varneth::Access Nat->get_StaticPortMappingCollection succeeded, but left Collection null",
      "PassOverSystemNat (status 0x00000000)"},
     "it found no UPnP Internet gateway"},
    {"add_mapping_fails", {{kSystemAdd, F}}, Method::Upnp, {kAddFailed, "PassOverSystemNat (status 0x80004005)"},
     "it did not make the TCP mapping"},
    {"add_mapping_null", {{kSystemAdd, Null}}, Method::Upnp,
     {"Varneth::Add Collection->Add succeeded, but left Mapping null", "PassOverSystemNat (status 0x00000000)"},
     "it handed no TCP mapping back"},
    {"read_back_disagrees", {{"ReadBack", F}}, Method::Upnp, {kAddFailed, "PassOverSystemNat (status 0x80004005)"},
     "it did not make the TCP mapping"},
    {"no_answer_in_its_time", {}, Method::Upnp, {kAccessFailed, "PassOverSystemNat (status 0x800705B4)"},
     "it did not answer within 4 s", true},
    {"ours_fails_too_passed_over_once", {{"CoCreateInstance UPnPNAT", F}, {"Add TCP 8080->", F}}, std::nullopt,
     {kAccessFailed, "PassOverSystemNat (status 0x80040154)", kAddFailed}, "it is not registered on this machine"},
    {"alone_it_is_the_answer", {{"CoCreateInstance UPnPNAT", F}}, std::nullopt, {kAccessFailed}, "", false, true},
};

void PrintTo(const NatRow& row, std::ostream* out) { *out << row.name; }

class SystemNat : public ::testing::TestWithParam<NatRow> {
protected:
    void SetUp() override
    {
        comrt::ResetRuntimeForTests();
        platform.Register();
        platform.outcomes = GetParam().outcomes;
        ours.asked = [this](const std::string& call) { return platform.Log(call) == Outcome::Works; };
        calls.hung = GetParam().hung;
    }
    void TearDown() override
    {
        comrt::ResetRuntimeForTests();
        EXPECT_EQ(comrt::LiveObjectCount(), 0) << "COM objects left alive";
        EXPECT_EQ(comrt::LiveStringCount(), 0) << "BSTRs left unfreed";
    }
    FakePlatform platform;
    FakeGateway ours;
    CallsInPlace calls;
};

TEST_P(SystemNat, PassesOverOnceAndSaysWhy)
{
    const NatRow& row = GetParam();
    std::optional<gateway::NatService::AddAnswer> mapping;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    {
        VarnethPlatform machine;
        machine.nat.push_back(gateway::SystemNatService(calls, [this](const gateway::MappingRequest&) {
            gateway::Grant confirmed;
            confirmed.method = Method::System;
            if (platform.Log("ReadBack") != Outcome::Works) return gateway::NatService::AddAnswer{};
            return gateway::NatService::AddAnswer{gateway::NatService::Adding::Made, confirmed, std::nullopt};
        }));
        if (!row.alone) machine.nat.push_back(std::make_unique<FakeGateway>(ours));
        Varneth varneth(std::move(machine));
        EXPECT_EQ(varneth.MapPort(L't', 8080, 8080, L"10.0.0.5", L"HLMX 8080 TCP"), row.mappedBy.has_value());
        mapping = varneth.Mapping;
    }
    std::istringstream stdoutText(::testing::internal::GetCapturedStdout());
    const std::string stderrText = ::testing::internal::GetCapturedStderr();
    std::vector<std::string> lines;
    for (std::string line; std::getline(stdoutText, line);) lines.push_back(line);
    EXPECT_EQ(lines, row.stdoutLines);
    EXPECT_EQ(mapping && mapping->grant ? std::optional<Method>(mapping->grant->method) : std::nullopt, row.mappedBy);
    const std::string told = "Windows' own NAT service was passed over (" + row.passedOver + ")";
    EXPECT_EQ(stderrText.find("passed over") != std::string::npos, !row.passedOver.empty()) << stderrText;
    if (!row.passedOver.empty()) {
        EXPECT_NE(stderrText.find(told), std::string::npos) << stderrText;
    }
    const std::string noService = ">> This machine's port forwarding service could not be started";
    EXPECT_EQ(stderrText.find(noService) != std::string::npos, row.alone) << stderrText;
}

INSTANTIATE_TEST_SUITE_P(Rows, SystemNat, ::testing::ValuesIn(kNatRows),
                         [](const ::testing::TestParamInfo<NatRow>& info) { return info.param.name; });

} // namespace
