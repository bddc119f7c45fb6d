// The NAT classes through the COM runtime, against a fake gateway on loopback: its
// SSDP answer at 127.0.0.1 (also the default gateway) and its HTTP side.
#include <gtest/gtest.h>

#include <memory>

#include "com/com_ptr.h"
#include "fake_igd.h"
#include "fake_ssdp_responder.h"
#include "gateway_test_support.h"
#include "platform/linux/gateway/gateway_classes.h"

using namespace std::chrono_literals;
using Behaviour = FakeIgdConfig::Behaviour;

namespace {

const gateway::Ipv4 kLoopback = Ip("127.0.0.1");

class GatewayClassesTest : public ::testing::Test {
protected:
    // Starts the fake gateway and registers the classes to search for it.
    void StartGateway(FakeIgdConfig config, bool answerSearch = true)
    {
        igd = std::make_unique<FakeIgd>(std::move(config));
        ssdp = std::make_unique<FakeSsdpResponder>(kLoopback, 0, answerSearch ? GatewayAnswer(igd->Location()) : "");
        settings.routeTable = routes.Path();
        settings.ssdpGroup = kLoopback;
        settings.ssdpPort = ssdp->Port();
        RegisterGatewayClasses(settings);
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    }

    void TearDown() override
    {
        comrt::RevokeClass(CLSID_UPnPNAT); // gives back the session
        EXPECT_EQ(comrt::LiveObjectCount(), 0);
        EXPECT_EQ(comrt::LiveStringCount(), 0);
    }

    ComPtr<IStaticPortMappingCollection> Collection()
    {
        ComPtr<IUPnPNAT> nat;
        EXPECT_EQ(CoCreateInstance(CLSID_UPnPNAT, nullptr, CLSCTX_ALL, IID_IUPnPNAT, nat.put_void()), S_OK);
        ComPtr<IStaticPortMappingCollection> collection;
        EXPECT_EQ(nat->get_StaticPortMappingCollection(collection.put()), S_OK);
        return collection;
    }

    HRESULT Add(IStaticPortMappingCollection& collection, LONG port, const wchar_t* protocol, const wchar_t* client,
                ComPtr<IStaticPortMapping>& mapping, const wchar_t* description = L"HLMX 8080 TCP")
    {
        const Bstr protocolText{std::wstring(protocol)}, clientText{std::wstring(client)};
        const Bstr descriptionText{std::wstring(description)};
        return collection.Add(port, protocolText.get(), port, clientText.get(), VARIANT_TRUE, descriptionText.get(),
                              mapping.put());
    }

    const gateway::Ipv4 defaultGateway = kLoopback;
    RouteTableFile routes{&defaultGateway};
    gateway::GatewaySettings settings{{}, {}, 0, 500ms, 1000ms, 5000ms};
    std::unique_ptr<FakeIgd> igd;
    std::unique_ptr<FakeSsdpResponder> ssdp;
};

} // namespace

TEST_F(GatewayClassesTest, AddMapsThePortAndAnswersFromTheReadBack)
{
    StartGateway({});
    const auto collection = Collection();
    ASSERT_TRUE(collection);
    ComPtr<IStaticPortMapping> mapping;
    ASSERT_EQ(Add(*collection.get(), 8080, L"TCP", L"127.0.0.1", mapping), S_OK);
    ASSERT_TRUE(mapping);

    const auto calls = igd->Calls();
    ASSERT_GE(calls.size(), 2u);
    const SoapCall& add = calls[calls.size() - 2];
    EXPECT_EQ(add.action, "AddPortMapping");
    EXPECT_EQ(add.arguments.at("NewExternalPort"), "8080");
    EXPECT_EQ(add.arguments.at("NewInternalPort"), "8080");
    EXPECT_EQ(add.arguments.at("NewProtocol"), "TCP");
    EXPECT_EQ(add.arguments.at("NewInternalClient"), "127.0.0.1");
    EXPECT_EQ(add.arguments.at("NewEnabled"), "1");
    EXPECT_EQ(add.arguments.at("NewLeaseDuration"), "0");
    EXPECT_EQ(add.arguments.at("NewPortMappingDescription"), "HLMX 8080 TCP");
    EXPECT_EQ(calls.back().action, "GetSpecificPortMappingEntry");
    EXPECT_EQ(calls.back().arguments.at("NewExternalPort"), "8080");
    EXPECT_EQ(calls.back().arguments.at("NewProtocol"), "TCP");

    Bstr address, protocol, client, description;
    LONG externalPort = 0, internalPort = 0;
    VARIANT_BOOL enabled = VARIANT_FALSE;
    EXPECT_EQ(mapping->get_ExternalIPAddress(address.put()), S_OK);
    EXPECT_EQ(mapping->get_ExternalPort(&externalPort), S_OK);
    EXPECT_EQ(mapping->get_InternalPort(&internalPort), S_OK);
    EXPECT_EQ(mapping->get_Protocol(protocol.put()), S_OK);
    EXPECT_EQ(mapping->get_InternalClient(client.put()), S_OK);
    EXPECT_EQ(mapping->get_Enabled(&enabled), S_OK);
    EXPECT_EQ(mapping->get_Description(description.put()), S_OK);
    EXPECT_EQ(address.ToWide(), L"11.77.0.1");
    EXPECT_EQ(externalPort, 8080);
    EXPECT_EQ(internalPort, 8080);
    EXPECT_EQ(protocol.ToWide(), L"TCP");
    EXPECT_EQ(client.ToWide(), L"127.0.0.1");
    EXPECT_EQ(enabled, VARIANT_TRUE);
    EXPECT_EQ(description.ToWide(), L"HLMX 8080 TCP");
}

TEST_F(GatewayClassesTest, EveryNatObjectOfTheRunSharesOneSearch)
{
    StartGateway({});
    ComPtr<IStaticPortMapping> tcp, udp;
    ASSERT_EQ(Add(*Collection().get(), 8080, L"TCP", L"127.0.0.1", tcp), S_OK);
    ASSERT_EQ(Add(*Collection().get(), 8080, L"UDP", L"127.0.0.1", udp, L"HLMX 8080 UDP"), S_OK);
    EXPECT_EQ(ssdp->Searches().size(), 4u); // two search targets, to the gateway and to the group, once
    EXPECT_EQ(igd->CallsOf("GetStatusInfo"), 1);
    EXPECT_EQ(igd->CallsOf("AddPortMapping"), 2);
    Bstr protocol;
    ASSERT_EQ(udp->get_Protocol(protocol.put()), S_OK);
    EXPECT_EQ(protocol.ToWide(), L"UDP");
}

TEST_F(GatewayClassesTest, ARefusalIsAFailureWithItsCodeOnStandardError)
{
    const struct {
        int code;
        std::uint32_t status;
        const char* text;
    } cases[] = {
        {718, 0x80040376u, "718 ConflictInMappingEntry"},
        {606, 0x80040306u, "606 Action not authorized"},
        {501, 0x80004005u, "501 Action Failed"},
    };
    for (const auto& c : cases) {
        FakeIgdConfig config;
        config.addError = c.code;
        StartGateway(config);
        const StderrCapture errors;
        ComPtr<IStaticPortMapping> mapping;
        EXPECT_EQ(static_cast<std::uint32_t>(Add(*Collection().get(), 8080, L"TCP", L"127.0.0.1", mapping)), c.status);
        EXPECT_FALSE(mapping);
        EXPECT_NE(errors.Text().find(c.text), std::string::npos) << errors.Text();
        EXPECT_EQ(igd->CallsOf("GetSpecificPortMappingEntry"), 0);
        comrt::RevokeClass(CLSID_UPnPNAT);
    }
}

TEST_F(GatewayClassesTest, ASuccessTheGatewayDoesNotHoldIsAFailure)
{
    const struct {
        const char* name;
        FakeIgdConfig config;
        const char* reason;
    } cases[] = {
        {"nothing held", [] { FakeIgdConfig c; c.holdsNothing = true; return c; }(), "714 NoSuchEntryInArray"},
        {"held for another host", [] { FakeIgdConfig c; c.heldClient = "127.0.0.9"; return c; }(),
         "holds the port for 127.0.0.9:8080"},
        {"held disabled", [] { FakeIgdConfig c; c.heldEnabled = false; return c; }(), "127.0.0.1:8080, disabled"},
    };
    for (const auto& c : cases) {
        StartGateway(c.config);
        const StderrCapture errors;
        ComPtr<IStaticPortMapping> mapping;
        EXPECT_EQ(Add(*Collection().get(), 8080, L"TCP", L"127.0.0.1", mapping), E_FAIL) << c.name;
        EXPECT_FALSE(mapping) << c.name;
        EXPECT_NE(errors.Text().find(c.reason), std::string::npos) << c.name << ": " << errors.Text();
        comrt::RevokeClass(CLSID_UPnPNAT);
    }
}

TEST_F(GatewayClassesTest, BadArgumentsSendNothing)
{
    StartGateway({});
    const auto collection = Collection();
    ASSERT_TRUE(collection);
    const struct {
        LONG port;
        const wchar_t* protocol;
        const wchar_t* client;
    } cases[] = {
        {0, L"TCP", L"127.0.0.1"},   {65536, L"TCP", L"127.0.0.1"}, {70000, L"UDP", L"127.0.0.1"},
        {-5, L"TCP", L"127.0.0.1"},  {8080, L"TCP", L""},           {8080, L"SCTP", L"127.0.0.1"},
    };
    for (const auto& c : cases) {
        const StderrCapture errors;
        ComPtr<IStaticPortMapping> mapping;
        EXPECT_EQ(Add(*collection.get(), c.port, c.protocol, c.client, mapping), E_INVALIDARG) << c.port;
        EXPECT_FALSE(mapping);
        EXPECT_NE(errors.Text().find("nothing sent"), std::string::npos);
    }
    EXPECT_EQ(igd->CallsOf("AddPortMapping"), 0);
}

TEST_F(GatewayClassesTest, AGatewayThatCannotGiveReachablePortsLeavesTheCollectionNull)
{
    const auto config = [](const char* status, const char* address, bool isGateway = true) {
        FakeIgdConfig c;
        c.connectionStatus = status;
        c.externalAddress = address;
        c.isGateway = isGateway;
        return c;
    };
    const struct {
        FakeIgdConfig config;
        const char* reason;
    } cases[] = {
        {config("Disconnected", "11.77.0.1"), "not connected to the Internet"},
        {config("Connected", "100.64.0.1"), "reserved external address 100.64.0.1"},
        {config("Connected", "192.168.0.10"), "reserved external address 192.168.0.10"},
        {config("Connected", ""), "no external address"},
        {config("Connected", "11.77.0.1", false), "is no Internet gateway"},
    };
    for (const auto& c : cases) {
        StartGateway(c.config);
        const StderrCapture errors;
        EXPECT_FALSE(Collection()) << c.reason;
        EXPECT_NE(errors.Text().find(c.reason), std::string::npos) << errors.Text();
        comrt::RevokeClass(CLSID_UPnPNAT);
    }
}

TEST_F(GatewayClassesTest, NoSoapGoesToAControlUrlOnAnotherHost)
{
    FakeIgdConfig config;
    config.urlBase = "http://127.0.0.9:9/";
    StartGateway(config);
    const StderrCapture errors;
    EXPECT_FALSE(Collection());
    EXPECT_NE(errors.Text().find("names another host for its control URL"), std::string::npos) << errors.Text();
    EXPECT_TRUE(igd->Calls().empty());
}

TEST_F(GatewayClassesTest, OfTwoConnectionServicesTheConnectedOneIsUsed)
{
    FakeIgdConfig config;
    config.pppStatus = "Disconnected";
    StartGateway(config);
    ComPtr<IStaticPortMapping> mapping;
    ASSERT_EQ(Add(*Collection().get(), 8080, L"TCP", L"127.0.0.1", mapping), S_OK);
    const auto calls = igd->Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls.front().path, "/ctl/PPPConn"); // asked first, not connected
    EXPECT_EQ(calls.front().action, "GetStatusInfo");
    EXPECT_EQ(calls[calls.size() - 2].action, "AddPortMapping");
    EXPECT_EQ(calls[calls.size() - 2].path, "/ctl/IPConn");
}

TEST_F(GatewayClassesTest, NoAnswerToTheSearchIsANullCollectionOnce)
{
    StartGateway({}, false);
    const StderrCapture errors;
    const Stopwatch watch;
    EXPECT_FALSE(Collection());
    EXPECT_FALSE(Collection());
    EXPECT_GE(watch.Milliseconds(), 490);
    EXPECT_LT(watch.Milliseconds(), 900); // the second object does not search again
    EXPECT_NE(errors.Text().find("no Internet gateway answered the search within 500 ms"), std::string::npos);
    EXPECT_EQ(ssdp->Searches().size(), 4u);
}

TEST_F(GatewayClassesTest, AGatewayThatHangsOrTricklesIsLeftAtTheDeadline)
{
    for (const Behaviour behaviour : {Behaviour::Hang, Behaviour::Trickle}) {
        FakeIgdConfig config;
        config.behaviour = behaviour;
        StartGateway(config);
        const StderrCapture errors;
        const Stopwatch watch;
        EXPECT_FALSE(Collection());
        EXPECT_LT(watch.Milliseconds(), 1000 + 400);
        EXPECT_NE(errors.Text().find("no answer from the device at"), std::string::npos) << errors.Text();
        comrt::RevokeClass(CLSID_UPnPNAT);
    }
}

TEST_F(GatewayClassesTest, ADescriptionThatNeverEndsIsNotReadToTheEnd)
{
    FakeIgdConfig config;
    config.behaviour = Behaviour::Endless;
    StartGateway(config);
    const StderrCapture errors;
    EXPECT_FALSE(Collection());
    EXPECT_NE(errors.Text().find("http://127.0.0.1:"), std::string::npos) << errors.Text();
}

TEST_F(GatewayClassesTest, TheRunsBudgetBoundsEveryCall)
{
    settings.callTime = 5000ms;
    settings.totalTime = 700ms;
    FakeIgdConfig config;
    config.behaviour = Behaviour::Hang;
    StartGateway(config);
    const StderrCapture errors;
    const Stopwatch watch;
    EXPECT_FALSE(Collection());
    EXPECT_LT(watch.Milliseconds(), 700 + 300);
}

TEST_F(GatewayClassesTest, NullPlacesAreRefused)
{
    StartGateway({});
    ComPtr<IUPnPNAT> nat;
    ASSERT_EQ(CoCreateInstance(CLSID_UPnPNAT, nullptr, CLSCTX_ALL, IID_IUPnPNAT, nat.put_void()), S_OK);
    EXPECT_EQ(nat->get_StaticPortMappingCollection(nullptr), E_POINTER);
    ComPtr<IStaticPortMappingCollection> collection;
    ASSERT_EQ(nat->get_StaticPortMappingCollection(collection.put()), S_OK);
    const Bstr tcp{std::wstring(L"TCP")}, client{std::wstring(L"127.0.0.1")};
    EXPECT_EQ(collection->Add(8080, tcp.get(), 8080, client.get(), VARIANT_TRUE, nullptr, nullptr), E_POINTER);
    EXPECT_EQ(igd->CallsOf("AddPortMapping"), 0);
    ComPtr<IStaticPortMapping> mapping;
    ASSERT_EQ(collection->Add(8080, tcp.get(), 8080, client.get(), VARIANT_TRUE, nullptr, mapping.put()), S_OK);
    EXPECT_EQ(mapping->get_ExternalIPAddress(nullptr), E_POINTER);
    EXPECT_EQ(mapping->get_ExternalPort(nullptr), E_POINTER);
    EXPECT_EQ(mapping->get_Enabled(nullptr), E_POINTER);
    EXPECT_EQ(mapping->get_Description(nullptr), E_POINTER);
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(mapping->QueryInterface(IID_IUnknown, unknown.put_void()), S_OK);
    ComPtr<IUPnPNAT> wrong;
    EXPECT_EQ(mapping->QueryInterface(IID_IUPnPNAT, wrong.put_void()), E_NOINTERFACE);
}
