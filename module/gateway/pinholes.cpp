#include "gateway/pinholes.h"

#include <ctime>

#include "gateway/host/random.h"
#include "gateway/pcp/pcp_pinhole.h"
#include "gateway/upnp/upnp_errors.h"

namespace gateway {
namespace {

// A pinhole opened for `request`'s address, as the record keeps it.
Grant PinholeGrant(const GatewaySession& session, const PinholeRequest& request, Protocol protocol, Method method)
{
    Grant grant;
    grant.protocol = protocol;
    grant.family = Family::Ipv6;
    grant.method = method;
    grant.externalPort = grant.internalPort = request.port;
    grant.internalAddress = request.internalClient;
    grant.forwardAddress = request.forwardAddress;
    grant.grantedAt = static_cast<long long>(std::time(nullptr));
    return session.Stamped(std::move(grant));
}

} // namespace

std::optional<PinholeAnswers> OpenUpnpPinholes(GatewaySession& session, const Ipv6& gateway,
                                               const PinholeRequest& request)
{
    const IgdConnection* device = session.PinholeGateway();
    if (device == nullptr) return std::nullopt;
    const PinholeAnswer answer = device->AddPinholes(gateway, request, session.CallDeadline());
    PinholeAnswers answers{answer.stage, answer.statusCode, {}};
    if (answer.stage != PinholeStage::Asked) return answers;
    for (std::size_t i = 0; i < request.protocols.size() && i < kMaxPinholes; ++i) {
        PinholeReply& reply = answers.replies.emplace_back();
        reply.protocol = request.protocols[i];
        if (answer.codes[i] != 0) {
            reply.refusal = UpnpErrorText(answer.codes[i]);
            continue;
        }
        Grant grant = PinholeGrant(session, request, reply.protocol, Method::Upnp);
        grant.externalAddress = request.internalClient;
        grant.lease = kPinholeLeaseSeconds;
        grant.pinholeId = answer.ids[i];
        reply.grant = std::move(grant);
        reply.reachablePort = request.port;
    }
    return answers;
}

std::optional<PinholeAnswers> OpenPcpPinholes(GatewaySession& session, const Ipv6& gateway,
                                              const PinholeRequest& request)
{
    const auto own = ParseIpv6(request.internalClient);
    if (!own) return std::nullopt;
    PcpPinhole pinhole{{gateway, request.gatewayScope, *own}, {}, {}, request.port};
    host::FillRandom(pinhole.nonce.data(), pinhole.nonce.size());
    // A gateway without PCP over IPv6 refuses at once or stays silent: the first request
    // gets the LAN's round trip and little more, the next the call's time.
    const PortControlGateway* ipv4 = session.PortControl();
    const auto firstWait = ipv4 && ipv4->Speaks() == Method::Pcp ? kPcpSpeakerWait : kPcpOverIpv6Wait;
    PinholeAnswers answers{PinholeStage::Asked, 0, {}};
    bool silent = false;
    for (const Protocol protocol : request.protocols) {
        PinholeReply& reply = answers.replies.emplace_back();
        reply.protocol = protocol;
        if (silent) {
            reply.refusal = "no PCP answer in time";
            continue;
        }
        pinhole.protocol = protocol;
        const Deadline end = answers.replies.size() == 1 ? Earlier(Clock::now() + firstWait, session.CallDeadline())
                                                         : session.CallDeadline();
        const auto answer = MapPinhole(pinhole, kPinholeLeaseSeconds, end);
        if (!answer) {
            // A gateway too slow for the wait may open it all the same: taken back at once,
            // without waiting, so that nothing stays open unrecorded.
            MapPinhole(pinhole, 0, Clock::now());
            if (answers.replies.size() == 1) return std::nullopt;
            reply.refusal = "no PCP answer in time";
            silent = true;
            continue;
        }
        if (answer->result != pcp::kSuccess || answer->lifetime == 0) {
            reply.refusal = "PCP " + pcp::ResultText(answer->result);
            continue;
        }
        Grant grant = PinholeGrant(session, request, protocol, Method::Pcp);
        grant.externalAddress = ToString(answer->externalAddress);
        grant.lease = static_cast<long long>(answer->lifetime);
        grant.nonce = pcp::NonceText(pinhole.nonce);
        grant.epoch = answer->epoch;
        reply.grant = std::move(grant);
        reply.reachablePort = answer->externalPort;
    }
    return answers;
}

} // namespace gateway
