// The gateway of one module run: searched for and checked once, shared by everything the
// command asks of it, and over by the run's deadline. The command that makes it keeps it
// longer than anything that refers to it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/deadline.h"
#include "gateway/gateway_search.h"
#include "gateway/gateway_settings.h"
#include "gateway/grant.h"
#include "gateway/upnp/igd_connection.h"
#include "gateway/port_control_gateway.h"

namespace gateway {

// How long the search waits for the remembered location's answer before it is sent
// all the same: the router's own answer to a search comes after some 50 ms anyway.
inline constexpr std::chrono::milliseconds kRememberedGrace{50};

class GatewaySession {
public:
    explicit GatewaySession(GatewaySettings settings);

    // Starts the search on a thread of its own, taken up by the first step that asks for
    // the gateway: another way to the gateway (Windows' NAT object) then waits beside it.
    // Nothing of it is told before then. Without it, that first step starts it itself.
    // Beside the search, the description a run before found at the default gateway's
    // address is asked at once: routers answer a search only after a fixed delay.
    void SearchAhead();

    // Whether the default gateway answered, usable, through UPnP IGD, PCP or NAT-PMP;
    // when it did not, or cannot give out reachable ports, the reason is on standard
    // error and in a headline.
    bool HasGateway();
    // The gateway to map through: UPnP when its answer won, else PCP or NAT-PMP; null
    // for the other protocols.
    const IgdConnection* Gateway();
    const PortControlGateway* PortControl();
    // The UPnP gateway device to ask for IPv6 pinholes: the one mapping IPv4 ports, or
    // the default gateway's that could not (no public IPv4 address); null when neither.
    const IgdConnection* PinholeGateway();

    // The gateway to ask for pinholes for `own`, the global address beside
    // `interfaceAddress`: the IPv6 default route's; where the system shows no IPv6
    // routes at all, the UPnP gateway device's address as it answers on the link.
    std::optional<Ipv6> Ipv6Gateway(Ipv4 interfaceAddress, const Ipv6& own);

    // When the next single call to the gateway must be over.
    Deadline CallDeadline() const;

    // The default gateway's address, read from the route table: nothing is sent.
    std::optional<Ipv4> DefaultGateway() const;
    // The UPnP device's UDN, once searched; empty when it gave none.
    const std::string& Udn() const { return udn_; }
    const GatewaySettings& Settings() const { return settings_; }

    // The default gateway as the run knows it: its address, its link-layer address (in the
    // neighbour table once it answered) and its UPnP device's UDN. Empty without a default route.
    gateway::Identity Identity() const;
    // `grant`, made on this gateway now: stamped with its identity, the UDN only where the
    // gateway's UPnP service holds it.
    Grant Stamped(Grant grant) const;

private:
    // What a search brought back, before anything of it is told.
    struct Found {
        SsdpSearchPlan plan;
        std::unique_ptr<PortControlProbe> probe; // when the default gateway is there to ask
        Deadline end;                             // of the search's wait, the probe's included
        SearchFindings findings;
    };
    static Found Find(const GatewaySettings& settings);
    // What the two threads bring back, handed over as each ends: the remembered location's
    // answer is taken without waiting for the search's.
    struct Arrivals {
        std::mutex mutex;
        std::condition_variable came;
        std::optional<std::optional<std::string>> searched; // the location the search found, once over
        std::optional<IgdAsked> remembered;
    };
    // Whether the remembered location is being asked.
    bool AskRemembered(Deadline until);
    static bool Takes(const IgdAsked& asked);
    bool TakeRemembered();
    void Remember(const std::string& location) const;
    void Search();

    GatewaySettings settings_;
    bool searched_ = false;
    std::unique_ptr<IgdConnection> gateway_;
    std::unique_ptr<IgdConnection> ipv6Only_;
    std::unique_ptr<PortControlGateway> portControl_;
    std::string udn_;
    std::optional<RememberedGateway> remembered_;
    bool rememberedElsewhere_ = false; // not at the default gateway's address: not asked
    std::shared_ptr<Arrivals> arrivals_;
    // Last, so a search or an ask still out ends (by its own deadline) before the rest goes.
    std::future<Found> ahead_;
    std::future<void> rememberedAsk_;
};

} // namespace gateway
