// The firewall classes through the COM runtime, driven the way the module drives them.
#include <gtest/gtest.h>

#include "com/com_ptr.h"
#include "fake_firewall.h"
#include "firewall_classes.h"
#include "firewall_opener.h"

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

TEST_F(FirewallClassesTest, NewEntryTakesOnlyRealPortsAndProtocolsAndKeepsItsName)
{
    ComPtr<INetFwOpenPort> entry = NewEntry();
    ASSERT_TRUE(entry);
    LONG port = -1;
    EXPECT_EQ(entry->get_Port(&port), S_OK);
    EXPECT_EQ(port, 0);
    for (const auto& [value, hr] : {std::pair<LONG, HRESULT>{1, S_OK}, {65535, S_OK}, {0, E_INVALIDARG},
                                    {65536, E_INVALIDARG}, {-5, E_INVALIDARG}, {100000, E_INVALIDARG}}) {
        EXPECT_EQ(entry->put_Port(42), S_OK);
        EXPECT_EQ(entry->put_Port(value), hr) << value;
        EXPECT_EQ(entry->get_Port(&port), S_OK);
        EXPECT_EQ(port, SUCCEEDED(hr) ? value : 42) << "a refused port leaves the entry as it was";
    }
    NET_FW_IP_PROTOCOL protocol = NET_FW_IP_PROTOCOL_ANY;
    EXPECT_EQ(entry->put_Protocol(NET_FW_IP_PROTOCOL_UDP), S_OK);
    EXPECT_EQ(entry->put_Protocol(NET_FW_IP_PROTOCOL_ANY), E_INVALIDARG);
    EXPECT_EQ(entry->put_Protocol(static_cast<NET_FW_IP_PROTOCOL>(1)), E_INVALIDARG);
    EXPECT_EQ(entry->get_Protocol(&protocol), S_OK);
    EXPECT_EQ(protocol, NET_FW_IP_PROTOCOL_UDP);

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

TEST_F(FirewallClassesTest, AManagerIsNotMadeForAnotherInterface)
{
    ComPtr<INetFwMgr> manager;
    EXPECT_EQ(CoCreateInstance(CLSID_NetFwMgr, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwOpenPort, manager.put_void()),
              E_NOINTERFACE);
    EXPECT_FALSE(manager);
}

// What the module sees of the manager's answers: the profile, whether the firewall is
// on, and an add.
TEST_F(FirewallClassesTest, StatusesFollowTheManager)
{
    const struct {
        Status status;
        HRESULT hr;
    } cases[] = {{Status::Ok, S_OK}, {Status::AccessDenied, E_ACCESSDENIED}, {Status::Failed, E_FAIL},
                 {Status::TimedOut, HRESULT_FROM_WIN32(1460)}};
    for (const auto& c : cases) {
        fake.openProfile = c.status;
        FirewallState state;
        EXPECT_EQ(OpenFirewallProfile(state), c.hr);
        EXPECT_EQ(static_cast<bool>(state.Profile), c.status == Status::Ok);
        fake.openProfile = Status::Ok;
        fake.openPort = c.status;
        fake.open.clear();
        EXPECT_EQ(OpenFirewallPort(Profile().get(), 8080, NET_FW_IP_PROTOCOL_TCP, L"HLMX 8080 TCP"), c.hr);
    }
    fake.enabled = false;
    EXPECT_FALSE(IsFirewallOn(Profile().get()));
    fake.enabled = true;
    EXPECT_TRUE(IsFirewallOn(Profile().get()));
}

TEST_F(FirewallClassesTest, AClosedPortIsAddedUnderItsNameAnOpenOneLeftAsItIs)
{
    ComPtr<INetFwProfile> profile = Profile();
    EXPECT_EQ(OpenFirewallPort(profile.get(), 8080, NET_FW_IP_PROTOCOL_UDP, L"HLMX 8080 UDP"), S_OK);
    EXPECT_EQ(OpenFirewallPort(profile.get(), 8080, NET_FW_IP_PROTOCOL_UDP, L"HLMX 8080 UDP"), S_FALSE);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"find 8080/udp", "open 8080/udp 'HLMX 8080 UDP'", "find 8080/udp"}));
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
    ASSERT_EQ(entry->get_Name(name.put()), S_OK);
    ASSERT_EQ(entry->get_Port(&port), S_OK);
    ASSERT_EQ(entry->get_Protocol(&protocol), S_OK);
    EXPECT_EQ(name.ToWide() + L" " + std::to_wstring(port) + L"/" + std::to_wstring(protocol), L"\x00dc dns 53/17");

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

} // namespace
} // namespace firewall
