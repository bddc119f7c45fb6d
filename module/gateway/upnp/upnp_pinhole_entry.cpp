// A UPnP IPv6 pinhole: gateways answer a check with 402 whether they hold it or not, so
// the hourly check is the renewal itself; renewed with UpdatePinhole, or opened again
// when the gateway no longer has it; deleted with DeletePinhole.
#include "gateway/entry_handler.h"
#include "gateway/upnp/pinhole.h"
#include "gateway/upnp/upnp_errors.h"

namespace gateway {
namespace {

using namespace entry;

// Gateways answer an id they no longer know with NoSuchEntry, or (miniupnpd) Invalid Args.
bool PinholeLost(int code) { return code == kNoSuchPinhole || code == kUnknownPinholeId; }

class UpnpPinhole final : public EntryHandler {
public:
    explicit UpnpPinhole(GatewaySession& session) : session_(session) {}

    Answered<Holding> Holds(const Grant&) override { return {Holding::CannotTell, std::nullopt}; }

    Answered<EntryClient::Renewal> Renew(const Grant& grant) override
    {
        const auto way = WayTo(grant);
        if (!way.value) return Refused<EntryClient::Renewal>(*way.problem);
        Grant renewed = grant;
        const int code = way.value->igd->UpdatePinhole(way.value->gateway, way.value->opened, grant.pinholeId,
                                                       session_.CallDeadline());
        if (PinholeLost(code)) {
            Tell(sentence::PinholeOpenedAgain, {{"subject", Named(grant)}});
            const PinholeAnswer answer =
                way.value->igd->AddPinholes(way.value->gateway, way.value->opened, session_.CallDeadline());
            if (answer.stage != PinholeStage::Asked || answer.codes[0] != 0)
                return Refused<EntryClient::Renewal>(Refusal(
                    grant, "AddPinhole", answer.stage == PinholeStage::Asked ? answer.codes[0] : answer.statusCode,
                    "open again"));
            renewed.pinholeId = answer.ids[0];
        } else if (code != 0) {
            return Refused<EntryClient::Renewal>(Refusal(grant, "UpdatePinhole", code, "renew"));
        }
        renewed.lease = kPinholeLeaseSeconds;
        renewed.grantedAt = Now();
        return {EntryClient::Renewal{renewed, false}, std::nullopt};
    }

    std::optional<Told> Delete(const Grant& grant) override
    {
        const auto way = WayTo(grant);
        if (!way.value) return way.problem;
        const int code = way.value->igd->DeletePinhole(way.value->gateway, way.value->opened, grant.pinholeId,
                                                       session_.CallDeadline());
        if (PinholeLost(code)) Tell(sentence::PinholeGone, {{"subject", Named(grant)}});
        if (code == 0 || PinholeLost(code)) return std::nullopt;
        return Refusal(grant, "DeletePinhole", code, "close");
    }

private:
    struct Way {
        const IgdConnection* igd = nullptr;
        Ipv6 gateway{};
        PinholeRequest opened;
    };

    // The gateway and the request as the pinhole was opened.
    Answered<Way> WayTo(const Grant& grant)
    {
        const auto igd = Upnp(session_, grant);
        if (!igd.value) return Refused<Way>(*igd.problem);
        const auto route = RouteFor(session_, grant);
        if (!route.value) return Refused<Way>(*route.problem);
        return {Way{*igd.value,
                    route.value->gateway,
                    {grant.forwardAddress, grant.internalAddress, route.value->scope, grant.externalPort,
                     {grant.protocol}}},
                std::nullopt};
    }

    // The pinhole's refusal, told.
    static Told Refusal(const Grant& grant, const char* call, int code, const char* action)
    {
        DiagnosticLine(std::string(call) + " " + Named(grant) + " id " + grant.pinholeId + ": " + UpnpErrorText(code));
        return entry::Refusal(sentence::PinholeRefused,
                              {{"action", action}, {"port", PortOf(grant)}, {"code", CodeText(code)}});
    }

    GatewaySession& session_;
};

} // namespace

std::unique_ptr<EntryHandler> UpnpPinholeEntry(GatewaySession& session)
{
    return std::make_unique<UpnpPinhole>(session);
}

} // namespace gateway
