// Varneth's gateway side: Access, Add and MapPort against fake NAT UPnP classes.
#include <gtest/gtest.h>

#include "test_support.h"
#include "varneth.h"

namespace {

using Lines = std::vector<std::string>;

struct MappingFault {
    const char* name;
    Outcome FakePlatform::*step;
    Outcome outcome;
    std::string diagnostic;
    bool addAttempted;
};

class MappingClientFaults : public ComTest, public ::testing::WithParamInterface<MappingFault> {};

TEST_P(MappingClientFaults, PrintOneLineAndReturnFalse)
{
    const MappingFault& fault = GetParam();
    platform.*fault.step = fault.outcome;
    ::testing::internal::CaptureStdout();
    {
        Varneth mapping;
        EXPECT_FALSE(mapping.MapPort(L't', 8080, 8080, L"10.0.0.5", L"HLMX 8080 TCP"));
        EXPECT_EQ(mapping.ErrorCode, 0) << "the client never sets the result code";
    }
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), fault.diagnostic + "\n");
    EXPECT_EQ(platform.CallsStartingWith("Add ").size(), fault.addAttempted ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, MappingClientFaults,
    ::testing::Values(
        MappingFault{"create_fails", &FakePlatform::createNat, Outcome::Fails,
                     "Varneth::Access CoCreateInstance IUPnPNAT failed", false},
        MappingFault{"create_leaves_null", &FakePlatform::createNat, Outcome::LeavesNull,
                     "Varneth::Access CoCreateInstance succeeded, but left Nat null", false},
        MappingFault{"collection_fails", &FakePlatform::getCollection, Outcome::Fails,
                     "Varneth::Access Nat->get_StaticPortMappingCollection failed", false},
        MappingFault{"collection_null", &FakePlatform::getCollection, Outcome::LeavesNull,
                     "Varneth::Access Nat->get_StaticPortMappingCollection succeeded, but left Collection null", false},
        MappingFault{"add_fails", &FakePlatform::addMapping, Outcome::Fails, "Varneth::Add Collection->Add failed", true},
        MappingFault{"add_leaves_null", &FakePlatform::addMapping, Outcome::LeavesNull,
                     "Varneth::Add Collection->Add succeeded, but left Mapping null", true}),
    [](const ::testing::TestParamInfo<MappingFault>& info) { return info.param.name; });

TEST_F(ComTest, CreateFailureMakesNoFurtherNatCall)
{
    platform.createNat = Outcome::Fails;
    ::testing::internal::CaptureStdout();
    Varneth mapping;
    EXPECT_FALSE(mapping.MapPort(L't', 1, 1, L"a", L"b"));
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(platform.calls, Lines{"CoCreateInstance UPnPNAT"});
}

TEST_F(ComTest, MapPortAddsOneEnabledMappingWithTheProtocolOfTheCharacter)
{
    Varneth mapping;
    EXPECT_TRUE(mapping.MapPort(L't', 8080, 8080, L"10.0.0.5", L"HLMX 8080 TCP"));
    EXPECT_TRUE(mapping.MapPort(L'u', 53, 53, L"10.0.0.5", L"d"));
    EXPECT_TRUE(mapping.MapPort(L'x', 54, 54, L"10.0.0.5", L"d"));
    EXPECT_EQ(platform.CallsStartingWith("Add "),
              (Lines{"Add TCP 8080->10.0.0.5:8080 'HLMX 8080 TCP' enabled=1", "Add UDP 53->10.0.0.5:53 'd' enabled=1",
                     "Add UDP 54->10.0.0.5:54 'd' enabled=1"}));
}

TEST_F(ComTest, SecondMapPortGivesBackTheFirstObjectsAndKeepsOnlyTheLast)
{
    {
        Varneth mapping;
        ASSERT_TRUE(mapping.MapPort(L't', 8080, 8080, L"10.0.0.5", L"HLMX 8080 TCP"));
        EXPECT_EQ(comrt::LiveObjectCount(), 3);  // NAT, collection, TCP mapping
        ASSERT_TRUE(mapping.MapPort(L'u', 8080, 8080, L"10.0.0.5", L"HLMX 8080 UDP"));
        EXPECT_EQ(comrt::LiveObjectCount(), 3);  // only the second NAT, collection and the UDP mapping
        BSTR protocol = nullptr;
        ASSERT_EQ(mapping.Mapping->get_Protocol(&protocol), S_OK);
        EXPECT_EQ(std::wstring(protocol), L"UDP");
        SysFreeString(protocol);
    }
    EXPECT_EQ(comrt::LiveObjectCount(), 0);
    EXPECT_EQ(platform.CallsStartingWith("CoCreateInstance UPnPNAT").size(), 2u);
}

TEST_F(ComTest, FailedAddGivesBackTheEarlierMapping)
{
    Varneth mapping;
    ASSERT_TRUE(mapping.MapPort(L't', 8080, 8080, L"10.0.0.5", L"x"));
    platform.addMapping = Outcome::Fails;
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(mapping.Add(L'u', 8080, 8080, L"10.0.0.5", L"x"));
    ::testing::internal::GetCapturedStdout();
    EXPECT_FALSE(mapping.Mapping);
}

} // namespace
