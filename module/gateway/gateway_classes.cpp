#include "gateway/gateway_classes.h"

#include <memory>
#include <new>

#include "gateway/gateway_session.h"
#include "gateway/host/random.h"
#include "gateway/nat_upnp.h"
#include "gateway/pcp/pcp_pinhole.h"
#include "gateway/static_port_mapping_collection.h"

namespace {

const std::shared_ptr<gateway::GatewaySession>& RunSession()
{
    static const auto session = std::make_shared<gateway::GatewaySession>(gateway::GatewaySettings{});
    return session;
}

} // namespace

std::shared_ptr<gateway::GatewaySession> gateway::RegisteredSession() { return RunSession(); }

HRESULT CreateGatewayNat(REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    auto* created = new (std::nothrow) gateway::NatUPnP(RunSession());
    if (created == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = created->QueryInterface(iid, object);
    created->Release();
    return hr;
}

std::optional<gateway::PinholeAnswer> OpenGatewayPinholes(const gateway::Ipv6& router,
                                                          const gateway::PinholeRequest& request)
{
    gateway::GatewaySession& session = *RunSession();
    const gateway::IgdConnection* gateway = session.PinholeGateway();
    if (gateway == nullptr) return std::nullopt;
    const gateway::PinholeAnswer answer = gateway->AddPinholes(router, request, session.CallDeadline());
    // Each pinhole opened is recorded with the forward's mappings, to be renewed and closed with them.
    for (std::size_t i = 0; i < request.protocols.size() && i < gateway::kMaxPinholes; ++i) {
        if (answer.stage != gateway::PinholeStage::Asked || answer.codes[i] != 0) continue;
        gateway::HeldMapping held;
        held.externalPort = request.port;
        held.protocol = request.protocols[i];
        held.internalPort = request.port;
        held.internalClient = request.internalClient;
        held.externalAddress = request.internalClient;
        held.leaseSeconds = gateway::kPinholeLeaseSeconds;
        gateway::Grant grant = gateway::GrantOf(held, Method::Upnp);
        grant.family = Family::Ipv6;
        grant.pinholeId = answer.ids[i];
        grant.forwardAddress = request.forwardAddress;
        session.NoteGrant(std::move(grant));
    }
    return answer;
}

std::vector<gateway::pcp::Answer> OpenPcpPinholes(const gateway::Ipv6& router, const gateway::PinholeRequest& request)
{
    using namespace gateway;
    GatewaySession& session = *RunSession();
    const auto own = ParseIpv6(request.internalClient);
    if (!own) return {};
    PcpPinhole pinhole{{router, request.routerScope, *own}, {}, {}, request.port};
    host::FillRandom(pinhole.nonce.data(), pinhole.nonce.size());
    // A router without PCP over IPv6 refuses at once or stays silent: the first request
    // gets the LAN's round trip and little more, the next the call's time.
    const PortControlGateway* ipv4 = session.PortControl();
    const auto firstWait = ipv4 && ipv4->Speaks() == Method::Pcp ? kPcpSpeakerWait : kPcpOverIpv6Wait;
    std::vector<pcp::Answer> answers;
    for (const Protocol protocol : request.protocols) {
        pinhole.protocol = protocol;
        const Deadline end = answers.empty() ? Earlier(Clock::now() + firstWait, session.CallDeadline())
                                             : session.CallDeadline();
        const auto answer = MapPinhole(pinhole, kPinholeLeaseSeconds, end);
        if (!answer) {
            // A router too slow for the wait may open it all the same: taken back at once,
            // without waiting, so that nothing stays open unrecorded.
            MapPinhole(pinhole, 0, Clock::now());
            break;
        }
        answers.push_back(*answer);
        if (answer->result != pcp::kSuccess || answer->lifetime == 0) continue;
        HeldMapping held;
        held.externalPort = held.internalPort = request.port;
        held.protocol = protocol;
        held.internalClient = request.internalClient;
        held.externalAddress = ToString(answer->externalAddress);
        held.leaseSeconds = static_cast<long>(answer->lifetime);
        Grant grant = GrantOf(held, Method::Pcp);
        grant.family = Family::Ipv6;
        grant.nonce = pcp::NonceText(pinhole.nonce);
        grant.epoch = answer->epoch;
        grant.forwardAddress = request.forwardAddress;
        session.NoteGrant(std::move(grant));
    }
    return answers;
}

std::optional<gateway::Ipv6> Ipv6RouterToAsk(gateway::Ipv4 interfaceAddress, const gateway::Ipv6& own)
{
    return RunSession()->Ipv6Router(interfaceAddress, own);
}

#ifdef _WIN32
HRESULT ConfirmGatewayMapping(LONG externalPort, BSTR protocol, LONG internalPort, BSTR internalClient,
                              VARIANT_BOOL enabled, BSTR description, IStaticPortMapping** mapping)
{
    return gateway::ConfirmMapping(*RunSession(), externalPort, protocol, internalPort, internalClient, enabled,
                                   description, mapping);
}
#else
void RegisterGatewayClasses() { comrt::RegisterClass(CLSID_UPnPNAT, CreateGatewayNat); }
#endif
