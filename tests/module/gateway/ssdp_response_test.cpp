// Answers to M-SEARCH: what is parsed, and which locations are followed.
#include <gtest/gtest.h>

#include "fake_ssdp_responder.h"
#include "gateway_test_support.h"
#include "platform/linux/gateway/ssdp_response.h"

namespace {

std::string Answer(const std::string& statusLine, const std::string& st, const std::string& location)
{
    return statusLine + "\r\nst:" + st + "\r\nlocation:   " + location + "  \r\n\r\n";
}

} // namespace

TEST(SsdpAnswer, FollowsOnlyGatewayAnswersAboutTheirSender)
{
    const std::string igd1 = "urn:schemas-upnp-org:device:InternetGatewayDevice:1";
    const std::string here = "http://192.168.1.1:49000/igd.xml";
    const struct {
        const char* name;
        std::string datagram;
        bool followed;
    } cases[] = {
        {"miniupnpd's answer", GatewayAnswer(here), true},
        {"lower-case headers, padded values", Answer("HTTP/1.1 200 OK", igd1, here), true},
        {"version 2 gateway", Answer("HTTP/1.1 200 OK", "urn:schemas-upnp-org:device:InternetGatewayDevice:2", here), true},
        {"no reason phrase", Answer("HTTP/1.0 200", igd1, here), true},
        {"LF line ends", "HTTP/1.1 200 OK\nST: " + igd1 + "\nLOCATION: " + here + "\n\n", true},
        {"upper-case scheme, no port, no path", Answer("HTTP/1.1 200 OK", igd1, "HTTP://192.168.1.1"), true},
        {"error status", Answer("HTTP/1.1 404 Not Found", igd1, here), false},
        {"status 2000", Answer("HTTP/1.1 2000 OK", igd1, here), false},
        {"a NOTIFY, not an answer", Answer("NOTIFY * HTTP/1.1", igd1, here), false},
        {"another device type", Answer("HTTP/1.1 200 OK", "upnp:rootdevice", here), false},
        {"location on another host", Answer("HTTP/1.1 200 OK", igd1, "http://192.168.1.7:49000/igd.xml"), false},
        {"location by name", Answer("HTTP/1.1 200 OK", igd1, "http://router.lan:49000/igd.xml"), false},
        {"user part before the host", Answer("HTTP/1.1 200 OK", igd1, "http://192.168.1.1@203.0.113.5/x.xml"), false},
        {"https", Answer("HTTP/1.1 200 OK", igd1, "https://192.168.1.1/igd.xml"), false},
        {"no location", "HTTP/1.1 200 OK\r\nST: " + igd1 + "\r\n\r\n", false},
        {"empty datagram", "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gateway::GatewayLocation(c.datagram, Ip("192.168.1.1")).has_value(), c.followed) << c.name;
}
