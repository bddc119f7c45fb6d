// The IPv6 firewall control client's own HTTP: the URLs it takes its port and paths
// from, and the gateway's answers it reads (captured from miniupnpd).
#include <gtest/gtest.h>

#include "gateway/upnp/ipv6_soap.h"

namespace {

using namespace gateway;

TEST(Ipv6Soap, TakesPortAndPathFromTheGatewaysUrls)
{
    const struct {
        const char* url;
        int port; // 0: refused
        const char* path;
    } cases[] = {
        {"http://10.77.0.1:5000/ctl/IP6FCtl", 5000, "/ctl/IP6FCtl"},
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
    for (const auto& c : cases) {
        const auto got = PortAndPath(c.url);
        EXPECT_EQ(got ? got->first : 0, c.port) << c.url;
        if (got) {
            EXPECT_EQ(got->second, c.path) << c.url;
        }
    }
}

// The gateway's answers as miniupnpd 2.3.1 gives them.
std::string Answer(const std::string& status, const std::string& body)
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: text/xml; charset=\"utf-8\"\r\nConnection: close\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nServer: Debian/6.18.44-fc-v1300 UPnP/1.1 MiniUPnPd/2.3.1\r\nExt:\r\n\r\n" + body;
}

std::string Envelope(const std::string& body)
{
    return "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
           "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>" + body + "</s:Body></s:Envelope>";
}

std::string Fault(const std::string& code, const std::string& description, const char* end = "\r\n")
{
    return Answer("500 Internal Server Error",
                  Envelope("<s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring><detail><UPnPError "
                           "xmlns=\"urn:schemas-upnp-org:control-1-0\"><errorCode>" + code + "</errorCode><errorDescription>" +
                           description + "</errorDescription></UPnPError></detail></s:Fault>") + end);
}

const std::string kStatus = Answer("200 OK", "<?xml version=\"1.0\"?>\r\n" + Envelope(
    "<u:GetFirewallStatusResponse xmlns:u=\"urn:schemas-upnp-org:service:WANIPv6FirewallControl:1\"><FirewallEnabled>1"
    "</FirewallEnabled><InboundPinholeAllowed>0</InboundPinholeAllowed></u:GetFirewallStatusResponse>") + "\r\n");
const std::string kRefused = Fault("606", "Action not authorized");
// An id the gateway no longer knows is refused with 402, the fault's last tag ending the answer.
const std::string kUnknownId = Fault("402", "Invalid Args", "");

TEST(Ipv6Soap, ReadsTheGatewaysAnswers)
{
    EXPECT_EQ(XmlField(kStatus, "FirewallEnabled"), "1");
    EXPECT_EQ(XmlField(kStatus, "InboundPinholeAllowed"), "0");
    EXPECT_EQ(XmlField(kStatus, "UniqueID"), std::nullopt);
    const struct {
        const char* why;
        std::string answer;
        int code;
    } answers[] = {
        {"the firewall's status", kStatus, 0},
        {"a pinhole for another source refused", kRefused, 606},
        {"a pinhole id the gateway no longer knows", kUnknownId, 402},
        {"another protocol's success", "RTSP/1.0 200 OK\r\n\r\n", kNoSoapAnswer},
        {"an error page without a fault", "HTTP/1.1 404 Not Found\r\n\r\n<html>no</html>", kNoSoapAnswer},
        {"a fault cut off", kRefused.substr(0, kRefused.find("</errorCode>")), kNoSoapAnswer},
        {"a code that is no number", "HTTP/1.1 500 x\r\n\r\n<errorCode>6O6</errorCode>", kNoSoapAnswer},
    };
    for (const auto& c : answers) EXPECT_EQ(SoapCode(c.answer), c.code) << c.why;
}

} // namespace
