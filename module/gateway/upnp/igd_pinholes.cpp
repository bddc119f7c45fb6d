// Pinholes through the gateway's WANIPv6FirewallControl service. The service gives a
// pinhole only to the address that asks for it (a request over IPv4 gets 606), so it is
// asked over IPv6, at the router's IPv6 address (link-local, as routers advertise, or
// global), from the machine's global address; and only once the device there has shown
// the same UDN as the IPv4 gateway: a pinhole on another device opens nothing and trusts
// a stranger. The control URL's path is the one the IPv4 description gave.
#include "gateway/upnp/igd_connection.h"

#include <miniupnpc/miniwget.h>
#include <miniupnpc/upnpcommands.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>

#include "gateway/host/bounded_call.h"
#include "gateway/upnp/ipv6_soap.h"
#include "gateway/upnp/upnp_errors.h"

namespace gateway {
namespace {

std::optional<std::string> UdnIn(std::string_view text)
{
    const auto udn = XmlField(std::string(text), "UDN");
    return udn && !udn->empty() ? udn : std::nullopt;
}

// The UDN of the IPv4 gateway's description at `url`; nothing when there is none.
std::optional<std::string> DeviceUdn(const std::string& url)
{
    int size = 0, status = 0;
    const std::unique_ptr<char, decltype(&std::free)> body(static_cast<char*>(miniwget(url.c_str(), &size, 0, &status)),
                                                           &std::free);
    if (!body || size <= 0 || status != 200) return std::nullopt;
    return UdnIn(std::string_view(body.get(), static_cast<std::size_t>(size)));
}

// `url` with its host replaced by `host`, port and path kept: "http://10.77.0.1:5000/x"
// → "http://[2001:db8:77::1]:5000/x". Renewing and closing go this way, through the
// library, to a router with a global address.
std::string WithHost(const std::string& url, const std::string& host)
{
    const auto scheme = url.find("://");
    if (scheme == std::string::npos) return {};
    const auto start = scheme + 3;
    const auto end = url.find_first_of(":/", start);
    return url.substr(0, start) + host + (end == std::string::npos ? "" : url.substr(end));
}

const char* ProtocolNumber(const std::string& protocol) { return protocol == "TCP" ? "6" : "17"; }

// The service's two calls, asked from `source` at `router`.
class FirewallControl {
public:
    FirewallControl(const Ipv6& source, const Ipv6Endpoint& router, std::string path, std::string serviceType)
        : source_(source), router_(router), path_(std::move(path)), serviceType_(std::move(serviceType))
    {
    }

    std::optional<std::string> DescriptionUdn(const std::string& descriptionPath) const
    {
        const auto answer = ExchangeOverIpv6(source_, router_, HttpGetRequest(router_, descriptionPath));
        return answer && SoapCode(*answer) == 0 ? UdnIn(*answer) : std::nullopt;
    }

    // 0 with the firewall's two flags, or the failure's code.
    int Status(bool& enabled, bool& inboundAllowed) const
    {
        const auto answer = Call("GetFirewallStatus", {});
        const int code = answer ? SoapCode(*answer) : kNoSoapAnswer;
        if (code != 0) return code;
        const auto on = XmlField(*answer, "FirewallEnabled"), allowed = XmlField(*answer, "InboundPinholeAllowed");
        if (!on || !allowed) return kNoSoapAnswer;
        enabled = *on == "1";
        inboundAllowed = *allowed == "1";
        return 0;
    }

    // 0 with the pinhole's UniqueID in `id`, or the failure's code.
    int AddPinhole(const PinholeRequest& request, const std::string& protocol, char (&id)[8]) const
    {
        // Any remote host and port: the pinhole is for whoever connects.
        const auto answer = Call("AddPinhole", {{"RemoteHost", ""},
                                                {"RemotePort", "0"},
                                                {"InternalClient", request.internalClient},
                                                {"InternalPort", std::to_string(request.port)},
                                                {"Protocol", ProtocolNumber(protocol)},
                                                {"LeaseTime", std::to_string(kPinholeLeaseSeconds)}});
        const int code = answer ? SoapCode(*answer) : kNoSoapAnswer;
        if (code != 0) return code;
        // Renewing and closing need the id: a pinhole without one is not taken.
        const auto unique = XmlField(*answer, "UniqueID");
        if (!unique || unique->empty() || unique->size() >= sizeof id) return kNoSoapAnswer;
        std::copy(unique->begin(), unique->end(), id);
        id[unique->size()] = '\0';
        return 0;
    }

private:
    std::optional<std::string> Call(const std::string& action,
                                    const std::vector<std::pair<std::string, std::string>>& arguments) const
    {
        return ExchangeOverIpv6(source_, router_, SoapRequest(router_, path_, serviceType_, action, arguments));
    }

    Ipv6 source_;
    Ipv6Endpoint router_;
    std::string path_, serviceType_;
};

} // namespace

PinholeAnswer IgdConnection::AddPinholes(const Ipv6& router, const PinholeRequest& request, Deadline deadline) const
{
    if (!OffersPinholes()) return PinholeAnswer{};
    const auto description = PortAndPath(location_), control = PortAndPath(urls_.controlURL_6FC);
    const auto source = ParseIpv6(request.internalClient);
    PinholeAnswer unreachable{};
    unreachable.stage = PinholeStage::NoDescription;
    if (!description || !control || !source) return unreachable;
    const std::string serviceType = data_.IPv6FC.servicetype;
    const std::string location = location_;
    // The device serves its description and its control on the same port.
    const FirewallControl firewall(*source, Ipv6Endpoint{router, request.routerScope, description->first},
                                   control->second, serviceType);
    const std::string descriptionPath = description->second;
    const auto answer = RunBoundedFor<PinholeAnswer>(
        [firewall, descriptionPath, location, request] {
            PinholeAnswer answer{};
            const auto udn = firewall.DescriptionUdn(descriptionPath);
            answer.stage = !udn ? PinholeStage::NoDescription
                         : udn != DeviceUdn(location) ? PinholeStage::OtherDevice
                                                       : PinholeStage::NoStatus;
            if (answer.stage != PinholeStage::NoStatus) return answer;
            bool enabled = false, inboundAllowed = false;
            answer.statusCode = firewall.Status(enabled, inboundAllowed);
            if (answer.statusCode != 0) return answer;
            answer.stage = !enabled ? PinholeStage::FirewallOff
                         : !inboundAllowed ? PinholeStage::NoPinholes
                                           : PinholeStage::Asked;
            if (answer.stage != PinholeStage::Asked) return answer;
            for (std::size_t i = 0; i < request.protocols.size() && i < kMaxPinholes; ++i)
                answer.codes[i] = firewall.AddPinhole(request, request.protocols[i], answer.ids[i]);
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
    if (!OffersPinholes()) return kNotThisDevice;
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
