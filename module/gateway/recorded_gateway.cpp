// renew, list and close through the run's gateway session: the same client, and the
// same checks, as the forward's.
#include <algorithm>
#include <ctime>

#include "tell.h"
#include "gateway/forward_gateway.h"
#include "gateway/gateway_session.h"
#include "gateway/lease_request.h"
#include "gateway/ipv4_address.h"
#include "gateway/ipv6_address.h"
#include "gateway/host/ipv6_interface.h"
#include "gateway/host/link_address.h"
#include "gateway/natpmp/natpmp_protocol.h"
#include "gateway/pcp/pcp_message.h"
#include "gateway/pcp/pcp_pinhole.h"
#include "gateway/pcp/pcp_protocol.h"
#include "gateway/upnp/upnp_errors.h"

namespace gateway {
namespace {

std::string Named(const RecordedForward& f)
{
    return std::string(Name(f.grant.protocol)) + " " + std::to_string(f.grant.externalPort) + " to " +
           f.grant.internalAddress;
}

// A headline names the port, not the protocol: TCP and UDP failing alike show once.
std::string Port(const RecordedForward& f) { return "port " + std::to_string(f.grant.externalPort); }

// The reason, for the result, and as the headline.
void Fail(std::string& problem, const std::string& sentence)
{
    problem = sentence;
    Headline(sentence);
}

MappingRequest RequestFor(const RecordedForward& f)
{
    return MappingRequest{f.grant.externalPort, f.grant.protocol, f.grant.internalPort, f.grant.internalAddress,
                          f.grant.description};
}

// Gateways answer an id they no longer know with NoSuchEntry, or (miniupnpd) Invalid Args.
bool PinholeLost(int code) { return code == kNoSuchPinhole || code == kUnknownPinholeId; }

long long Now() { return static_cast<long long>(std::time(nullptr)); }

void TakeGrant(RecordedForward& f, const HeldMapping& held, const std::string& externalAddress)
{
    f.grant.lease = held.lease.value_or(0);
    f.grant.externalAddress = externalAddress;
    f.grant.grantedAt = Now();
}

class RecordedGateway final : public ForwardGateway {
public:
    explicit RecordedGateway(GatewaySession& session) : session_(session) {}

    std::optional<gateway::Identity> Identity(std::string& problem) override
    {
        const auto address = session_.DefaultGateway();
        if (!address) {
            problem = "This machine has no default gateway now, so no router can be asked. Connect to the network, "
                      "then try again.";
            return std::nullopt;
        }
        return gateway::Identity{{}, ToString(*address), host::LinkAddressOf(*address)};
    }

    bool OnThisDevice(const RecordedForward& f) override
    {
        // Asked only after the search, to which the gateway answers: the system's neighbour
        // table holds its link-layer address then, though it may have held none before.
        session_.HasGateway();
        const auto address = session_.DefaultGateway();
        if (!address) return false;
        return MadeOnDevice(f, {session_.Udn(), ToString(*address), host::LinkAddressOf(*address)});
    }

    Holding Holds(const RecordedForward& f, std::string& problem) override
    {
        // Gateways answer a pinhole check with 402 whether they hold it or not: the hourly
        // check is the renewal itself, which opens it again when lost.
        if (f.grant.family == Family::Ipv6) return Holding::CannotTell;
        if (!ThroughUpnp(f.grant.method)) return Holding::CannotTell;
        const IgdConnection* igd = Upnp(f, problem);
        if (!igd) return Holding::CannotTell;
        const MappingReadBack back = igd->ReadMapping(f.grant.externalPort, f.grant.protocol, session_.CallDeadline());
        if (back.code == kNoSuchEntryInArray) return Holding::NotHeld;
        if (back.code != 0) {
            DiagnosticLine("GetSpecificPortMappingEntry " + Named(f) + ": " + UpnpErrorText(back.code));
            Fail(problem, "The router did not say whether it still holds " + Port(f) + ". Try again later.");
            return Holding::CannotTell;
        }
        return back.mapping.internalClient == f.grant.internalAddress && back.mapping.enabled ? Holding::Held
                                                                                              : Holding::NotHeld;
    }

    bool Renew(RecordedForward& f, std::string& problem) override
    {
        if (f.grant.family == Family::Ipv6 && f.grant.method == Method::Pcp) return RenewPcpPinhole(f, problem);
        if (f.grant.family == Family::Ipv6) return RenewPinhole(f, problem);
        if (!ThroughUpnp(f.grant.method)) {
            const auto portControl = PortControlFor(f, problem);
            if (!portControl) return false;
            const MappingOutcome outcome = portControl->Map(RequestFor(f), session_.CallDeadline());
            if (!outcome.held) { // its headline told why
                problem = "The router did not renew " + Port(f) + " through " + std::string(Name(f.grant.method)) +
                          ". Forward the port again.";
                return false;
            }
            NoteEpoch(f, outcome.epoch);
            TakeGrant(f, *outcome.held, outcome.held->externalAddress);
            return true;
        }
        const IgdConnection* igd = Upnp(f, problem);
        if (!igd) return false;
        const MappingRequest request = RequestFor(f);
        const int refusal = AddWithLease(*igd, request, session_.CallDeadline());
        if (refusal != 0) {
            DiagnosticLine("AddPortMapping " + Named(f) + ": " + UpnpErrorText(refusal));
            Fail(problem, "The router did not renew " + Port(f) +
                              (refusal > 0 ? " (" + UpnpErrorText(refusal) + ")" : std::string()) +
                              ". Forward the port again, or open it in the router's own settings.");
            return false;
        }
        const MappingReadBack back = igd->ReadMapping(f.grant.externalPort, f.grant.protocol, session_.CallDeadline());
        if (back.code != 0 || !HoldsRequest(back.mapping, request)) {
            Fail(problem, "The router said yes to renewing " + Port(f) + ", but does not hold it. Forward the port again.");
            return false;
        }
        TakeGrant(f, back.mapping, igd->ExternalAddress());
        return true;
    }

    bool RestartSeen() const override { return restartSeen_; }

    bool Delete(const RecordedForward& f, std::string& problem) override
    {
        if (f.grant.family == Family::Ipv6 && f.grant.method == Method::Pcp)
            return MapPcpPinhole(f, 0, problem).has_value();
        if (f.grant.family == Family::Ipv6) return DeletePinhole(f, problem);
        if (!ThroughUpnp(f.grant.method)) {
            const auto portControl = PortControlFor(f, problem);
            if (!portControl) return false;
            std::optional<std::uint32_t> epoch;
            if (portControl->Delete(RequestFor(f), session_.CallDeadline(), &epoch).empty() ||
                LostInRestart(f, epoch))
                return true;
            Fail(problem, "The router did not close " + Port(f) + " through " + std::string(Name(f.grant.method)) +
                              ". Try again, or close it in the router's own settings.");
            return false;
        }
        const IgdConnection* igd = Upnp(f, problem);
        if (!igd) return false;
        // Only what the gateway holds for this address: the port may be another machine's now.
        const MappingReadBack back = igd->ReadMapping(f.grant.externalPort, f.grant.protocol, session_.CallDeadline());
        if (back.code == kNoSuchEntryInArray ||
            (back.code == 0 && back.mapping.internalClient != f.grant.internalAddress)) {
            UserLine("The router no longer holds " + Named(f) +
                     (back.code == 0 ? " (it holds the port for " + back.mapping.internalClient + ", left as it is)"
                                     : std::string()) +
                     ".");
            return true;
        }
        const int code = back.code != 0
                             ? back.code
                             : igd->DeletePortMapping(f.grant.externalPort, f.grant.protocol, session_.CallDeadline());
        if (code == 0 || code == kNoSuchEntryInArray) return true;
        DiagnosticLine("DeletePortMapping " + Named(f) + ": " + UpnpErrorText(code));
        Fail(problem, "The router did not close " + Port(f) + (code > 0 ? " (" + UpnpErrorText(code) + ")" : std::string()) +
                          ". Try again, or close it in the router's own settings.");
        return false;
    }

    std::optional<std::vector<ListedMapping>> List(const std::vector<std::string>& addresses,
                                                   std::string& problem) override
    {
        if (!session_.HasGateway()) {
            // A gateway with no public IPv4 address maps no IPv4 port, yet holds the
            // pinholes opened instead: the record tells.
            if (session_.PinholeGateway()) return std::vector<ListedMapping>{};
            problem = "No router on this network answered, so its open ports cannot be listed. Turn on UPnP or "
                      "NAT-PMP in the router's settings.";
            return std::nullopt;
        }
        std::vector<ListedMapping> listed;
        const IgdConnection* igd = session_.Gateway();
        if (!igd) return listed; // PCP and NAT-PMP cannot list: the record tells
        // A slow gateway's long list takes what is left of the run, each call its own share.
        const GatewaySettings& settings = session_.Settings();
        const IgdConnection::Listing listing = igd->ListMappings(settings.end, settings.callTime);
        if (listing.code != 0) {
            DiagnosticLine("GetGenericPortMappingEntry after " + std::to_string(listing.mappings.size()) +
                           " entries: " + UpnpErrorText(listing.code));
            problem = Clock::now() >= settings.end
                          ? "The router did not list all its open ports in time (" +
                                std::to_string(listing.mappings.size()) + " listed). Try again."
                          : "The router did not list its open ports. Try again.";
            return std::nullopt;
        }
        for (const HeldMapping& held : listing.mappings)
            if (std::find(addresses.begin(), addresses.end(), held.internalClient) != addresses.end())
                listed.push_back(Listed(held));
        return listed;
    }

    std::optional<ListedMapping> Read(int port, Protocol protocol, std::string& problem) override
    {
        if (!session_.HasGateway()) {
            if (session_.PinholeGateway()) return std::nullopt; // no IPv4 port to hold
            problem = "No router on this network answered, so port " + std::to_string(port) + " could not be closed. "
                      "Turn on UPnP or NAT-PMP in the router's settings.";
            return std::nullopt;
        }
        const IgdConnection* igd = session_.Gateway();
        if (!igd) return std::nullopt; // PCP and NAT-PMP cannot be asked
        const MappingReadBack back = igd->ReadMapping(port, protocol, session_.CallDeadline());
        if (back.code == kNoSuchEntryInArray) return std::nullopt;
        if (back.code != 0) {
            DiagnosticLine("GetSpecificPortMappingEntry " + std::string(Name(protocol)) + " " + std::to_string(port) +
                           ": " + UpnpErrorText(back.code));
            Fail(problem, "The router did not say what it holds at port " + std::to_string(port) + ". Try again.");
            return std::nullopt;
        }
        return Listed(back.mapping);
    }

private:
    // A UPnP mapping the gateway holds, as the record would keep it.
    ListedMapping Listed(const HeldMapping& held) const
    {
        const auto address = session_.DefaultGateway();
        RecordedForward f;
        f.grant.protocol = held.protocol;
        f.grant.externalPort = held.externalPort;
        f.grant.internalAddress = held.internalClient;
        f.grant.internalPort = held.internalPort;
        f.grant.gateway = {session_.Udn(), address ? ToString(*address) : std::string(),
                           address ? host::LinkAddressOf(*address) : std::string()};
        f.grant.externalAddress = held.externalAddress;
        f.grant.description = held.description;
        return {f, held.lease.value_or(0)};
    }

    // A pinhole is reached as it was opened: at the IPv6 gateway of its forward's network
    // (a link-local one through the interface holding the forward's IPv4 address), from
    // the global address it is for.
    struct PinholeWay {
        const IgdConnection* igd = nullptr;
        Ipv6 gateway{};
        PinholeRequest opened;
    };

    std::optional<PinholeWay> PinholeWayFor(const RecordedForward& f, std::string& problem)
    {
        const IgdConnection* igd = Upnp(f, problem);
        if (!igd) return std::nullopt;
        const auto route = RouteFor(f, problem);
        if (!route) return std::nullopt;
        return PinholeWay{
            igd,
            route->gateway,
            {f.grant.forwardAddress, f.grant.internalAddress, route->scope, f.grant.externalPort, {f.grant.protocol}}};
    }

    std::optional<PinholeRoute> RouteFor(const RecordedForward& f, std::string& problem)
    {
        const auto ipv4 = ParseIpv4(f.grant.forwardAddress);
        const auto own = ipv4 ? host::ReadGlobalIpv6(*ipv4) : std::nullopt;
        const auto ipv6Gateway =
            own && ToString(*own) == f.grant.internalAddress ? session_.Ipv6Gateway(*ipv4, *own) : std::nullopt;
        if (!ipv6Gateway || !(IsGlobalUnicast(*ipv6Gateway) || IsLinkLocal(*ipv6Gateway))) {
            Fail(problem, "The IPv6 pinhole for " + Port(f) + " is for " + f.grant.internalAddress +
                              ", which this machine can no longer reach its router from. Forward the port over IPv6 "
                              "again.");
            return std::nullopt;
        }
        return PinholeRoute{*ipv6Gateway, host::ScopeToward(*ipv6Gateway, *ipv4), *own};
    }

    // The pinhole's refusal, told; false.
    bool PinholeRefused(const RecordedForward& f, const char* call, int code, const std::string& what,
                        std::string& problem)
    {
        DiagnosticLine(std::string(call) + " " + Named(f) + " id " + f.grant.pinholeId + ": " + UpnpErrorText(code));
        Fail(problem, "The router did not " + what + " the IPv6 pinhole for " + Port(f) +
                          (code > 0 ? " (" + UpnpErrorText(code) + ")" : std::string()) +
                          ". Try again later, or open it in the router's own settings.");
        return false;
    }

    // UpdatePinhole; a pinhole the gateway no longer has is opened again, with a new id.
    bool RenewPinhole(RecordedForward& f, std::string& problem)
    {
        const auto way = PinholeWayFor(f, problem);
        if (!way) return false;
        const int code = way->igd->UpdatePinhole(way->gateway, way->opened, f.grant.pinholeId, session_.CallDeadline());
        if (PinholeLost(code)) {
            UserLine("The router no longer has the IPv6 pinhole for " + Named(f) + "; it is opened again.");
            const PinholeAnswer answer = way->igd->AddPinholes(way->gateway, way->opened, session_.CallDeadline());
            if (answer.stage != PinholeStage::Asked || answer.codes[0] != 0)
                return PinholeRefused(f, "AddPinhole", answer.stage == PinholeStage::Asked ? answer.codes[0]
                                                                                          : answer.statusCode,
                                      "open again", problem);
            f.grant.pinholeId = answer.ids[0];
        } else if (code != 0) {
            return PinholeRefused(f, "UpdatePinhole", code, "renew", problem);
        }
        f.grant.lease = kPinholeLeaseSeconds;
        f.grant.grantedAt = Now();
        return true;
    }

    bool DeletePinhole(const RecordedForward& f, std::string& problem)
    {
        const auto way = PinholeWayFor(f, problem);
        if (!way) return false;
        const int code = way->igd->DeletePinhole(way->gateway, way->opened, f.grant.pinholeId, session_.CallDeadline());
        if (PinholeLost(code)) UserLine("The router no longer has the IPv6 pinhole for " + Named(f) + ".");
        return code == 0 || PinholeLost(code) || PinholeRefused(f, "DeletePinhole", code, "close", problem);
    }

    // The UPnP gateway, when it is the device the entry was made on.
    const IgdConnection* Upnp(const RecordedForward& f, std::string& problem)
    {
        // A pinhole may be on a gateway whose IPv4 side offers no port mappings.
        const IgdConnection* igd = f.grant.family == Family::Ipv6 ? session_.PinholeGateway() : session_.Gateway();
        if (!igd) {
            Fail(problem, "The router no longer answers UPnP, so " + Port(f) +
                              " could not be reached. Check that UPnP is on in the router's settings.");
            return nullptr;
        }
        if (!f.grant.gateway.udn.empty() && !session_.Udn().empty() && f.grant.gateway.udn != session_.Udn()) {
            Fail(problem, "Port " + std::to_string(f.grant.externalPort) +
                              " was opened on another router (another device answers at " + f.grant.gateway.address +
                              " now), so it was left alone. Close it on that network.");
            return nullptr;
        }
        return igd;
    }

    std::unique_ptr<PortControlGateway> PortControlFor(const RecordedForward& f, std::string& problem) const
    {
        const auto address = session_.DefaultGateway();
        if (f.grant.method == Method::Pcp && address) {
            auto protocol = std::make_unique<PcpProtocol>(*address);
            if (protocol->UseNonce(f.grant.nonce))
                return std::make_unique<PortControlGateway>(*address, std::move(protocol));
        }
        const auto external = ParseIpv4(f.grant.externalAddress);
        if (f.grant.method == Method::NatPmp && address && external)
            return std::make_unique<PortControlGateway>(*address, std::make_unique<NatPmpProtocol>(*address, *external));
        Fail(problem, "The record of " + Port(f) + " lacks what " + std::string(Name(f.grant.method)) +
                          " needs to reach it again. Forward the port again.");
        return nullptr;
    }

    // A PCP pinhole's MAP again, with its nonce, for `lifetime` seconds (0 closes it), at
    // the IPv6 default gateway of its forward's network, from the address it is for; the
    // gateway's yes, or nothing with the reason told.
    std::optional<pcp::Answer> MapPcpPinhole(const RecordedForward& f, std::uint32_t lifetime, std::string& problem)
    {
        const auto nonce = pcp::NonceFrom(f.grant.nonce);
        if (!nonce) {
            Fail(problem, "The record of " + Port(f) + " lacks what PCP needs to reach it again. Forward the port "
                          "over IPv6 again.");
            return std::nullopt;
        }
        const auto route = RouteFor(f, problem);
        if (!route) return std::nullopt;
        const PcpPinhole pinhole{*route, *nonce, f.grant.protocol, f.grant.externalPort};
        auto answer = MapPinhole(pinhole, lifetime, session_.CallDeadline());
        // Some gateways forget whose a pinhole is once it was renewed, and refuse to delete
        // it; they still shorten it: asked for a second, it ends at their shortest lifetime.
        if (lifetime == 0 && answer && answer->result == pcp::kNotAuthorized) {
            answer = MapPinhole(pinhole, 1, session_.CallDeadline());
            if (answer && answer->result == pcp::kSuccess) {
                UserLine("The router would not delete the IPv6 pinhole for " + Named(f) + " (PCP " +
                         pcp::ResultText(pcp::kNotAuthorized) + "); it ends by itself in " +
                         std::to_string(answer->lifetime) + " s.");
                return answer;
            }
        }
        if (answer && answer->result == pcp::kSuccess && (lifetime == 0 || answer->lifetime > 0)) return answer;
        if (lifetime == 0 && answer && LostInRestart(f, answer->epoch)) return answer;
        const std::string why = answer ? "PCP " + pcp::ResultText(answer->result) : "no PCP answer in time";
        DiagnosticLine("PCP MAP " + Named(f) + " for " + std::to_string(lifetime) + " s: " + why);
        Fail(problem, "The router did not " + std::string(lifetime > 0 ? "renew" : "close") + " the IPv6 pinhole for " +
                          Port(f) + " (" + why + "). Try again later, or " + (lifetime > 0 ? "open" : "close") +
                          " it in the router's own settings.");
        return std::nullopt;
    }

    bool RenewPcpPinhole(RecordedForward& f, std::string& problem)
    {
        const auto answer = MapPcpPinhole(f, kPinholeLeaseSeconds, problem);
        if (!answer) return false;
        NoteEpoch(f, answer->epoch);
        f.grant.lease = static_cast<long long>(answer->lifetime);
        f.grant.externalAddress = ToString(answer->externalAddress);
        f.grant.grantedAt = Now();
        return true;
    }

    // Whether the gateway's `epoch` now shows it restarted since `f` was granted.
    static bool ShowsRestart(const RecordedForward& f, std::uint32_t epoch)
    {
        return f.grant.epoch && pcp::EpochShowsLostState(*f.grant.epoch, f.grant.grantedAt, epoch, Now());
    }

    // A gateway that restarted since the grant holds nothing of it, whatever it answers
    // to deleting it (miniupnpd: NO_RESOURCES).
    bool LostInRestart(const RecordedForward& f, std::optional<std::uint32_t> epoch)
    {
        if (!epoch || !ShowsRestart(f, *epoch)) return false;
        UserLine("The router restarted since " + Port(f) + " was granted, so it no longer holds it.");
        return true;
    }

    void NoteEpoch(RecordedForward& f, std::optional<std::uint32_t> epoch)
    {
        if (!epoch) return;
        if (!restartSeen_ && ShowsRestart(f, *epoch)) {
            restartSeen_ = true;
            UserLine("The router's " + std::string(Name(f.grant.method)) + " epoch shows it restarted since " +
                     Port(f) + " was granted, losing its mappings; each on it is asked for again now.");
        }
        f.grant.epoch = epoch;
    }

    GatewaySession& session_;
    bool restartSeen_ = false;
};

} // namespace
} // namespace gateway

std::unique_ptr<ForwardGateway> OpenForwardGateway(gateway::GatewaySession& session)
{
    return std::make_unique<gateway::RecordedGateway>(session);
}
