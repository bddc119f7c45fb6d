#include "gateway/upnp/ipv6_soap.h"

#include <cstring>

#include "gateway/host/socket.h"
#include "gateway/host/socket_headers.h"

namespace gateway {
namespace {

// An answer larger than any real description or SOAP answer is not read further.
constexpr std::size_t kMaxAnswer = 64 * 1024;

std::string HostHeader(const Ipv6Endpoint& to) { return "[" + ToString(to.address) + "]:" + std::to_string(to.port); }

} // namespace

std::optional<std::pair<int, std::string>> PortAndPath(const std::string& url)
{
    const auto scheme = url.find("://");
    if (scheme == std::string::npos) return std::nullopt;
    const auto start = scheme + 3;
    // An IPv6 host ends at its bracket, so its colons are not taken for the port's.
    const auto hostEnd = url[start] == '[' ? url.find(']', start) : start;
    if (hostEnd == std::string::npos) return std::nullopt;
    const auto pathStart = url.find('/', hostEnd);
    const std::string path = pathStart == std::string::npos ? "/" : url.substr(pathStart);
    const auto colon = url.find(':', hostEnd);
    if (colon == std::string::npos || colon > pathStart) return std::pair(80, path);
    const std::string digits = url.substr(colon + 1, pathStart == std::string::npos ? std::string::npos
                                                                                      : pathStart - colon - 1);
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int port = std::stoi(digits);
    if (port < 1 || port > 65535) return std::nullopt;
    return std::pair(port, path);
}

std::string HttpGetRequest(const Ipv6Endpoint& to, const std::string& path)
{
    return "GET " + path + " HTTP/1.1\r\nHost: " + HostHeader(to) + "\r\nConnection: close\r\n\r\n";
}

std::string SoapRequest(const Ipv6Endpoint& to, const std::string& path, const std::string& serviceType,
                        const std::string& action, const std::vector<std::pair<std::string, std::string>>& arguments)
{
    std::string body = "<?xml version=\"1.0\"?>\r\n<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
                       "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body><u:" +
                       action + " xmlns:u=\"" + serviceType + "\">";
    for (const auto& [name, value] : arguments) body += "<" + name + ">" + value + "</" + name + ">";
    body += "</u:" + action + "></s:Body></s:Envelope>\r\n";
    return "POST " + path + " HTTP/1.1\r\nHost: " + HostHeader(to) +
           "\r\nContent-Type: text/xml; charset=\"utf-8\"\r\nSOAPAction: \"" + serviceType + "#" + action +
           "\"\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

std::optional<std::string> XmlField(const std::string& response, const std::string& name)
{
    const std::string open = "<" + name + ">", close = "</" + name + ">";
    const auto start = response.find(open);
    if (start == std::string::npos) return std::nullopt;
    const auto end = response.find(close, start + open.size());
    if (end == std::string::npos) return std::nullopt;
    return response.substr(start + open.size(), end - start - open.size());
}

int SoapCode(const std::string& response)
{
    const auto space = response.find(' ');
    if (response.rfind("HTTP/1.", 0) != 0 || space == std::string::npos) return kNoSoapAnswer;
    if (response.compare(space + 1, 3, "200") == 0) return 0;
    const auto code = XmlField(response, "errorCode");
    if (!code || code->empty() || code->size() > 4 || code->find_first_not_of("0123456789") != std::string::npos)
        return kNoSoapAnswer;
    return std::stoi(*code);
}

std::optional<std::string> ExchangeOverIpv6(const Ipv6& source, const Ipv6Endpoint& to, const std::string& request)
{
    host::StartSockets();
    const host::UniqueSocket socket(::socket(AF_INET6, SOCK_STREAM, IPPROTO_TCP));
    if (!socket) return std::nullopt;
    sockaddr_in6 from{}, peer{};
    from.sin6_family = peer.sin6_family = AF_INET6;
    std::memcpy(&from.sin6_addr, source.bytes.data(), 16);
    std::memcpy(&peer.sin6_addr, to.address.bytes.data(), 16);
    peer.sin6_port = htons(static_cast<std::uint16_t>(to.port));
    peer.sin6_scope_id = to.scope;
    if (bind(socket.get(), reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0 ||
        connect(socket.get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0)
        return std::nullopt;
    for (std::size_t sent = 0; sent < request.size();) {
        const auto n = send(socket.get(), request.data() + sent, static_cast<int>(request.size() - sent), 0);
        if (n <= 0) return std::nullopt;
        sent += static_cast<std::size_t>(n);
    }
    std::string answer;
    char chunk[4096];
    while (answer.size() < kMaxAnswer) {
        const auto n = recv(socket.get(), chunk, sizeof chunk, 0);
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        answer.append(chunk, static_cast<std::size_t>(n));
    }
    return answer;
}

} // namespace gateway
