#include "gateway/port_mapping.h"

#include <ctime>

#include "gateway/ipv4_address.h"
#include "platform/port_number.h"
#include "platform/utf8.h"

namespace gateway {
namespace {

std::string Text(BSTR text) { return text == nullptr ? std::string() : Utf8FromWide(std::wstring_view(text, SysStringLen(text))); }

ArgumentCheck Problem(std::string problem) { return ArgumentCheck{std::nullopt, std::move(problem)}; }

} // namespace

ArgumentCheck CheckMappingArguments(LONG externalPort, BSTR protocol, LONG internalPort, BSTR internalClient,
                                    VARIANT_BOOL enabled, BSTR description)
{
    if (!IsPortNumber(externalPort)) return Problem("external port " + std::to_string(externalPort) + " is not 1-65535");
    if (!IsPortNumber(internalPort)) return Problem("internal port " + std::to_string(internalPort) + " is not 1-65535");
    const std::string protocolName = Text(protocol);
    const auto parsed = Parse<Protocol>(protocolName);
    if (!parsed) return Problem("protocol '" + protocolName + "' is neither TCP nor UDP");
    MappingRequest request{externalPort, *parsed, internalPort, Text(internalClient), Text(description)};
    if (!ParseIpv4(request.internalClient))
        return Problem("internal client '" + request.internalClient + "' is not an IPv4 address");
    // The gateway library creates every mapping enabled.
    if (enabled == VARIANT_FALSE) return Problem("a disabled mapping cannot be made");
    return ArgumentCheck{std::move(request), {}};
}

Grant GrantOf(const HeldMapping& held, Method method)
{
    Grant grant;
    grant.protocol = held.protocol;
    grant.method = method;
    grant.externalPort = held.externalPort;
    grant.internalPort = held.internalPort;
    grant.internalAddress = held.internalClient;
    grant.externalAddress = held.externalAddress;
    if (held.leaseSeconds >= 0) grant.lease = held.leaseSeconds;
    grant.grantedAt = static_cast<long long>(std::time(nullptr));
    grant.description = held.description;
    return grant;
}

bool HoldsRequest(const HeldMapping& held, const MappingRequest& request)
{
    return held.enabled && held.externalPort == request.externalPort && held.protocol == request.protocol &&
           held.internalPort == request.internalPort && held.internalClient == request.internalClient;
}

} // namespace gateway
