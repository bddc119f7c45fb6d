// The NAT classes through the COM runtime, against a fake gateway on loopback: its
// SSDP answer at 127.0.0.1 (also the default gateway) and its HTTP side.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "com/com_ptr.h"
#include "fake_igd.h"
#include "fake_ssdp_responder.h"
#include "gateway_test_support.h"
#include "platform/linux/gateway/gateway_classes.h"
#include "platform/posix/utf8.h"

using namespace std::chrono_literals;
using Behaviour = FakeIgdConfig::Behaviour;
using Arguments = std::map<std::string, std::string>;

namespace {

const gateway::Ipv4 kLoopback = Ip("127.0.0.1");

FakeIgdConfig With(const std::function<void(FakeIgdConfig&)>& change)
{
    FakeIgdConfig config;
    change(config);
    return config;
}

// All a mapping answers, in one line.
std::string Describe(IStaticPortMapping& mapping)
{
    Bstr address, protocol, client, description;
    LONG externalPort = 0, internalPort = 0;
    VARIANT_BOOL enabled = VARIANT_FALSE;
    if (mapping.get_ExternalIPAddress(address.put()) != S_OK || mapping.get_ExternalPort(&externalPort) != S_OK ||
        mapping.get_InternalPort(&internalPort) != S_OK || mapping.get_Protocol(protocol.put()) != S_OK ||
        mapping.get_InternalClient(client.put()) != S_OK || mapping.get_Enabled(&enabled) != S_OK ||
        mapping.get_Description(description.put()) != S_OK)
        return "a getter failed";
    return Utf8FromWide(address.ToWide()) + " " + std::to_string(externalPort) + "/" + Utf8FromWide(protocol.ToWide()) +
           " -> " + Utf8FromWide(client.ToWide()) + ":" + std::to_string(internalPort) +
           (enabled == VARIANT_TRUE ? " '" : " disabled '") + Utf8FromWide(description.ToWide()) + "'";
}

class GatewayClassesTest : public ::testing::Test {
protected:
    // Starts a fake gateway in place of any earlier one, and registers the classes to search for it.
    void StartGateway(FakeIgdConfig config, bool answerSearch = true)
    {
        comrt::RevokeClass(CLSID_UPnPNAT); // gives back the earlier session
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
        comrt::RevokeClass(CLSID_UPnPNAT);
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

    // Maps `port` to the same port of `client`, described as the module describes it.
    HRESULT Add(LONG port, const wchar_t* protocol, const wchar_t* client, ComPtr<IStaticPortMapping>& mapping)
    {
        const auto collection = Collection();
        if (!collection) return E_NOTIMPL; // no collection: a status Add never answers
        const Bstr protocolText{protocol}, clientText{client};
        const Bstr description{L"HLMX " + std::to_wstring(port) + L" " + protocol};
        return collection->Add(port, protocolText.get(), port, clientText.get(), VARIANT_TRUE, description.get(),
                               mapping.put());
    }

    RouteTableFile routes{kLoopback};
    gateway::GatewaySettings settings{{}, {}, 0, 500ms, 1000ms, Clock::now() + 5000ms, LoopbackAsLan};
    std::unique_ptr<FakeIgd> igd;
    std::unique_ptr<FakeSsdpResponder> ssdp;
};

} // namespace

TEST_F(GatewayClassesTest, AddMapsThePortStaticallyAndAnswersFromTheReadBack)
{
    // A gateway that turns the static mapping into one of 7 days, as IGD v2 ones do.
    StartGateway(With([](FakeIgdConfig& c) { c.heldLease = "604800"; }));
    ComPtr<IStaticPortMapping> tcp, udp;
    const StderrCapture errors;
    ASSERT_EQ(Add(8080, L"TCP", L"127.0.0.1", tcp), S_OK);
    EXPECT_NE(errors.Text().find("The gateway 127.0.0.1 answered (UPnP IGD v1); its external address is 11.77.0.1.\n"
                                 "The gateway keeps TCP 8080 for 7 days (lease 604800 s), or until it restarts.\n"),
              std::string::npos)
        << errors.Text();
    const auto calls = igd->Calls();
    ASSERT_GE(calls.size(), 2u);
    const SoapCall& add = calls[calls.size() - 2];
    EXPECT_EQ(add.action, "AddPortMapping");
    EXPECT_EQ(add.arguments, (Arguments{{"NewRemoteHost", ""}, {"NewExternalPort", "8080"}, {"NewProtocol", "TCP"},
                                        {"NewInternalPort", "8080"}, {"NewInternalClient", "127.0.0.1"},
                                        {"NewEnabled", "1"}, {"NewPortMappingDescription", "HLMX 8080 TCP"},
                                        {"NewLeaseDuration", "0"}}));
    EXPECT_EQ(calls.back().action, "GetSpecificPortMappingEntry");
    EXPECT_EQ(calls.back().arguments,
              (Arguments{{"NewRemoteHost", ""}, {"NewExternalPort", "8080"}, {"NewProtocol", "TCP"}}));
    EXPECT_EQ(Describe(*tcp.get()), "11.77.0.1 8080/TCP -> 127.0.0.1:8080 'HLMX 8080 TCP'");
    EXPECT_EQ(tcp->get_ExternalIPAddress(nullptr), E_POINTER);
    EXPECT_EQ(tcp->get_Enabled(nullptr), E_POINTER);

    // Every NAT object of the run shares the one search and validity check.
    ASSERT_EQ(Add(8080, L"UDP", L"127.0.0.1", udp), S_OK);
    EXPECT_EQ(ssdp->Searches().size(), 4u); // two search targets, to the gateway and to the group
    EXPECT_EQ(igd->CallsOf("GetStatusInfo"), 1);
    EXPECT_EQ(igd->CallsOf("AddPortMapping"), 2);
}

TEST_F(GatewayClassesTest, AnAddTheGatewayRefusesOrDoesNotHoldIsAFailure)
{
    const struct {
        FakeIgdConfig config;
        HRESULT status;
        const char* reason; // on standard error
    } cases[] = {
        {With([](FakeIgdConfig& c) { c.addError = 718; }), static_cast<HRESULT>(0x80040376u),
         "The gateway refused TCP 8080: 718 ConflictInMappingEntry, another device holds this port.\n"},
        {With([](FakeIgdConfig& c) { c.addError = 718, c.heldClient = "127.0.0.9"; }),
         static_cast<HRESULT>(0x80040376u), "another device holds this port (127.0.0.9:8080).\n"},
        {With([](FakeIgdConfig& c) { c.holdsNothing = true; }), E_FAIL, "reading it back failed: 714 NoSuchEntryInArray"},
        {With([](FakeIgdConfig& c) { c.heldClient = "127.0.0.9"; }), E_FAIL, "holds the port for 127.0.0.9:8080"},
        {With([](FakeIgdConfig& c) { c.heldEnabled = false; }), E_FAIL, "holds the port for 127.0.0.1:8080, disabled"},
    };
    for (const auto& c : cases) {
        StartGateway(c.config);
        const StderrCapture errors;
        ComPtr<IStaticPortMapping> mapping;
        EXPECT_EQ(Add(8080, L"TCP", L"127.0.0.1", mapping), c.status) << c.reason;
        EXPECT_FALSE(mapping) << c.reason;
        EXPECT_NE(errors.Text().find(c.reason), std::string::npos) << errors.Text();
    }
}

TEST_F(GatewayClassesTest, BadArgumentsAndNullPlacesSendNothing)
{
    StartGateway({});
    const StderrCapture errors;
    ComPtr<IStaticPortMapping> mapping;
    EXPECT_EQ(Add(70000, L"TCP", L"127.0.0.1", mapping), E_INVALIDARG);
    EXPECT_EQ(Add(8080, L"TCP", L"", mapping), E_INVALIDARG);
    EXPECT_FALSE(mapping);
    EXPECT_NE(errors.Text().find("nothing sent: internal client ''"), std::string::npos) << errors.Text();
    const Bstr tcp{L"TCP"}, client{L"127.0.0.1"};
    EXPECT_EQ(Collection()->Add(8080, tcp.get(), 8080, client.get(), VARIANT_TRUE, nullptr, nullptr), E_POINTER);
    ComPtr<IUPnPNAT> nat;
    ASSERT_EQ(CoCreateInstance(CLSID_UPnPNAT, nullptr, CLSCTX_ALL, IID_IUPnPNAT, nat.put_void()), S_OK);
    EXPECT_EQ(nat->get_StaticPortMappingCollection(nullptr), E_POINTER);
    EXPECT_EQ(igd->CallsOf("AddPortMapping"), 0);
}

TEST_F(GatewayClassesTest, AGatewayThatCannotGiveReachablePortsLeavesTheCollectionNull)
{
    const struct {
        FakeIgdConfig config;
        const char* reason; // on standard error
    } cases[] = {
        {With([](FakeIgdConfig& c) { c.connectionStatus = "Disconnected"; }), "not connected to the Internet"},
        {With([](FakeIgdConfig& c) { c.externalAddress = "100.64.0.1"; }), "The gateway's external address 100.64.0.1 is carrier-grade NAT: ports cannot be opened from this network."},
        {With([](FakeIgdConfig& c) { c.externalAddress = ""; }), "no external address"},
        {With([](FakeIgdConfig& c) { c.isGateway = false; }), "is no Internet gateway"},
        // SOAP goes only to the host that answered the search.
        {With([](FakeIgdConfig& c) { c.urlBase = "http://127.0.0.9:9/"; }), "names another host for its control URL"},
        // Left at the call's deadline (1 s), however it stalls.
        {With([](FakeIgdConfig& c) { c.behaviour = Behaviour::Hang; }), "no answer from the device at"},
        {With([](FakeIgdConfig& c) { c.behaviour = Behaviour::Trickle; }), "no answer from the device at"},
        // The library gives up on it, or its process meets the memory cap; either way the device is named.
        {With([](FakeIgdConfig& c) { c.behaviour = Behaviour::Endless; }), "http://127.0.0.1:"},
    };
    for (const auto& c : cases) {
        StartGateway(c.config);
        const StderrCapture errors;
        const Stopwatch watch;
        EXPECT_FALSE(Collection()) << c.reason;
        EXPECT_LT(watch.Milliseconds(), 1000 + 400) << c.reason;
        EXPECT_NE(errors.Text().find(c.reason), std::string::npos) << errors.Text();
    }
}

TEST_F(GatewayClassesTest, OfTwoConnectionServicesTheConnectedOneIsUsed)
{
    StartGateway(With([](FakeIgdConfig& c) { c.pppStatus = "Disconnected"; }));
    ComPtr<IStaticPortMapping> mapping;
    ASSERT_EQ(Add(8080, L"TCP", L"127.0.0.1", mapping), S_OK);
    const auto calls = igd->Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls.front().path + " " + calls.front().action, "/ctl/PPPConn GetStatusInfo"); // asked first, not connected
    EXPECT_EQ(calls[calls.size() - 2].path + " " + calls[calls.size() - 2].action, "/ctl/IPConn AddPortMapping");
}

TEST_F(GatewayClassesTest, ADeviceOtherThanTheDefaultGatewayIsNamed)
{
    StartGateway({});
    const RouteTableFile elsewhere{gateway::Ipv4{0x7F000009u}}; // 127.0.0.9, where nothing answers
    settings.routeTable = elsewhere.Path();
    comrt::RevokeClass(CLSID_UPnPNAT);
    RegisterGatewayClasses(settings);
    const StderrCapture errors;
    EXPECT_TRUE(Collection());
    EXPECT_NE(errors.Text().find("The device that answered, 127.0.0.1, is not the default gateway 127.0.0.9.\n"),
              std::string::npos)
        << errors.Text();
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
    EXPECT_NE(errors.Text().find("No Internet gateway answered a UPnP search within 0.5 s"), std::string::npos);
    EXPECT_EQ(ssdp->Searches().size(), 4u);
}

TEST_F(GatewayClassesTest, TheRunsDeadlineBoundsEveryCall)
{
    settings.callTime = 5000ms;
    settings.end = Clock::now() + 700ms;
    StartGateway(With([](FakeIgdConfig& c) { c.behaviour = Behaviour::Hang; }));
    const StderrCapture errors;
    const Stopwatch watch;
    EXPECT_FALSE(Collection());
    EXPECT_LT(watch.Milliseconds(), 700 + 300);
}
