// Answers to M-SEARCH: what is parsed, and which locations are followed.
#include <gtest/gtest.h>

#include "gateway_test_support.h"
#include "platform/linux/gateway/ssdp_response.h"

namespace {

// The bytes miniupnpd 2.3.1 sent the lab's client.
const std::string kCaptured =
    "HTTP/1.1 200 OK\r\n"
    "CACHE-CONTROL: max-age=120\r\n"
    "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
    "USN: uuid:5c1d0e2a-7b3f-4e8d-a6c9-0f1e2d3c4b5a::urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
    "EXT:\r\n"
    "SERVER: Debian/6.18.44-fc-v1272 UPnP/1.1 MiniUPnPd/2.3.1\r\n"
    "LOCATION: http://10.77.0.1:5000/rootDesc.xml\r\n"
    "OPT: \"http://schemas.upnp.org/upnp/1/0/\"; ns=01\r\n"
    "01-NLS: 1796585916\r\n"
    "BOOTID.UPNP.ORG: 1796585916\r\n"
    "CONFIGID.UPNP.ORG: 1337\r\n"
    "\r\n";

std::string Answer(const std::string& statusLine, const std::string& st, const std::string& location)
{
    return statusLine + "\r\nst:" + st + "\r\nlocation:   " + location + "  \r\n\r\n";
}

} // namespace

TEST(SsdpAnswer, ReadsACapturedGatewayAnswer)
{
    const auto answer = gateway::ParseSsdpAnswer(kCaptured);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->searchTarget, "urn:schemas-upnp-org:device:InternetGatewayDevice:1");
    EXPECT_EQ(answer->location, "http://10.77.0.1:5000/rootDesc.xml");
    EXPECT_EQ(gateway::GatewayLocation(kCaptured, Ip("10.77.0.1")), "http://10.77.0.1:5000/rootDesc.xml");
}

TEST(SsdpAnswer, FollowsOnlyGatewayAnswersAboutTheirSender)
{
    const std::string igd1 = "urn:schemas-upnp-org:device:InternetGatewayDevice:1";
    const std::string here = "http://192.168.1.1:49000/igd.xml";
    const struct {
        const char* name;
        std::string datagram;
        bool followed;
    } cases[] = {
        {"lower-case headers, padded values", Answer("HTTP/1.1 200 OK", igd1, here), true},
        {"version 2 gateway", Answer("HTTP/1.1 200 OK", "urn:schemas-upnp-org:device:InternetGatewayDevice:2", here), true},
        {"no reason phrase", Answer("HTTP/1.0 200", igd1, here), true},
        {"LF line ends", "HTTP/1.1 200 OK\nST: " + igd1 + "\nLOCATION: " + here + "\n\n", true},
        {"error status", Answer("HTTP/1.1 404 Not Found", igd1, here), false},
        {"status 2000", Answer("HTTP/1.1 2000 OK", igd1, here), false},
        {"a NOTIFY, not an answer", Answer("NOTIFY * HTTP/1.1", igd1, here), false},
        {"another device type", Answer("HTTP/1.1 200 OK", "upnp:rootdevice", here), false},
        {"a media server", Answer("HTTP/1.1 200 OK", "urn:schemas-upnp-org:device:MediaServer:1", here), false},
        {"location on another host", Answer("HTTP/1.1 200 OK", igd1, "http://192.168.1.7:49000/igd.xml"), false},
        {"location outside the LAN", Answer("HTTP/1.1 200 OK", igd1, "http://203.0.113.5/igd.xml"), false},
        {"location by name", Answer("HTTP/1.1 200 OK", igd1, "http://router.lan:49000/igd.xml"), false},
        {"user part before the host", Answer("HTTP/1.1 200 OK", igd1, "http://192.168.1.1@203.0.113.5/x.xml"), false},
        {"not http", Answer("HTTP/1.1 200 OK", igd1, "file:///etc/passwd"), false},
        {"no location", "HTTP/1.1 200 OK\r\nST: " + igd1 + "\r\n\r\n", false},
        {"empty datagram", "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gateway::GatewayLocation(c.datagram, Ip("192.168.1.1")).has_value(), c.followed) << c.name;
}

TEST(SsdpAnswer, UrlHostIsTheLiteralAddress)
{
    EXPECT_EQ(gateway::UrlHost("http://10.77.0.1:5000/rootDesc.xml"), Ip("10.77.0.1"));
    EXPECT_EQ(gateway::UrlHost("HTTP://10.77.0.1/"), Ip("10.77.0.1"));
    EXPECT_EQ(gateway::UrlHost("http://10.77.0.1"), Ip("10.77.0.1"));
    EXPECT_FALSE(gateway::UrlHost("http://[fe80::1]:5000/rootDesc.xml"));
    EXPECT_FALSE(gateway::UrlHost("https://10.77.0.1/rootDesc.xml"));
}
