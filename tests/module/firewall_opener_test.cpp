// Letting a port in through the firewall's current profile, against fake firewall classes.
#include <gtest/gtest.h>

#include "firewall_opener.h"
#include "test_support.h"

namespace {

using Lines = std::vector<std::string>;

class FirewallOpener : public ComTest {
protected:
    HRESULT Open(long port, NET_FW_IP_PROTOCOL protocol, const std::wstring& name)
    {
        FirewallState state;
        const HRESULT profile = OpenFirewallProfile(state);
        EXPECT_TRUE(SUCCEEDED(profile));
        platform.calls.clear();
        return state.Profile ? OpenFirewallPort(state.Profile.get(), port, protocol, name) : profile;
    }
};

TEST_F(FirewallOpener, AddsAMissingPortUnderItsName)
{
    EXPECT_EQ(Open(8080, NET_FW_IP_PROTOCOL_TCP, L"HLMX 8080 TCP"), S_OK);
    EXPECT_EQ(platform.calls, (Lines{"get_GloballyOpenPorts", "Item 8080 6", "get_GloballyOpenPorts",
                                     "CoCreateInstance NetFwOpenPort", "put_Port 8080", "put_Protocol 6",
                                     "put_Name HLMX 8080 TCP", "OpenPorts.Add 8080 6 'HLMX 8080 TCP'"}));
}

TEST_F(FirewallOpener, LeavesAnEnabledEntryAsItIsWhateverItsName)
{
    platform.openPorts[{8080, 17}] = {L"someone else's", true};
    EXPECT_EQ(Open(8080, NET_FW_IP_PROTOCOL_UDP, L"HLMX 8080 UDP"), S_FALSE) << "open already";
    EXPECT_EQ(platform.calls, (Lines{"get_GloballyOpenPorts", "Item 8080 17", "get_Enabled"}));
    const auto key = std::make_pair(8080L, 17);
    EXPECT_EQ(platform.openPorts[key].first, L"someone else's");
}

TEST_F(FirewallOpener, ADisabledEntryGetsANewOneUnderTheNewName)
{
    platform.openPorts[{8080, 6}] = {L"old", false};
    EXPECT_EQ(Open(8080, NET_FW_IP_PROTOCOL_TCP, L"HLMX 8080 TCP"), S_OK);
    EXPECT_EQ(platform.CallsStartingWith("OpenPorts.Add"), Lines{"OpenPorts.Add 8080 6 'HLMX 8080 TCP'"});
}

TEST_F(FirewallOpener, AFailedLookupIsNoFailureButAnAdd)
{
    platform.openPorts[{8080, 6}] = {L"old", true};
    platform.itemLookup = Outcome::Fails;
    EXPECT_EQ(Open(8080, NET_FW_IP_PROTOCOL_TCP, L"n"), S_OK);
    EXPECT_EQ(platform.CallsStartingWith("OpenPorts.Add").size(), 1u);
}

struct OpenerFault {
    const char* name;
    Outcome FakePlatform::*step;
    std::wstring entryName;
    HRESULT expected;
    bool existing;
};

class FirewallOpenerFaults : public FirewallOpener, public ::testing::WithParamInterface<OpenerFault> {};

TEST_P(FirewallOpenerFaults, EndTheOperationWithTheFailingStatusAndAddNothing)
{
    const OpenerFault& fault = GetParam();
    if (fault.existing) platform.openPorts[{8080, 6}] = {L"old", true};
    if (fault.step != nullptr) platform.*fault.step = Outcome::Fails;
    EXPECT_EQ(Open(8080, NET_FW_IP_PROTOCOL_TCP, fault.entryName), fault.expected);
    EXPECT_TRUE(platform.CallsStartingWith("OpenPorts.Add").empty() || fault.step == &FakePlatform::addOpenPort);
    if (fault.expected == E_OUTOFMEMORY) {
        EXPECT_TRUE(platform.CallsStartingWith("put_Name").empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, FirewallOpenerFaults,
    ::testing::Values(OpenerFault{"open_ports", &FakePlatform::getOpenPorts, L"n", E_FAIL, false},
                      OpenerFault{"enabled_read", &FakePlatform::getPortEnabled, L"n", E_FAIL, true},
                      OpenerFault{"create_entry", &FakePlatform::createOpenPort, L"n", REGDB_E_CLASSNOTREG, false},
                      OpenerFault{"put_port", &FakePlatform::putPort, L"n", E_FAIL, false},
                      OpenerFault{"put_protocol", &FakePlatform::putProtocol, L"n", E_FAIL, false},
                      OpenerFault{"empty_name", nullptr, L"", E_OUTOFMEMORY, false},
                      OpenerFault{"put_name", &FakePlatform::putName, L"n", E_FAIL, false},
                      OpenerFault{"add", &FakePlatform::addOpenPort, L"n", E_FAIL, false}),
    [](const ::testing::TestParamInfo<OpenerFault>& info) { return info.param.name; });

struct ProfileCase {
    const char* name;
    Outcome FakePlatform::*step;
    Outcome outcome;
    bool obtained;
};

class FirewallProfile : public ComTest, public ::testing::WithParamInterface<ProfileCase> {};

TEST_P(FirewallProfile, IsObtainedOnlyWhenEveryStepHandsOutItsReference)
{
    platform.*GetParam().step = GetParam().outcome;
    FirewallState state;
    const HRESULT hr = OpenFirewallProfile(state);
    EXPECT_EQ(SUCCEEDED(hr), GetParam().obtained);
    EXPECT_EQ(static_cast<bool>(state.Profile), GetParam().obtained);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, FirewallProfile,
    ::testing::Values(ProfileCase{"all_work", &FakePlatform::getCurrentProfile, Outcome::Works, true},
                      ProfileCase{"manager_fails", &FakePlatform::createManager, Outcome::Fails, false},
                      ProfileCase{"manager_null", &FakePlatform::createManager, Outcome::LeavesNull, false},
                      ProfileCase{"policy_fails", &FakePlatform::getLocalPolicy, Outcome::Fails, false},
                      ProfileCase{"policy_null", &FakePlatform::getLocalPolicy, Outcome::LeavesNull, false},
                      ProfileCase{"profile_fails", &FakePlatform::getCurrentProfile, Outcome::Fails, false},
                      ProfileCase{"profile_null", &FakePlatform::getCurrentProfile, Outcome::LeavesNull, false}),
    [](const ::testing::TestParamInfo<ProfileCase>& info) { return info.param.name; });

TEST_F(ComTest, FirewallIsOnOnlyWhenTheReadSucceedsWithNonZero)
{
    FirewallState state;
    ASSERT_EQ(OpenFirewallProfile(state), S_OK);
    EXPECT_TRUE(IsFirewallOn(state.Profile.get()));
    platform.firewallEnabled = false;
    EXPECT_FALSE(IsFirewallOn(state.Profile.get()));
    platform.firewallEnabled = true;
    platform.getFirewallEnabled = Outcome::Fails;
    EXPECT_FALSE(IsFirewallOn(state.Profile.get()));
}

} // namespace
