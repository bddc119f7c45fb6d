// The two calls of the IPv6 firewall control service, asked over IPv6 from the
// machine's global address. libminiupnpc lets the system choose the source, and towards
// a link-local gateway (what gateways advertise) the system chooses the link-local one,
// for which the gateway refuses a pinhole; so these calls have a client of their own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gateway/ipv6_address.h"

namespace gateway {

// Where the gateway listens on the LAN's IPv6 side; `scope` is the interface index a
// link-local address needs, 0 otherwise.
struct Ipv6Endpoint {
    Ipv6 address;
    std::uint32_t scope = 0;
    int port = 0;
};

// "80" and "/ctl/x" of "http://10.77.0.1:80/ctl/x"; the port 80 when the URL names none.
std::optional<std::pair<int, std::string>> PortAndPath(const std::string& url);

std::string HttpGetRequest(const Ipv6Endpoint& to, const std::string& path);
std::string SoapRequest(const Ipv6Endpoint& to, const std::string& path, const std::string& serviceType,
                        const std::string& action, const std::vector<std::pair<std::string, std::string>>& arguments);

// 0 for "200 OK", the UPnP errorCode of a fault, else kNoSoapAnswer.
int SoapCode(const std::string& response);
inline constexpr int kNoSoapAnswer = -3; // libminiupnpc's "HTTP error": the answer was no SOAP answer
// The text of the first <name> element; nothing when there is none.
std::optional<std::string> XmlField(const std::string& response, const std::string& name);

// The whole answer to `request`, sent from `source` to `to` over one connection; nothing
// when it cannot be made or sent. Blocking: call it where a deadline ends it (RunBounded).
std::optional<std::string> ExchangeOverIpv6(const Ipv6& source, const Ipv6Endpoint& to, const std::string& request);

} // namespace gateway
