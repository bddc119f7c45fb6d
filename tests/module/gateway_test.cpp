// What the gateway client reads. What the kernel's tables name: the default gateway (its byte
// order, which routes count, the lowest metric winning), the gateway's link-layer address,
// which IPv6 address of the chosen interface a pinhole is opened for, and which router is asked.
// The gateway's answers, as captured from the lab's gateway (miniupnpd) and bent: what the PCP
// parser reads from PCP and NAT-PMP answers, and which ones libnatpmp is let read; the URLs the
// IPv6 firewall control client takes its port and paths from, and the SOAP answers it reads; the
// SSDP answers on the link taken as the device asked for; and a gateway's codes in words, as the
// details and the headlines name them: miniupnpc names most, our own table the rest, and every
// name stays what it was before the library named any.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>

#include "gateway/host/default_route.h"
#include "gateway/host/ipv6_interface.h"
#include "gateway/host/link_address.h"
#include "gateway/natpmp/natpmp_answer.h"
#include "gateway/pcp/pcp_message.h"
#include "gateway/upnp/device_on_link.h"
#include "gateway/upnp/ipv6_soap.h"
#include "gateway/upnp/upnp_errors.h"
#include "scratch_folder.h"

namespace {

using namespace gateway;

std::string Bytes(const std::string& hex)
{
    std::string bytes;
    for (std::size_t at = 0; at + 1 < hex.size(); at += 2) bytes += static_cast<char>(std::stoi(hex.substr(at, 2), nullptr, 16));
    return bytes;
}

const std::string kNonce = "86589caeaab7d1a5c68d5c84", kOtherNonce = "2a28e22f55d68cc72bd681cf";
const std::string kMapped = "00000000000000000000ffff0b4d0001";  // ::ffff:11.77.0.1
const std::string kHeader = "0281000000015180000000070000000000000000000000";  // MAP, SUCCESS, 86400 s
const std::string kGranted = kHeader + "00" + kNonce + "060000001fa41fa4" + kMapped;

// What our PCP client and our NAT-PMP check make of a datagram, in one line.
std::string Read(const std::string& datagram)
{
    std::string pcp = "dropped";
    pcp::MapRequest request{pcp::Mapped(*ParseIpv4("10.77.0.2")), {}, pcp::kProtocolTcp, 8100, 8100, 604800};
    const std::string nonce = Bytes(kNonce);
    std::copy(nonce.begin(), nonce.end(), request.nonce.begin());
    if (pcp::SaysVersionUnsupported(datagram))
        pcp = "no PCP there";
    else if (const auto answer = pcp::ParseAnswer(datagram); answer && answer->opcode != pcp::kMap)
        pcp = "opcode " + std::to_string(answer->opcode);
    else if (answer)
        pcp = std::string(pcp::Answers(*answer, request) ? "ours" : "not ours") + ", result " + std::to_string(answer->result) +
              ", " + std::to_string(answer->lifetime) + " s, " + std::to_string(answer->internalPort) + " as " +
              std::to_string(answer->externalPort) + " on " + (pcp::Unmapped(answer->externalAddress) ? ToString(*pcp::Unmapped(answer->externalAddress))
                                                                                 : ToString(answer->externalAddress));
    std::string natpmp;
    for (const auto& [opcode, name] : {std::pair{natpmp::kPublicAddress, " address"}, {natpmp::kMapUdp, " UDP"}, {natpmp::kMapTcp, " TCP"}})
        if (natpmp::IsAnswerTo(opcode, datagram)) natpmp += name;
    return pcp + "; NAT-PMP:" + (natpmp.empty() ? " none" : natpmp);
}

TEST(PortControlAnswers, OnlyWholeAnswersToOurRequestAreRead)
{
    const std::pair<std::string, const char*> cases[] = {
        {"028100080000001e" + std::string(32, '0') + kOtherNonce + "060000001fa41fa400000000000000000000ffff64400001",
         "not ours, result 8, 30 s, 8100 as 8100 on 100.64.0.1; NAT-PMP: none"},  // behind carrier-grade NAT
        {kHeader + "00" + kNonce + "110000001fa41fa4" + kMapped, "not ours, result 0, 86400 s, 8100 as 8100 on 11.77.0.1; NAT-PMP: none"},
        {kHeader + "00" + kNonce + "060000001fa51fa4" + kMapped, "not ours, result 0, 86400 s, 8101 as 8100 on 11.77.0.1; NAT-PMP: none"},
        {kHeader + "00" + kNonce + "060000001fa41fa4" + "20010db8000000000000000000000001", "ours, result 0, 86400 s, 8100 as 8100 on 2001:db8::1; NAT-PMP: none"},
        {kGranted + "8000000400000000", "ours, result 0, 86400 s, 8100 as 8100 on 11.77.0.1; NAT-PMP: none"},  // an option after it
        {kGranted.substr(0, 112), "dropped; NAT-PMP: none"},
        {kGranted + "00", "dropped; NAT-PMP: none"},
        {kGranted + std::string(2 * 1044, '0'), "dropped; NAT-PMP: none"},  // over 1100 bytes
        {"0201" + kGranted.substr(4), "dropped; NAT-PMP: none"},            // a request
        {"03" + kGranted.substr(2), "dropped; NAT-PMP: none"},
        {"028000000000000000000007000000000000000000000000", "opcode 0; NAT-PMP: none"},  // ANNOUNCE
        {"02800000000000000000000700000000000000000000", "dropped; NAT-PMP: none"},
        {"0080000100000007", "no PCP there; NAT-PMP: address"},
        {"00820000000000071fa51fa5", "dropped; NAT-PMP: none"},
        {"00820000000000071fa51fa500093a8000", "dropped; NAT-PMP: none"},
        {"00020000000000071fa51fa500093a80", "dropped; NAT-PMP: none"},  // a request echoed
        {"01820000000000071fa51fa500093a80", "dropped; NAT-PMP: none"},
        {"", "dropped; NAT-PMP: none"},
    };
    for (const auto& [hex, read] : cases) EXPECT_EQ(Read(Bytes(hex)), read) << hex;
}

// MAP requests as the lab's gateway granted them: an IPv4 client carried IPv4-mapped with
// no preference for an IPv4 external address, and an IPv6 client as itself with none for
// an IPv6 one (which makes the mapping a pinhole). The nonce travels as the record keeps it.
TEST(PortControlAnswers, MapRequestsCarryTheClientsFamily)
{
    const auto nonce = pcp::NonceFrom(kNonce);
    ASSERT_TRUE(nonce);
    for (const char* bad : {"86589CAEAAB7D1A5C68D5C84", "86589caeaab7d1a5c68d5c8", "86589caeaab7d1a5c68d5c8g", ""})
        EXPECT_FALSE(pcp::NonceFrom(bad)) << bad;

    const std::pair<pcp::MapRequest, std::string> cases[] = {
        {{pcp::Mapped(*ParseIpv4("10.77.0.2")), *nonce, pcp::kProtocolUdp, 8100, 8101, 7200},
         "0201000000001c20" "00000000000000000000ffff0a4d0002" + kNonce + "11000000" "1fa41fa5"
         "00000000000000000000ffff00000000"},
        {{*ParseIpv6("2001:db8:77::2"), *nonce, pcp::kProtocolTcp, 18502, 18502, 0},
         "0201000000000000" "20010db8007700000000000000000002" + kNonce + "06000000" "48464846"
         "00000000000000000000000000000000"},
    };
    for (const auto& [request, hex] : cases) {
        const std::vector<std::uint8_t> encoded = pcp::EncodeMap(request);
        EXPECT_EQ(std::string(encoded.begin(), encoded.end()), Bytes(hex));
    }
}

// The server's epoch against the client's clock: gone back or run apart by more than a
// sixteenth and 2 s means the server lost its mappings.
TEST(PortControlAnswers, EpochTellsAServerThatLostItsMappings)
{
    ASSERT_TRUE(pcp::ParseAnswer(Bytes(kGranted)));
    EXPECT_EQ(pcp::ParseAnswer(Bytes(kGranted))->epoch, 7u);
    // Then: server 1000 at the client's 5000.
    const std::tuple<std::uint32_t, long long, bool> rows[] = {
        {4400, 8600, false}, // 200 s short of an hour: within a sixteenth
        {4300, 8600, true},  // 300 s short
        {30, 8600, true},    // gone back: restarted
        {8000, 8600, true},  // ran far ahead of the client
        {1002, 5000, false}, // 2 s at once
        {1003, 5000, true},
    };
    for (const auto& [serverNow, clientNow, lost] : rows)
        EXPECT_EQ(pcp::EpochShowsLostState(1000, 5000, serverNow, clientNow), lost) << serverNow << " at " << clientNow;
}

TEST(Ipv6Soap, TakesPortAndPathFromTheGatewaysUrls)
{
    const std::tuple<const char*, int, const char*> cases[] = {  // the URL, its port (0: refused), its path
        {"http://10.77.0.1/rootDesc.xml", 80, "/rootDesc.xml"},
        {"http://[2001:db8:77::1]:49000/desc", 49000, "/desc"},
        {"http://[2001:db8:77::1]/desc", 80, "/desc"},
        {"http://10.77.0.1:5000", 5000, "/"},
        {"http://10.77.0.1:0/x", 0, ""},
        {"http://10.77.0.1:65536/x", 0, ""},
        {"http://10.77.0.1:50a/x", 0, ""},
        {"http://[2001:db8:77::1:5000/x", 0, ""},
        {"10.77.0.1:5000/x", 0, ""},
    };
    for (const auto& [url, port, path] : cases) {
        const auto got = PortAndPath(url);
        EXPECT_EQ(got ? got->first : 0, port) << url;
        EXPECT_EQ(got ? got->second : "", path) << url;
    }
}

// A fault as miniupnpd 2.3.1 answers it, `end` after its envelope.
std::string Fault(const std::string& code, const std::string& description, const char* end = "\r\n")
{
    const std::string body =
        "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" s:encodingStyle=\"http://schemas."
        "xmlsoap.org/soap/encoding/\"><s:Body><s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError"
        "</faultstring><detail><UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\"><errorCode>" + code +
        "</errorCode><errorDescription>" + description + "</errorDescription></UPnPError></detail></s:Fault>"
        "</s:Body></s:Envelope>" + end;
    return "HTTP/1.1 500 Internal Server Error\r\nContent-Type: text/xml; charset=\"utf-8\"\r\nConnection: close\r\n"
           "Content-Length: " + std::to_string(body.size()) + "\r\nServer: Debian/6.18.44-fc-v1300 UPnP/1.1 "
           "MiniUPnPd/2.3.1\r\nExt:\r\n\r\n" + body;
}

const std::string kRefused = Fault("606", "Action not authorized");
// An id the gateway no longer knows is refused with 402, the fault's last tag ending the answer.
const std::string kUnknownId = Fault("402", "Invalid Args", "");

TEST(Ipv6Soap, ReadsTheGatewaysAnswers)
{
    EXPECT_EQ(XmlField(kRefused, "UniqueID"), std::nullopt);
    const std::tuple<const char*, std::string, int> answers[] = {
        {"a pinhole for another source refused", kRefused, 606},
        {"a pinhole id the gateway no longer knows", kUnknownId, 402},
        {"another protocol's success", "RTSP/1.0 200 OK\r\n\r\n", kNoSoapAnswer},
        {"an error page without a fault", "HTTP/1.1 404 Not Found\r\n\r\n<html>no</html>", kNoSoapAnswer},
        {"a fault cut off", kRefused.substr(0, kRefused.find("</errorCode>")), kNoSoapAnswer},
        {"a code that is no number", "HTTP/1.1 500 x\r\n\r\n<errorCode>6O6</errorCode>", kNoSoapAnswer},
    };
    for (const auto& [why, answer, code] : answers) EXPECT_EQ(SoapCode(answer), code) << why;
}

// Asked on the link by its UDN, only the device itself is taken: not another whose UDN
// starts alike, not a search (ours, looped back), not an answer without a UDN.
TEST(GatewayIdentity, OnTheLinkOnlyTheDeviceAskedFor)
{
    const std::string asked = "uuid:5c1d0e2a-7b3f";
    const auto answer = [](const std::string& usn) {
        return "HTTP/1.1 200 OK\r\nST: uuid:5c1d0e2a-7b3f\r\nLOCATION: http://[2001:db8:77::1]:5000/rootDesc.xml\r\n"
               "USN: " + usn + "\r\n\r\n";
    };
    const std::pair<std::string, bool> cases[] = {
        {answer(asked), true},
        {answer(asked + "::urn:schemas-upnp-org:device:InternetGatewayDevice:2"), true},
        {answer(asked + "0"), false},
        {"M-SEARCH * HTTP/1.1\r\nST: uuid:5c1d0e2a-7b3f\r\nLOCATION: http://[2001:db8:77::1]:5000/rootDesc.xml\r\n"
         "USN: uuid:5c1d0e2a-7b3f\r\n\r\n", false},
    };
    for (const auto& [datagram, taken] : cases) EXPECT_EQ(AnswersAsDevice(datagram, asked), taken) << datagram;
    EXPECT_FALSE(AnswersAsDevice(answer(""), ""));
}

TEST(UpnpErrors, EveryCodeKeepsItsName)
{
    const std::pair<int, const char*> rows[] = {
        {kNoAnswerInTime, "-1000 no answer in time"}, {-5, "-5 out of memory"}, {-4, "-4 invalid response"},
        {-3, "-3 HTTP error"}, {-2, "-2 invalid arguments"}, {-1, "-1 unknown error"}, {401, "401 Invalid Action"},
        {402, "402 Invalid Args"}, {404, "404 Invalid Var"}, {501, "501 Action Failed"},
        {600, "600 Argument Value Invalid"}, {601, "601 Argument Value Out of Range"},
        {602, "602 Optional Action Not Implemented"}, {603, "603 Out of Memory"},
        {604, "604 Human Intervention Required"}, {605, "605 String Argument Too Long"},
        {606, "606 Action not authorized"}, {703, "703 InactiveConnectionStateRequired"},
        {704, "704 ConnectionSetupFailed"}, {713, "713 SpecifiedArrayIndexInvalid"}, {714, "714 NoSuchEntryInArray"},
        {715, "715 WildCardNotPermittedInSrcIP"}, {716, "716 WildCardNotPermittedInExtPort"},
        {718, "718 ConflictInMappingEntry"}, {724, "724 SamePortValuesRequired"},
        {725, "725 OnlyPermanentLeasesSupported"}, {726, "726 RemoteHostOnlySupportsWildcard"},
        {727, "727 ExternalPortOnlySupportsWildcard"}, {728, "728 NoPortMapsAvailable"},
        {729, "729 ConflictWithOtherMechanisms"}, {732, "732 WildCardNotPermittedInIntPort"},
        // Named by the library alone; no one's name for the last two.
        {702, "702 FirewallDisabled"}, {730, "730 (unknown code)"}, {-6, "-6 (unknown code)"},
    };
    for (const auto& [code, text] : rows)
        EXPECT_EQ(UpnpErrorText(code), text);
}

constexpr const char* kTitles =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

TEST(DefaultRoute, TakesTheUsableDefaultRouteWithTheLowestMetric)
{
    const std::tuple<const char*, std::string, std::string> cases[] = {
        {"a subnet route is no default", "lan0\t00004D0A\t01004D0A\t0003\t0\t0\t0\t00FFFFFF\t0\t0\t0\n", "none"},
        {"a route that is down", "lan0\t00000000\t01004D0A\t0002\t0\t0\t0\t00000000\t0\t0\t0\n", "none"},
        {"an on-link default names no gateway", "lan0\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n", "none"},
        {"the lower metric wins, wherever listed, in the kernel's byte order",
         "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
         "lan0\t00000000\t01004D0A\t0003\t0\t0\t100\t00000000\t0\t0\t0\n",
         "10.77.0.1"},
        {"the first among equals",
         "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
         "lan0\t00000000\t01004D0A\t0003\t0\t0\t100\t00000000\t0\t0\t0\n",
         "192.168.1.1"},
        {"a line that does not parse is skipped",
         "lan0\t00000000\tnot-hex\t0003\t0\t0\t0\t00000000\t0\t0\t0\n"
         "lan0\t00000000\t01004D0A\t0003\t0\t0\t5\t00000000\t0\t0\t0\n",
         "10.77.0.1"},
    };
    // The gateway chosen from these route lines, as text; "none" when there is none.
    for (const auto& [why, lines, gateway] : cases) {
        std::istringstream table(kTitles + lines);
        const auto chosen = host::ChooseDefaultGateway(host::DefaultRoutesFromTable(table));
        EXPECT_EQ(chosen ? ToString(*chosen) : "none", gateway) << why;
    }
}

TEST(GatewayIdentity, LinkAddressOnlyFromACompleteEntry)
{
    const ScratchFolder scratch;
    const std::string path = scratch.path / "arp";
    std::ofstream(path) << "IP address       HW type     Flags       HW address            Mask     Device\n"
                           "10.77.0.1        0x1         0x2         02:00:0a:4d:00:01     *        lan0\n"
                           "10.77.0.3        0x1         0x0         00:00:00:00:00:00     *        lan0\n"
                           "10.77.0.10       0x1         0x6         02:00:0a:4d:00:0a     *        lan0\n";
    const std::pair<const char*, std::string> cases[] = {
        {"10.77.0.1", "02:00:0a:4d:00:01"}, {"10.77.0.3", ""}, {"10.77.0.10", "02:00:0a:4d:00:0a"}, {"10.77.0.9", ""}};
    for (const auto& [host, link] : cases) EXPECT_EQ(host::LinkAddressOf(*ParseIpv4(host), path), link) << host;
}

// One line of /proc/net/if_inet6: address, index, prefix length, scope, flags, name.
std::string Address(const char* hex, const char* flags, const char* name = "lan0")
{
    return std::string(hex) + " 02 40 00 " + flags + " " + name + "\n";
}

// One line of /proc/net/ipv6_route: destination and length, source and length, next
// hop, metric, reference count, use, flags, name.
std::string Route(const char* destination, const char* length, const char* via, const char* metric, const char* flags,
                  const char* name = "lan0")
{
    return std::string(destination) + " " + length + " 00000000000000000000000000000000 00 " + via + " " + metric +
           " 00000001 00000000 " + flags + " " + name + "\n";
}

constexpr const char* kGlobal = "20010db8007700000000000000000002";
constexpr const char* kOtherGlobal = "20010db8007700000000000000000009";
constexpr const char* kLinkLocal = "fe80000000000000cc6073fffedc0c2a";
constexpr const char* kUniqueLocal = "fd000000000000000000000000000002";
constexpr const char* kAny = "00000000000000000000000000000000";
constexpr const char* kRouter = "20010db8007700000000000000000001";
constexpr const char* kOtherRouter = "fe800000000000000000000000000001";

// Of lan0's lines in either table: the address a pinhole is opened for, and the router asked.
TEST(Ipv6Interface, ChoosesAStableUsableGlobalAddressAndTheDefaultRouterWithTheLowestMetric)
{
    const auto text = [](const std::optional<Ipv6>& chosen) { return chosen ? ToString(*chosen) : "none"; };
    const std::tuple<const char*, std::string, std::string> addresses[] = {
        {"link-local and unique-local are passed over",
         Address(kLinkLocal, "80") + Address(kUniqueLocal, "80") + Address(kGlobal, "00"), "2001:db8:77::2"},
        {"the stable one before a temporary one listed first",
         Address(kOtherGlobal, "01") + Address(kGlobal, "00"), "2001:db8:77::2"},
        {"a deprecated one is never used", Address(kGlobal, "a0") + Address(kOtherGlobal, "01"), "2001:db8:77::9"},
        {"nor one still tentative or whose duplicate detection failed",
         Address(kGlobal, "40") + Address(kOtherGlobal, "08"), "none"},
        {"another interface's global address is not this one's", Address(kGlobal, "80", "wlan0"), "none"},
        {"the first among equals", Address(kOtherGlobal, "80") + Address(kGlobal, "80"), "2001:db8:77::9"},
        {"a damaged line is skipped", "2001db8 02 40 00 80 lan0\n" + Address(kGlobal, "zz") + Address(kGlobal, "80"),
         "2001:db8:77::2"},
    };
    for (const auto& [why, lines, chosen] : addresses) {
        std::istringstream table(lines);
        EXPECT_EQ(text(ChooseGlobalIpv6(host::InterfaceAddressesFromTable(table, "lan0"))), chosen) << why;
    }
    const std::tuple<const char*, std::string, std::string> routes[] = {
        {"a prefix route is no default", Route(kGlobal, "40", kRouter, "00000100", "00000003"), "none"},
        {"a route without the gateway flag", Route(kAny, "00", kRouter, "00000100", "00000001"), "none"},
        {"another interface's default", Route(kAny, "00", kRouter, "00000100", "00000003", "wlan0"), "none"},
        {"the lower metric wins, wherever listed (hex)",
         Route(kAny, "00", kRouter, "00000400", "00000003") + Route(kAny, "00", kOtherRouter, "000000ff", "00000003"),
         "fe80::1"},
    };
    for (const auto& [why, lines, router] : routes) {
        std::istringstream table(lines);
        EXPECT_EQ(text(host::DefaultGatewayFromTable(table, "lan0")), router) << why;
    }
}

} // namespace
