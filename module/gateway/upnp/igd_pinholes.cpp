// Pinholes through the gateway's WANIPv6FirewallControl service. The service gives a
// pinhole only to the address that asks for it (a request over IPv4 gets 606), so it is
// asked over IPv6, at the router's IPv6 address, from the machine's global address; and
// only once the device there has shown the same UDN as the IPv4 gateway: a pinhole on
// another device opens nothing and trusts a stranger.
#include "gateway/upnp/igd_connection.h"

#include <miniupnpc/miniwget.h>
#include <miniupnpc/upnpcommands.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>

#include "gateway/host/bounded_call.h"
#include "gateway/upnp/upnp_errors.h"

namespace gateway {
namespace {

// The UDN of the description at `url`, fetched; nothing when there is none.
std::optional<std::string> DeviceUdn(const std::string& url)
{
    int size = 0, status = 0;
    const std::unique_ptr<char, decltype(&std::free)> body(static_cast<char*>(miniwget(url.c_str(), &size, 0, &status)),
                                                           &std::free);
    if (!body || size <= 0 || status != 200) return std::nullopt;
    const std::string_view text(body.get(), static_cast<std::size_t>(size));
    constexpr std::string_view open = "<UDN>", close = "</UDN>";
    const auto start = text.find(open);
    const auto end = start == std::string_view::npos ? start : text.find(close, start);
    if (end == std::string_view::npos) return std::nullopt;
    return std::string(text.substr(start + open.size(), end - start - open.size()));
}

// `url` with its host replaced by `host`, port and path kept: "http://10.77.0.1:5000/x"
// → "http://[2001:db8:77::1]:5000/x".
std::string WithHost(const std::string& url, const std::string& host)
{
    const auto scheme = url.find("://");
    if (scheme == std::string::npos) return {};
    const auto start = scheme + 3;
    const auto end = url.find_first_of(":/", start);
    return url.substr(0, start) + host + (end == std::string::npos ? "" : url.substr(end));
}

const char* ProtocolNumber(const std::string& protocol) { return protocol == "TCP" ? "6" : "17"; }

} // namespace

PinholeAnswer IgdConnection::AddPinholes(const Ipv6& router, const PinholeRequest& request, Deadline deadline) const
{
    if (data_.IPv6FC.controlurl[0] == '\0' || urls_.controlURL_6FC == nullptr) return PinholeAnswer{};
    const std::string host = "[" + ToString(router) + "]";
    const std::string description = WithHost(location_, host), control = WithHost(urls_.controlURL_6FC, host);
    const std::string serviceType = data_.IPv6FC.servicetype;
    const std::string location = location_;
    const auto answer = RunBoundedFor<PinholeAnswer>(
        [description, control, serviceType, location, request] {
            PinholeAnswer answer{};
            const auto udn = DeviceUdn(description);
            answer.stage = !udn ? PinholeStage::NoDescription
                         : udn != DeviceUdn(location) ? PinholeStage::OtherDevice
                                                       : PinholeStage::NoStatus;
            if (answer.stage != PinholeStage::NoStatus) return answer;
            int enabled = 0, inboundAllowed = 0;
            answer.statusCode = UPNP_GetFirewallStatus(control.c_str(), serviceType.c_str(), &enabled, &inboundAllowed);
            if (answer.statusCode != 0) return answer;
            answer.stage = !enabled ? PinholeStage::FirewallOff
                         : !inboundAllowed ? PinholeStage::NoPinholes
                                           : PinholeStage::Asked;
            if (answer.stage != PinholeStage::Asked) return answer;
            const std::string port = std::to_string(request.port), lease = std::to_string(kPinholeLeaseSeconds);
            for (std::size_t i = 0; i < request.protocols.size() && i < kMaxPinholes; ++i) {
                // Any remote host and port: the pinhole is for whoever connects.
                answer.codes[i] = UPNP_AddPinhole(control.c_str(), serviceType.c_str(), "", "0",
                                                  request.internalClient.c_str(), port.c_str(),
                                                  ProtocolNumber(request.protocols[i]), lease.c_str(), answer.ids[i]);
            }
            return answer;
        },
        deadline);
    if (answer) return *answer;
    PinholeAnswer late;
    late.stage = PinholeStage::NoStatus;
    late.statusCode = kNoAnswerInTime;
    return late;
}

int IgdConnection::OnPinholeService(const Ipv6& router, Deadline deadline,
                                    std::function<int(const std::string&, const std::string&)> call) const
{
    if (data_.IPv6FC.controlurl[0] == '\0' || urls_.controlURL_6FC == nullptr) return kNotThisDevice;
    const std::string host = "[" + ToString(router) + "]";
    const std::string description = WithHost(location_, host), control = WithHost(urls_.controlURL_6FC, host);
    const std::string serviceType = data_.IPv6FC.servicetype;
    const std::string location = location_;
    const auto code = RunBoundedFor<int>(
        [description, control, serviceType, location, call] {
            const auto udn = DeviceUdn(description);
            if (!udn || udn != DeviceUdn(location)) return kNotThisDevice;
            return call(control, serviceType);
        },
        deadline);
    return code ? *code : kNoAnswerInTime;
}

int IgdConnection::UpdatePinhole(const Ipv6& router, const std::string& uniqueId, Deadline deadline) const
{
    return OnPinholeService(router, deadline, [uniqueId](const std::string& control, const std::string& service) {
        return UPNP_UpdatePinhole(control.c_str(), service.c_str(), uniqueId.c_str(),
                                  std::to_string(kPinholeLeaseSeconds).c_str());
    });
}

int IgdConnection::DeletePinhole(const Ipv6& router, const std::string& uniqueId, Deadline deadline) const
{
    return OnPinholeService(router, deadline, [uniqueId](const std::string& control, const std::string& service) {
        return UPNP_DeletePinhole(control.c_str(), service.c_str(), uniqueId.c_str());
    });
}

} // namespace gateway
