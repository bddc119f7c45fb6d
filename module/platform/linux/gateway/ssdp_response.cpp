#include "ssdp_response.h"

#include <cctype>

namespace gateway {
namespace {

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// Splits off the next line, without its CR LF.
std::string_view NextLine(std::string_view& rest)
{
    const auto end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    return Trim(line);
}

bool IsOkStatusLine(std::string_view line)
{
    // "HTTP/1.1 200 OK"; the reason phrase is not checked.
    const auto space = line.find(' ');
    if (!StartsWithIgnoringCase(line, "HTTP/1.") || space == std::string_view::npos) return false;
    const std::string_view status = Trim(line.substr(space + 1));
    return status.substr(0, 3) == "200" && (status.size() == 3 || status[3] == ' ');
}

} // namespace

std::optional<SsdpAnswer> ParseSsdpAnswer(std::string_view datagram)
{
    if (!IsOkStatusLine(NextLine(datagram))) return std::nullopt;
    SsdpAnswer answer;
    while (!datagram.empty()) {
        const std::string_view line = NextLine(datagram);
        if (line.empty()) break; // end of the header block
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string_view name = Trim(line.substr(0, colon));
        const std::string_view value = Trim(line.substr(colon + 1));
        if (EqualsIgnoringCase(name, "ST")) answer.searchTarget = value;
        else if (EqualsIgnoringCase(name, "LOCATION")) answer.location = value;
        else if (EqualsIgnoringCase(name, "USN")) answer.usn = value;
    }
    if (answer.searchTarget.empty() || answer.location.empty()) return std::nullopt;
    return answer;
}

std::string UdnOf(std::string_view usn) { return std::string(usn.substr(0, usn.find("::"))); }

bool IsGatewayDevice(std::string_view searchTarget)
{
    return StartsWithIgnoringCase(searchTarget, "urn:schemas-upnp-org:device:InternetGatewayDevice:");
}

std::optional<Ipv4> UrlHost(std::string_view url)
{
    constexpr std::string_view scheme = "http://";
    if (!StartsWithIgnoringCase(url, scheme)) return std::nullopt;
    const std::string_view authority = url.substr(scheme.size(), url.find('/', scheme.size()) - scheme.size());
    return ParseIpv4(authority.substr(0, authority.find(':')));
}

std::optional<std::string> GatewayLocation(std::string_view datagram, Ipv4 sender)
{
    const auto answer = ParseSsdpAnswer(datagram);
    if (!answer || !IsGatewayDevice(answer->searchTarget)) return std::nullopt;
    const auto host = UrlHost(answer->location);
    if (!host || *host != sender) return std::nullopt;
    return answer->location;
}

} // namespace gateway
