// The IPv6 firewall control client's own HTTP: the URLs it takes its port and paths
// from, the gateway's answers it reads (captured from miniupnpd), and one exchange over
// loopback from a chosen source address.
#include <gtest/gtest.h>

#include <thread>

#include "gateway/host/socket.h"
#include "gateway/host/socket_headers.h"
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
        {"nothing", "", kNoSoapAnswer},
        {"not HTTP", "SSH-2.0-OpenSSH\r\n", kNoSoapAnswer},
        {"an error page without a fault", "HTTP/1.1 404 Not Found\r\n\r\n<html>no</html>", kNoSoapAnswer},
        {"a fault cut off", kRefused.substr(0, kRefused.find("</errorCode>")), kNoSoapAnswer},
        {"a code that is no number", "HTTP/1.1 500 x\r\n\r\n<errorCode>6O6</errorCode>", kNoSoapAnswer},
    };
    for (const auto& c : answers) EXPECT_EQ(SoapCode(c.answer), c.code) << c.why;
}

// A one-connection server on ::1 that keeps the request and answers `answer`.
struct LoopbackServer {
    host::UniqueSocket listener{::socket(AF_INET6, SOCK_STREAM, IPPROTO_TCP)};
    int port = 0;
    std::string request;
    std::thread serving;

    explicit LoopbackServer(std::string answer)
    {
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_addr = in6addr_loopback;
        socklen_t size = sizeof address;
        if (bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener.get(), 1) != 0 ||
            getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return;
        port = ntohs(address.sin6_port);
        serving = std::thread([this, answer] {
            const host::UniqueSocket client(accept(listener.get(), nullptr, nullptr));
            char chunk[4096];
            // The request is whole once its body is as long as it says.
            while (request.find("\r\n\r\n") == std::string::npos || !Whole()) {
                const auto n = recv(client.get(), chunk, sizeof chunk, 0);
                if (n <= 0) break;
                request.append(chunk, static_cast<std::size_t>(n));
            }
            send(client.get(), answer.data(), static_cast<int>(answer.size()), 0);
        });
    }
    ~LoopbackServer()
    {
        if (serving.joinable()) serving.join();
    }

    bool Whole() const
    {
        const auto header = request.find("Content-Length: ");
        const auto bodyStart = request.find("\r\n\r\n") + 4;
        return header == std::string::npos ||
               request.size() - bodyStart == std::stoul(request.substr(header + 16));
    }
};

TEST(Ipv6Soap, AsksFromTheChosenSourceAndReadsTheWholeAnswer)
{
    LoopbackServer server(kRefused);
    ASSERT_NE(server.port, 0) << "no IPv6 loopback here";
    const Ipv6 loopback = *ParseIpv6("::1");
    const Ipv6Endpoint gateway{loopback, 0, server.port};
    const auto answer = ExchangeOverIpv6(loopback, gateway,
                                         SoapRequest(gateway, "/ctl/IP6FCtl",
                                                     "urn:schemas-upnp-org:service:WANIPv6FirewallControl:1",
                                                     "AddPinhole", {{"InternalClient", "::1"}, {"Protocol", "6"}}));
    server.serving.join();
    server.listener.reset();
    ASSERT_TRUE(answer);
    EXPECT_EQ(SoapCode(*answer), 606);
    EXPECT_TRUE(server.Whole()) << server.request;
    EXPECT_EQ(server.request.rfind("POST /ctl/IP6FCtl HTTP/1.1\r\nHost: [::1]:" + std::to_string(server.port), 0), 0u);
    EXPECT_NE(server.request.find("SOAPAction: \"urn:schemas-upnp-org:service:WANIPv6FirewallControl:1#AddPinhole\""),
              std::string::npos);
    EXPECT_NE(server.request.find("<InternalClient>::1</InternalClient><Protocol>6</Protocol>"), std::string::npos);

    // The port is closed now: nothing comes back.
    EXPECT_EQ(ExchangeOverIpv6(loopback, gateway, HttpGetRequest(gateway, "/rootDesc.xml")), std::nullopt);
    // A source this machine does not hold cannot be bound.
    EXPECT_EQ(ExchangeOverIpv6(*ParseIpv6("2001:db8:77::99"), gateway, HttpGetRequest(gateway, "/")), std::nullopt);
}

} // namespace
