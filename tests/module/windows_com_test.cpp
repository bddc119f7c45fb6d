// Windows' own COM objects as the module drives them, against their fakes in the
// module's COM runtime, behind the module's plain interfaces; after each row, no COM object
// or BSTR left alive. Windows Firewall: its profile, whether it is on, and each port let
// in. The NAT object, as the service Varneth asks first: each step that fails hands the
// port to our own client (faked) once, saying why (what the system's object made, read
// back, is the e2e table's Wine rows').
#include <gtest/gtest.h>

#include "fake_gateway.h"
#include "fake_platform.h"
#include "firewall/firewall_opener.h"
#include "firewall/windows/windows_firewall.h"
#include "forward/varneth.h"
#include "gateway/windows/system_nat_service.h"
#include "text_lines.h"

namespace {

// What both fakes answer with.
HRESULT StatusOf(Outcome outcome) { return outcome == Outcome::Fails ? E_FAIL : S_OK; }

// Hands out another reference to `self` when the call works.
template <class T>
HRESULT HandOut(Outcome outcome, T* self, T** out)
{
    *out = outcome == Outcome::Works ? self : nullptr;
    if (*out != nullptr) self->AddRef();
    return StatusOf(outcome);
}

HRESULT Answer(Outcome outcome, VARIANT_BOOL* yes)
{
    *yes = outcome == Outcome::Works ? VARIANT_TRUE : VARIANT_FALSE;
    return StatusOf(outcome);
}

std::string Text(BSTR text) { return NarrowToBytes(text == nullptr ? L"" : std::wstring(text, SysStringLen(text))); }

template <class Made, class Interface>
comrt::ClassFactory Factory(FakePlatform& platform, const std::string& name)
{
    return [&platform, name](REFIID iid, void** object) -> HRESULT {
        *object = nullptr;
        const Outcome outcome = platform.Log("CoCreateInstance " + name);
        if (outcome != Outcome::Works) return outcome == Outcome::Fails ? REGDB_E_CLASSNOTREG : S_OK;
        Interface* made = new Made(platform);
        const HRESULT hr = made->QueryInterface(iid, object);
        made->Release();
        return hr;
    };
}

// The NAT object is also its own mapping collection and every mapping, of which the
// module asks only that one is handed back.
class FakeNat : public comrt::ComObject<IUPnPNAT, IStaticPortMappingCollection, IStaticPortMapping> {
public:
    explicit FakeNat(FakePlatform& platform) : platform_(platform) {}
    HRESULT get_StaticPortMappingCollection(IStaticPortMappingCollection** collection) override
    {
        return HandOut<IStaticPortMappingCollection>(platform_.Log("get_StaticPortMappingCollection"), this, collection);
    }
    HRESULT Add(LONG externalPort, BSTR protocol, LONG internalPort, BSTR client, VARIANT_BOOL enabled,
                BSTR description, IStaticPortMapping** mapping) override
    {
        return HandOut<IStaticPortMapping>(platform_.Log("Add " + Text(protocol) + " " + std::to_string(externalPort) + "->" +
                                                         Text(client) + ":" + std::to_string(internalPort) + " '" +
                                                         Text(description) + "' " + std::to_string(enabled)),
                                           this, mapping);
    }

private:
    FakePlatform& platform_;
};

// The firewall manager is also its own policy, profile and open ports; an open port
// entry is another object of the same class.
class FakeFirewall : public comrt::ComObject<INetFwMgr, INetFwPolicy, INetFwProfile, INetFwOpenPorts, INetFwOpenPort> {
public:
    explicit FakeFirewall(FakePlatform& platform) : platform_(platform) {}
    HRESULT get_LocalPolicy(INetFwPolicy** policy) override { return HandOut<INetFwPolicy>(platform_.Log("get_LocalPolicy"), this, policy); }
    HRESULT get_CurrentProfile(INetFwProfile** profile) override { return HandOut<INetFwProfile>(platform_.Log("get_CurrentProfile"), this, profile); }
    HRESULT get_FirewallEnabled(VARIANT_BOOL* enabled) override { return Answer(platform_.Log("get_FirewallEnabled"), enabled); }
    HRESULT get_GloballyOpenPorts(INetFwOpenPorts** ports) override { return HandOut<INetFwOpenPorts>(platform_.Log("get_GloballyOpenPorts"), this, ports); }
    // Found when the entry is there: a failing lookup is how a missing entry shows.
    HRESULT Item(LONG port, NET_FW_IP_PROTOCOL protocol, INetFwOpenPort** entry) override
    {
        const Outcome outcome = platform_.Log("Item " + std::to_string(port) + " " + std::to_string(protocol));
        *entry = nullptr;
        if (outcome == Outcome::Fails || platform_.openPorts.count({port, protocol}) == 0) return E_FAIL;
        auto* found = new FakeFirewall(platform_);
        const HRESULT status = HandOut<INetFwOpenPort>(outcome, found, entry);
        found->Release();
        return status;
    }
    HRESULT Add(INetFwOpenPort* openPort) override
    {
        const auto* entry = static_cast<FakeFirewall*>(openPort);
        const std::string number = std::to_string(entry->protocol_);
        if (platform_.Log("OpenPorts.Add " + number + " " + std::to_string(entry->port_) + " '" + entry->name_ + "'") !=
            Outcome::Works)
            return E_FAIL;
        platform_.openPorts.insert({entry->port_, entry->protocol_});
        return S_OK;
    }
    // Closing goes through the name, which only Wine's runs have (tests/windows/standin_com).
    HRESULT Remove(LONG, NET_FW_IP_PROTOCOL) override { return E_FAIL; }
    HRESULT get_Name(BSTR*) override { return E_FAIL; }
    HRESULT put_Port(LONG port) override { return Put("put_Port " + std::to_string(port), port_, port); }
    HRESULT put_Protocol(NET_FW_IP_PROTOCOL protocol) override { return Put("put_Protocol " + std::to_string(protocol), protocol_, protocol); }
    HRESULT put_Name(BSTR name) override { return Put("put_Name " + Text(name), name_, Text(name)); }
    HRESULT get_Enabled(VARIANT_BOOL* enabled) override { return Answer(platform_.Log("get_Enabled"), enabled); }

private:
    template <class T>
    HRESULT Put(const std::string& call, T& field, T value)
    {
        const HRESULT status = StatusOf(platform_.Log(call));
        if (SUCCEEDED(status)) field = value;
        return status;
    }
    FakePlatform& platform_;
    LONG port_ = 0;
    NET_FW_IP_PROTOCOL protocol_ = NET_FW_IP_PROTOCOL_TCP;
    std::string name_;
};

using firewall::Status;
constexpr Outcome F = Outcome::Fails, Null = Outcome::LeavesNull, W = Outcome::Works;
constexpr Status Ok = Status::Ok, Failed = Status::Failed;

TEST(WindowsFirewall, LetsEachPortInThroughTheCurrentProfile)
{
    // Each call of `breaks` fails or hands back nothing in a run of its own, with the same outcome ("": none).
    const struct {
        const char* name;
        std::vector<std::pair<std::string, Outcome>> breaks;
        Status profile;
        bool on;
        Status tcp, udp;          // what letting TCP and UDP 8080 in answered
        std::string added;        // t, u: the entry for TCP, UDP added
        bool tcpEntryThere = false;
        const wchar_t* entryName = L"HLMX 8080";
    } rows[] = {
        {"entry_there", {{"", W}}, Ok, true, Status::AlreadyOpen, Ok, "u", true},
        // Only an enabled entry lets the port in; a lookup that fails is no entry.
        {"entry_disabled_or_not_found", {{"get_Enabled", Null}, {"Item", F}}, Ok, true, Ok, Ok, "tu", true},
        {"entry_state_unread", {{"get_Enabled", F}}, Ok, true, Failed, Ok, "u", true},
        {"firewall_off_or_unread", {{"get_FirewallEnabled", Null}, {"get_FirewallEnabled", F}}, Ok, false, Ok, Ok, ""},
        {"no_profile", {{"CoCreateInstance NetFwMgr", F}, {"get_LocalPolicy", F}, {"get_LocalPolicy", Null},
                        {"get_CurrentProfile", F}}, Failed, false, Ok, Ok, ""},
        {"no_entry_made", {{"get_GloballyOpenPorts", F}, {"CoCreateInstance NetFwOpenPort", F},
                           {"CoCreateInstance NetFwOpenPort", Null}, {"put_Port", F}, {"put_Protocol", F}, {"put_Name", F}},
         Ok, true, Failed, Failed, ""},
        {"empty_name_adds_nothing", {{"", W}}, Ok, true, Failed, Failed, "", false, L""},
    };
    for (const auto& row : rows)
        for (const auto& broken : row.breaks) {
            const std::string name = row.name + (", " + broken.first);
            FakePlatform platform;
            comrt::ResetRuntimeForTests();
            comrt::RegisterClass(CLSID_NetFwMgr, Factory<FakeFirewall, INetFwMgr>(platform, "NetFwMgr"));
            comrt::RegisterClass(CLSID_NetFwOpenPort, Factory<FakeFirewall, INetFwOpenPort>(platform, "NetFwOpenPort"));
            platform.outcomes = {broken};
            if (row.tcpEntryThere) platform.openPorts.insert({8080, NET_FW_IP_PROTOCOL_TCP});
            std::vector<Status> opened;
            {
                FirewallState firewall{firewall::OpenWindowsFirewall()};
                EXPECT_EQ(OpenFirewallProfile(firewall), row.profile) << name;
                EXPECT_EQ(firewall.FirewallOn, row.on) << name;
                for (const Protocol protocol : {Protocol::Tcp, Protocol::Udp}) {
                    const std::wstring entry = *row.entryName ? row.entryName + WidenBytes(" " + std::string(Name(protocol))) : L"";
                    if (firewall.FirewallOn)
                        opened.push_back(OpenFirewallPort(*firewall.Manager, {8080, protocol, Family::Ipv4, entry, ""}).status);
                }
            }
            EXPECT_EQ(opened, (row.on ? std::vector<Status>{row.tcp, row.udp} : std::vector<Status>{})) << name;
            std::string added;
            for (const auto& [protocol, number] : {std::pair{"TCP", "6"}, {"UDP", "17"}})
                for (const std::string& call : platform.calls)
                    if (call == std::string("OpenPorts.Add ") + number + " 8080 'HLMX 8080 " + protocol + "'")
                        added += char(std::tolower(protocol[0]));
            EXPECT_EQ(added, row.added) << name;
            comrt::ResetRuntimeForTests();
            EXPECT_EQ(comrt::liveObjects, 0) << name << ": COM objects left alive";
            EXPECT_EQ(comrt::liveStrings, 0) << name << ": BSTRs left unfreed";
        }
}

// The system's thread, run in place: every call in time (the e2e table's Wine rows run it for real, a hung one too).
struct CallsInPlace final : gateway::SystemCalls {
    HRESULT Call(std::function<HRESULT()> work) override { return work(); }
    void Post(std::function<void()> work) override { work(); }
};

struct NatRow {
    const char* name;
    std::map<std::string, Outcome> outcomes; // the system's object's calls, our client's
    std::optional<Method> mappedBy;
    std::vector<std::string> stdoutLines;   // every line, in order
    std::string passedOver;                  // the reason told; empty: not passed over
    bool alone = false;                      // the system's service without ours behind it
};

const std::string kAccessFailed = "Varneth::Access CoCreateInstance IUPnPNAT failed";
const std::string kAddFailed = "Varneth::Add Collection->Add failed";
const std::string kSystemAdd = "Add TCP 8080->10.0.0.5:8080 'HLMX 8080 TCP' 1"; // ours asks the same, without the 1

const NatRow kNatRows[] = {
    {"create_nat_null", {{"CoCreateInstance UPnPNAT", Null}}, Method::Upnp,
     {"Varneth::Access CoCreateInstance succeeded, but left Nat null", "PassOverSystemNat (status 0x00000000)"},
     "it could not be started"},
    {"collection_fails", {{"get_StaticPortMappingCollection", F}}, Method::Upnp,
     {"Varneth::Access Nat->get_StaticPortMappingCollection failed", "PassOverSystemNat (status 0x80004005)"},
     "it gave no port mappings"},
    {"add_mapping_fails", {{kSystemAdd, F}}, Method::Upnp, {kAddFailed, "PassOverSystemNat (status 0x80004005)"},
     "it did not make the TCP mapping"},
    {"add_mapping_null", {{kSystemAdd, Null}}, Method::Upnp,
     {"Varneth::Add Collection->Add succeeded, but left Mapping null", "PassOverSystemNat (status 0x00000000)"},
     "it handed no TCP mapping back"},
    {"ours_fails_too_passed_over_once", {{"CoCreateInstance UPnPNAT", F}, {"Add TCP 8080->", F}}, std::nullopt,
     {kAccessFailed, "PassOverSystemNat (status 0x80040154)", kAddFailed}, "it is not registered on this machine"},
    {"alone_it_is_the_answer", {{"CoCreateInstance UPnPNAT", F}}, std::nullopt, {kAccessFailed}, "", true},
};

TEST(SystemNat, PassesOverOnceAndSaysWhy)
{
    for (const NatRow& row : kNatRows) {
        SCOPED_TRACE(row.name);
        FakePlatform platform;
        comrt::ResetRuntimeForTests();
        comrt::RegisterClass(CLSID_UPnPNAT, Factory<FakeNat, IUPnPNAT>(platform, "UPnPNAT"));
        platform.outcomes = row.outcomes;
        FakeGateway ours;
        ours.asked = [&platform](const std::string& call) { return platform.Log(call) == Outcome::Works; };
        CallsInPlace calls;
        std::optional<gateway::NatService::AddAnswer> mapping;
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        {
            VarnethPlatform machine;
            // No row gets as far as the read-back: the e2e table's Wine rows read back for real.
            const auto readBack = [](const gateway::MappingRequest&) { return gateway::NatService::AddAnswer{}; };
            machine.nat.push_back(gateway::SystemNatService(calls, [&platform] { platform.Log("SearchBeside"); }, readBack));
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
        // Our search waits beside the system's object from its first call on, not after it.
        ASSERT_FALSE(platform.calls.empty());
        EXPECT_EQ(platform.calls.front(), "SearchBeside");
        EXPECT_EQ(mapping && mapping->grant ? std::optional<Method>(mapping->grant->method) : std::nullopt, row.mappedBy);
        const std::string told = "Windows' own NAT service was passed over (" + row.passedOver + ")";
        EXPECT_EQ(stderrText.find("passed over") != std::string::npos, !row.passedOver.empty()) << stderrText;
        EXPECT_TRUE(row.passedOver.empty() || stderrText.find(told) != std::string::npos) << stderrText;
        const std::string noService = ">>[forward-service-not-started] This machine's port forwarding service could not be started";
        EXPECT_EQ(stderrText.find(noService) != std::string::npos, row.alone) << stderrText;
        comrt::ResetRuntimeForTests();
        EXPECT_EQ(comrt::liveObjects, 0) << "COM objects left alive";
        EXPECT_EQ(comrt::liveStrings, 0) << "BSTRs left unfreed";
    }
}

} // namespace
