// Pinholes through the gateway's WANIPv6FirewallControl service. The service gives a
// pinhole only to the address that asks for it (a request over IPv4 gets 606), so it is
// asked over IPv6, at the gateway's IPv6 address (link-local, as gateways advertise, or
// global), from the machine's global address; and only once the device there has shown
// the same UDN as the IPv4 gateway: a pinhole on another device opens nothing and trusts
// a stranger. The control URL's path is the one the IPv4 description gave.
#include "gateway/upnp/igd_connection.h"

#include <miniupnpc/miniwget.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
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

int CodeOf(const std::optional<std::string>& answer) { return answer ? SoapCode(*answer) : kNoSoapAnswer; }

// The service's calls, asked from `source` at `ipv6Gateway`.
class FirewallControl {
public:
    FirewallControl(const Ipv6& source, const Ipv6Endpoint& ipv6Gateway, std::string descriptionPath, std::string path,
                    std::string serviceType)
        : source_(source), gateway_(ipv6Gateway), descriptionPath_(std::move(descriptionPath)), path_(std::move(path)),
          serviceType_(std::move(serviceType))
    {
    }

    // NoStatus when the device at the IPv6 gateway's address is the IPv4 gateway at `location` (its
    // status not asked yet); else why it is not asked.
    PinholeStage Reached(const std::string& location) const
    {
        const auto answer = ExchangeOverIpv6(source_, gateway_, HttpGetRequest(gateway_, descriptionPath_));
        const auto udn = answer && SoapCode(*answer) == 0 ? UdnIn(*answer) : std::nullopt;
        return !udn ? PinholeStage::NoDescription
             : udn != DeviceUdn(location) ? PinholeStage::OtherDevice
                                           : PinholeStage::NoStatus;
    }

    // 0 with the firewall's two flags, or the failure's code.
    int Status(bool& enabled, bool& inboundAllowed) const
    {
        const auto answer = Call("GetFirewallStatus", {});
        const int code = CodeOf(answer);
        if (code != 0) return code;
        const auto on = XmlField(*answer, "FirewallEnabled"), allowed = XmlField(*answer, "InboundPinholeAllowed");
        if (!on || !allowed) return kNoSoapAnswer;
        enabled = *on == "1";
        inboundAllowed = *allowed == "1";
        return 0;
    }

    // 0 with the pinhole's UniqueID in `id`, or the failure's code.
    int AddPinhole(const PinholeRequest& request, Protocol protocol, char (&id)[8]) const
    {
        // Any remote host and port: the pinhole is for whoever connects.
        const auto answer = Call("AddPinhole", {{"RemoteHost", ""},
                                                {"RemotePort", "0"},
                                                {"InternalClient", request.internalClient},
                                                {"InternalPort", std::to_string(request.port)},
                                                {"Protocol", std::to_string(IpNumber(protocol))},
                                                {"LeaseTime", std::to_string(kPinholeLeaseSeconds)}});
        const int code = CodeOf(answer);
        if (code != 0) return code;
        // Renewing and closing need the id: a pinhole without one is not taken.
        const auto unique = XmlField(*answer, "UniqueID");
        if (!unique || unique->empty() || unique->size() >= sizeof id) return kNoSoapAnswer;
        std::copy(unique->begin(), unique->end(), id);
        id[unique->size()] = '\0';
        return 0;
    }

    int UpdatePinhole(const std::string& uniqueId) const
    {
        return CodeOf(
            Call("UpdatePinhole", {{"UniqueID", uniqueId}, {"NewLeaseTime", std::to_string(kPinholeLeaseSeconds)}}));
    }

    int DeletePinhole(const std::string& uniqueId) const
    {
        return CodeOf(Call("DeletePinhole", {{"UniqueID", uniqueId}}));
    }

private:
    std::optional<std::string> Call(const std::string& action,
                                    const std::vector<std::pair<std::string, std::string>>& arguments) const
    {
        return ExchangeOverIpv6(source_, gateway_, SoapRequest(gateway_, path_, serviceType_, action, arguments));
    }

    Ipv6 source_;
    Ipv6Endpoint gateway_;
    std::string descriptionPath_, path_, serviceType_;
};

// The service of the device described at `location`, asked at `ipv6Gateway` from the global
// address `request` is for; nothing when its URLs or that address do not read.
std::optional<FirewallControl> ControlAt(const IGDdatas& data, const UPNPUrls& urls, const std::string& location,
                                         const Ipv6& ipv6Gateway, const PinholeRequest& request)
{
    const auto description = PortAndPath(location), control = PortAndPath(urls.controlURL_6FC);
    const auto source = ParseIpv6(request.internalClient);
    if (!description || !control || !source) return std::nullopt;
    // The device serves its description and its control on the same port.
    return FirewallControl(*source, Ipv6Endpoint{ipv6Gateway, request.gatewayScope, description->first},
                           description->second, control->second, data.IPv6FC.servicetype);
}

// `call`'s code once the device at the IPv6 gateway's address has shown the gateway's UDN;
// kNotThisDevice when it did not.
int OnThisDevice(const std::optional<FirewallControl>& firewall, const std::string& location, Deadline deadline,
                 const std::function<int(const FirewallControl&)>& call)
{
    if (!firewall) return kNotThisDevice;
    const auto code = RunBoundedFor<int>(
        [firewall = *firewall, location, call] {
            return firewall.Reached(location) == PinholeStage::NoStatus ? call(firewall) : kNotThisDevice;
        },
        deadline);
    return code ? *code : kNoAnswerInTime;
}

} // namespace

PinholeAnswer IgdConnection::AddPinholes(const Ipv6& ipv6Gateway, const PinholeRequest& request, Deadline deadline) const
{
    if (!OffersPinholes()) return PinholeAnswer{};
    const auto firewall = ControlAt(data_, urls_, location_, ipv6Gateway, request);
    PinholeAnswer unreachable{};
    unreachable.stage = PinholeStage::NoDescription;
    if (!firewall) return unreachable;
    const std::string location = location_;
    const auto answer = RunBoundedFor<PinholeAnswer>(
        [firewall = *firewall, location, request] {
            PinholeAnswer answer{};
            answer.stage = firewall.Reached(location);
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

int IgdConnection::UpdatePinhole(const Ipv6& ipv6Gateway, const PinholeRequest& opened, const std::string& uniqueId,
                                 Deadline deadline) const
{
    if (!OffersPinholes()) return kNotThisDevice;
    return OnThisDevice(ControlAt(data_, urls_, location_, ipv6Gateway, opened), location_, deadline,
                        [uniqueId](const FirewallControl& firewall) { return firewall.UpdatePinhole(uniqueId); });
}

int IgdConnection::DeletePinhole(const Ipv6& ipv6Gateway, const PinholeRequest& opened, const std::string& uniqueId,
                                 Deadline deadline) const
{
    if (!OffersPinholes()) return kNotThisDevice;
    return OnThisDevice(ControlAt(data_, urls_, location_, ipv6Gateway, opened), location_, deadline,
                        [uniqueId](const FirewallControl& firewall) { return firewall.DeletePinhole(uniqueId); });
}

} // namespace gateway
