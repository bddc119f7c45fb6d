// The firewall classes through the COM runtime, driven the way the module drives them.
#include <gtest/gtest.h>

#include "com/com_ptr.h"
#include "fake_firewall.h"
#include "firewall_classes.h"
#include "firewall_opener.h"
#include "varneth.h"

namespace firewall {
namespace {

class FirewallClassesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        comrt::ResetRuntimeForTests();
        RegisterFirewallClasses(fake.Factory());
    }
    void TearDown() override
    {
        comrt::ResetRuntimeForTests();
        EXPECT_EQ(comrt::LiveObjectCount(), 0) << "COM objects left alive";
        EXPECT_EQ(comrt::LiveStringCount(), 0) << "BSTRs left unfreed";
    }

    ComPtr<INetFwOpenPort> NewEntry()
    {
        ComPtr<INetFwOpenPort> entry;
        EXPECT_EQ(CoCreateInstance(CLSID_NetFwOpenPort, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwOpenPort,
                                   entry.put_void()),
                  S_OK);
        return entry;
    }

    ComPtr<INetFwProfile> Profile()
    {
        FirewallState state;
        EXPECT_EQ(OpenFirewallProfile(state), S_OK);
        return std::move(state.Profile);
    }

    FakeFirewall fake;
};

TEST_F(FirewallClassesTest, NewEntryTakesOnlyRealPortsAndProtocols)
{
    ComPtr<INetFwOpenPort> entry = NewEntry();
    ASSERT_TRUE(entry);
    LONG port = -1;
    EXPECT_EQ(entry->get_Port(&port), S_OK);
    EXPECT_EQ(port, 0);
    struct Case {
        LONG port;
        HRESULT hr;
    };
    for (const Case c : {Case{1, S_OK}, Case{65535, S_OK}, Case{0, E_INVALIDARG}, Case{65536, E_INVALIDARG},
                         Case{-5, E_INVALIDARG}, Case{100000, E_INVALIDARG}}) {
        EXPECT_EQ(entry->put_Port(42), S_OK);
        EXPECT_EQ(entry->put_Port(c.port), c.hr) << c.port;
        EXPECT_EQ(entry->get_Port(&port), S_OK);
        EXPECT_EQ(port, SUCCEEDED(c.hr) ? c.port : 42) << "a refused port leaves the entry as it was";
    }
    NET_FW_IP_PROTOCOL protocol = NET_FW_IP_PROTOCOL_ANY;
    EXPECT_EQ(entry->put_Protocol(NET_FW_IP_PROTOCOL_UDP), S_OK);
    EXPECT_EQ(entry->put_Protocol(NET_FW_IP_PROTOCOL_ANY), E_INVALIDARG);
    EXPECT_EQ(entry->put_Protocol(static_cast<NET_FW_IP_PROTOCOL>(1)), E_INVALIDARG);
    EXPECT_EQ(entry->get_Protocol(&protocol), S_OK);
    EXPECT_EQ(protocol, NET_FW_IP_PROTOCOL_UDP);
}

TEST_F(FirewallClassesTest, NewEntryKeepsItsNameAndRefusesNullPlaces)
{
    ComPtr<INetFwOpenPort> entry = NewEntry();
    const Bstr name(L"HLMX 8080 \x00dc");
    EXPECT_EQ(entry->put_Name(name.get()), S_OK);
    Bstr read;
    EXPECT_EQ(entry->get_Name(read.put()), S_OK);
    EXPECT_EQ(read.ToWide(), L"HLMX 8080 \x00dc");
    VARIANT_BOOL enabled = VARIANT_FALSE;
    EXPECT_EQ(entry->get_Enabled(&enabled), S_OK);
    EXPECT_EQ(enabled, VARIANT_TRUE);
    EXPECT_EQ(entry->put_Name(nullptr), E_POINTER);
    EXPECT_EQ(entry->get_Name(nullptr), E_POINTER);
    EXPECT_EQ(entry->get_Port(nullptr), E_POINTER);
    EXPECT_EQ(entry->get_Protocol(nullptr), E_POINTER);
    EXPECT_EQ(entry->get_Enabled(nullptr), E_POINTER);
}

TEST_F(FirewallClassesTest, ObjectsAnswerOnlyForTheirInterfaces)
{
    ComPtr<INetFwMgr> manager;
    EXPECT_EQ(CoCreateInstance(CLSID_NetFwMgr, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwOpenPort, manager.put_void()),
              E_NOINTERFACE);
    EXPECT_FALSE(manager);
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(CoCreateInstance(CLSID_NetFwMgr, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, unknown.put_void()), S_OK);
    EXPECT_EQ(unknown->QueryInterface(IID_INetFwMgr, manager.put_void()), S_OK);
    EXPECT_EQ(fake.profilesOpened, 0) << "the firewall is looked at only when the profile is asked for";
}

TEST_F(FirewallClassesTest, ProfileStatusFollowsTheManager)
{
    struct Case {
        Status status;
        HRESULT hr;
    };
    for (const Case c : {Case{Status::Ok, S_OK}, Case{Status::AccessDenied, E_ACCESSDENIED},
                         Case{Status::Failed, E_FAIL}, Case{Status::TimedOut, HRESULT_FROM_WIN32(1460)}}) {
        fake.openProfile = c.status;
        FirewallState state;
        EXPECT_EQ(OpenFirewallProfile(state), c.hr);
        EXPECT_EQ(static_cast<bool>(state.Profile), c.status == Status::Ok);
    }
    EXPECT_EQ(fake.profilesOpened, 4);
}

TEST_F(FirewallClassesTest, FirewallOnAsTheManagerSays)
{
    fake.enabled = false;
    EXPECT_FALSE(IsFirewallOn(Profile().get()));
    fake.enabled = true;
    EXPECT_TRUE(IsFirewallOn(Profile().get()));
}

TEST_F(FirewallClassesTest, ClosedPortIsAddedUnderItsName)
{
    ComPtr<INetFwProfile> profile = Profile();
    EXPECT_EQ(OpenFirewallPort(profile.get(), 8080, NET_FW_IP_PROTOCOL_UDP, L"HLMX 8080 UDP"), S_OK);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"find 8080/udp", "open 8080/udp 'HLMX 8080 UDP'"}));
}

TEST_F(FirewallClassesTest, OpenPortIsLeftAsItIs)
{
    fake.open[{8080, Protocol::Tcp}] = "theirs";
    ComPtr<INetFwProfile> profile = Profile();
    EXPECT_EQ(OpenFirewallPort(profile.get(), 8080, NET_FW_IP_PROTOCOL_TCP, L"HLMX 8080 TCP"), S_OK);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"find 8080/tcp"}));
}

TEST_F(FirewallClassesTest, ItemHandsOutTheEntryTheFirewallHas)
{
    fake.open[{53, Protocol::Udp}] = "\xc3\x9c dns";
    ComPtr<INetFwOpenPorts> ports;
    ASSERT_EQ(Profile()->get_GloballyOpenPorts(ports.put()), S_OK);
    ComPtr<INetFwOpenPort> entry;
    ASSERT_EQ(ports->Item(53, NET_FW_IP_PROTOCOL_UDP, entry.put()), S_OK);
    Bstr name;
    LONG port = 0;
    NET_FW_IP_PROTOCOL protocol = NET_FW_IP_PROTOCOL_ANY;
    EXPECT_EQ(entry->get_Name(name.put()), S_OK);
    EXPECT_EQ(name.ToWide(), L"\x00dc dns");
    EXPECT_EQ(entry->get_Port(&port), S_OK);
    EXPECT_EQ(port, 53);
    EXPECT_EQ(entry->get_Protocol(&protocol), S_OK);
    EXPECT_EQ(protocol, NET_FW_IP_PROTOCOL_UDP);

    EXPECT_EQ(ports->Item(53, NET_FW_IP_PROTOCOL_TCP, entry.put()), HRESULT_FROM_WIN32(2));
    EXPECT_FALSE(entry);
    fake.calls.clear();
    EXPECT_EQ(ports->Item(0, NET_FW_IP_PROTOCOL_TCP, entry.put()), E_INVALIDARG);
    EXPECT_EQ(ports->Item(53, NET_FW_IP_PROTOCOL_ANY, entry.put()), E_INVALIDARG);
    EXPECT_EQ(ports->Item(53, NET_FW_IP_PROTOCOL_TCP, nullptr), E_POINTER);
    EXPECT_TRUE(fake.calls.empty()) << "the firewall is not asked about what it cannot hold";
}

// An entry of someone else's making whose name cannot be read.
class NamelessEntry final : public comrt::ComObject<INetFwOpenPort> {
public:
    HRESULT get_Port(LONG* port) override { return *port = 9000, S_OK; }
    HRESULT put_Port(LONG) override { return E_NOTIMPL; }
    HRESULT get_Protocol(NET_FW_IP_PROTOCOL* protocol) override { return *protocol = NET_FW_IP_PROTOCOL_TCP, S_OK; }
    HRESULT put_Protocol(NET_FW_IP_PROTOCOL) override { return E_NOTIMPL; }
    HRESULT get_Name(BSTR*) override { return E_OUTOFMEMORY; }
    HRESULT put_Name(BSTR) override { return E_NOTIMPL; }
    HRESULT get_Enabled(VARIANT_BOOL*) override { return E_NOTIMPL; }
};

TEST_F(FirewallClassesTest, AddTakesWhatTheEntrySaysOrNothing)
{
    ComPtr<INetFwOpenPorts> ports;
    ASSERT_EQ(Profile()->get_GloballyOpenPorts(ports.put()), S_OK);
    EXPECT_EQ(ports->Add(nullptr), E_POINTER);
    ComPtr<INetFwOpenPort> nameless;
    *nameless.put() = new NamelessEntry();
    EXPECT_EQ(ports->Add(nameless.get()), E_OUTOFMEMORY);
    ComPtr<INetFwOpenPort> empty = NewEntry();  // port 0: never set
    EXPECT_EQ(ports->Add(empty.get()), E_INVALIDARG);
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(FirewallClassesTest, RefusedAddIsAFailure)
{
    for (const Status refusal : {Status::AccessDenied, Status::Failed, Status::TimedOut}) {
        fake.openPort = refusal;
        EXPECT_TRUE(FAILED(OpenFirewallPort(Profile().get(), 8080, NET_FW_IP_PROTOCOL_TCP, L"HLMX 8080 TCP")));
    }
    fake.openPort = Status::AccessDenied;
    EXPECT_EQ(OpenFirewallPort(Profile().get(), 8080, NET_FW_IP_PROTOCOL_TCP, L"n"), E_ACCESSDENIED);
}

// Without a gateway the mappings fail; what is left to see is the firewall's share.
TEST_F(FirewallClassesTest, ForwardRequestCodesFromTheFirewall)
{
    struct Case {
        Status profile;
        bool enabled;
        Status add;
        std::int32_t code;
        bool firewallOpen;
        std::size_t opened;
    };
    const Case cases[] = {
        {Status::AccessDenied, true, Status::Ok, kErrorNoFirewallProfile, false, 0},
        {Status::TimedOut, true, Status::Ok, kErrorNoFirewallProfile, false, 0},
        {Status::Ok, true, Status::AccessDenied, kErrorFirewallNotOpened, false, 2},
        {Status::Ok, true, Status::Ok, 0, true, 2},
        {Status::Ok, false, Status::Ok, 0, true, 0},
    };
    for (const Case& c : cases) {
        fake = FakeFirewall{};
        fake.openProfile = c.profile;
        fake.enabled = c.enabled;
        fake.openPort = c.add;
        Varneth mapping;
        const ForwardResult result = mapping.Forward(2, 8080, L"10.0.0.5", L"AUTO");
        EXPECT_EQ(mapping.ErrorCode, c.code);
        EXPECT_EQ(result.FirewallOpen, c.firewallOpen);
        EXPECT_FALSE(result.Mapped);
        std::size_t opened = 0;
        for (const std::string& call : fake.calls) opened += call.rfind("open ", 0) == 0;
        EXPECT_EQ(opened, c.opened);
    }
}

} // namespace
} // namespace firewall
