// renew, list and close through the run's gateway session: the same client, and the
// same checks, as the forward's. Each entry goes to the handler of its method and family.
#include "gateway/entry_client.h"

#include <algorithm>
#include <ctime>

#include "gateway/entry_handler.h"
#include "gateway/ipv4_address.h"
#include "gateway/ipv6_address.h"
#include "gateway/host/ipv6_interface.h"
#include "gateway/host/link_address.h"
#include "gateway/pcp/pcp_message.h"
#include "gateway/upnp/upnp_errors.h"
#include "record/forward_record.h"

namespace gateway {
namespace entry {

std::string Named(const Grant& grant)
{
    return std::string(Name(grant.protocol)) + " " + std::to_string(grant.externalPort) + " to " +
           grant.internalAddress;
}

std::string PortOf(const Grant& grant) { return std::to_string(grant.externalPort); }

long long Now() { return static_cast<long long>(std::time(nullptr)); }

MappingRequest RequestFor(const Grant& grant)
{
    return MappingRequest{grant.externalPort, grant.protocol, grant.internalPort, grant.internalAddress,
                          grant.description};
}

Told Refusal(const Sentence& sentence, Values values)
{
    Told told = Compose(sentence, values);
    Headline(told);
    return told;
}

std::string CodeText(int code)
{
    return code > 0 ? Compose(sentence::Code, {{"reason", UpnpErrorText(code)}}).text : std::string();
}

Answered<const IgdConnection*> Upnp(GatewaySession& session, const Grant& grant)
{
    // A pinhole may be on a gateway whose IPv4 side offers no port mappings.
    const IgdConnection* igd = grant.family == Family::Ipv6 ? session.PinholeGateway() : session.Gateway();
    if (!igd) return Refused<const IgdConnection*>(Refusal(sentence::NoUpnpNow, {{"port", PortOf(grant)}}));
    if (!grant.gateway.udn.empty() && !session.Udn().empty() && grant.gateway.udn != session.Udn())
        return Refused<const IgdConnection*>(
            Refusal(sentence::OnAnotherRouter, {{"port", PortOf(grant)}, {"address", grant.gateway.address}}));
    return {igd, std::nullopt};
}

Answered<PinholeRoute> RouteFor(GatewaySession& session, const Grant& grant)
{
    const auto ipv4 = ParseIpv4(grant.forwardAddress);
    const auto own = ipv4 ? host::ReadGlobalIpv6(*ipv4) : std::nullopt;
    const auto ipv6Gateway =
        own && ToString(*own) == grant.internalAddress ? session.Ipv6Gateway(*ipv4, *own) : std::nullopt;
    if (!ipv6Gateway || !(IsGlobalUnicast(*ipv6Gateway) || IsLinkLocal(*ipv6Gateway)))
        return Refused<PinholeRoute>(Refusal(sentence::PinholeOutOfReach,
                                             {{"port", PortOf(grant)}, {"address", grant.internalAddress}}));
    return {PinholeRoute{*ipv6Gateway, host::ScopeToward(*ipv6Gateway, *ipv4), *own}, std::nullopt};
}

namespace {

// Whether the gateway's `epoch` now shows it restarted since `grant` was made.
bool ShowsRestart(const Grant& grant, std::uint32_t epoch)
{
    return grant.epoch && pcp::EpochShowsLostState(*grant.epoch, grant.grantedAt, epoch, Now());
}

} // namespace

bool LostInRestart(const Grant& grant, std::optional<std::uint32_t> epoch)
{
    if (!epoch || !ShowsRestart(grant, *epoch)) return false;
    Tell(sentence::RestartedSinceGrant, {{"port", PortOf(grant)}});
    return true;
}

EntryClient::Renewal Renewed(Grant grant, std::optional<std::uint32_t> epoch)
{
    const bool restart = epoch && ShowsRestart(grant, *epoch);
    if (epoch) grant.epoch = epoch;
    return {std::move(grant), restart};
}

} // namespace entry

namespace {

class OwnEntryClient final : public EntryClient {
public:
    explicit OwnEntryClient(GatewaySession& session)
        : session_(session), upnpMapping_(UpnpMappingEntry(session)), portControl_(PortControlEntry(session)),
          upnpPinhole_(UpnpPinholeEntry(session)), pcpPinhole_(PcpPinholeEntry(session))
    {
    }

    Answered<Identity> Here() override
    {
        const auto address = session_.DefaultGateway();
        if (!address) return {std::nullopt, Compose(sentence::NoDefaultGatewayNow)};
        return {Identity{{}, ToString(*address), host::LinkAddressOf(*address)}, std::nullopt};
    }

    bool OnThisDevice(const Grant& grant) override
    {
        // Asked only after the search, to which the gateway answers: the system's neighbour
        // table holds its link-layer address then, though it may have held none before.
        session_.HasGateway();
        const auto address = session_.DefaultGateway();
        if (!address) return false;
        RecordedForward made;
        made.grant = grant;
        return MadeOnDevice(made, {session_.Udn(), ToString(*address), host::LinkAddressOf(*address)});
    }

    Answered<Holding> Holds(const Grant& grant) override { return HandlerFor(grant).Holds(grant); }
    Answered<Renewal> Renew(const Grant& grant) override { return HandlerFor(grant).Renew(grant); }
    std::optional<Told> Delete(const Grant& grant) override { return HandlerFor(grant).Delete(grant); }

    Answered<std::vector<Listed>> List(const std::vector<std::string>& addresses) override
    {
        if (!session_.HasGateway()) {
            // A gateway with no public IPv4 address maps no IPv4 port, yet holds the
            // pinholes opened instead: the record tells.
            if (session_.PinholeGateway()) return {std::vector<Listed>{}, std::nullopt};
            return {std::nullopt, Compose(sentence::CannotList)};
        }
        std::vector<Listed> listed;
        const IgdConnection* igd = session_.Gateway();
        if (!igd) return {listed, std::nullopt}; // PCP and NAT-PMP cannot list: the record tells
        // A slow gateway's long list takes what is left of the run, each call its own share.
        const GatewaySettings& settings = session_.Settings();
        const IgdConnection::Listing listing = igd->ListMappings(settings.end, settings.callTime);
        if (listing.code != 0) {
            DiagnosticLine("GetGenericPortMappingEntry after " + std::to_string(listing.mappings.size()) +
                           " entries: " + UpnpErrorText(listing.code));
            return {std::nullopt, Clock::now() >= settings.end
                                      ? Compose(sentence::ListNotInTime,
                                                {{"count", std::to_string(listing.mappings.size())}})
                                      : Compose(sentence::NotListed)};
        }
        for (const HeldMapping& held : listing.mappings)
            if (std::find(addresses.begin(), addresses.end(), held.internalClient) != addresses.end())
                listed.push_back(ListedOf(held));
        return {listed, std::nullopt};
    }

    Answered<std::optional<Listed>> Read(int port, Protocol protocol) override
    {
        const std::optional<Listed> none;
        if (!session_.HasGateway()) {
            if (session_.PinholeGateway()) return {none, std::nullopt}; // no IPv4 port to hold
            return {std::nullopt, Compose(sentence::CannotClose, {{"port", std::to_string(port)}})};
        }
        const IgdConnection* igd = session_.Gateway();
        if (!igd) return {none, std::nullopt}; // PCP and NAT-PMP cannot be asked
        const MappingReadBack back = igd->ReadMapping(port, protocol, session_.CallDeadline());
        if (back.code == kNoSuchEntryInArray) return {none, std::nullopt};
        if (back.code != 0) {
            DiagnosticLine("GetSpecificPortMappingEntry " + std::string(Name(protocol)) + " " + std::to_string(port) +
                           ": " + UpnpErrorText(back.code));
            return {std::nullopt, entry::Refusal(sentence::HoldsUntold, {{"port", std::to_string(port)}})};
        }
        return {ListedOf(back.mapping), std::nullopt};
    }

private:
    // A UPnP mapping the gateway holds, as the record would keep it.
    Listed ListedOf(const HeldMapping& held) const
    {
        const auto address = session_.DefaultGateway();
        Grant grant;
        grant.protocol = held.protocol;
        grant.externalPort = held.externalPort;
        grant.internalAddress = held.internalClient;
        grant.internalPort = held.internalPort;
        grant.gateway = {session_.Udn(), address ? ToString(*address) : std::string(),
                         address ? host::LinkAddressOf(*address) : std::string()};
        grant.externalAddress = held.externalAddress;
        grant.description = held.description;
        return {grant, held.lease.value_or(0)};
    }

    EntryHandler& HandlerFor(const Grant& grant) const
    {
        if (grant.family == Family::Ipv6) return grant.method == Method::Pcp ? *pcpPinhole_ : *upnpPinhole_;
        return ThroughUpnp(grant.method) ? *upnpMapping_ : *portControl_;
    }

    GatewaySession& session_;
    std::unique_ptr<EntryHandler> upnpMapping_, portControl_, upnpPinhole_, pcpPinhole_;
};

} // namespace

std::unique_ptr<EntryClient> OpenEntryClient(GatewaySession& session)
{
    return std::make_unique<OwnEntryClient>(session);
}

} // namespace gateway
