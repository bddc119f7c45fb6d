// One method's way back to what it granted, for renew and close; entry_client picks one
// by the grant's method and family, and holds what they share.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "gateway/entry_client.h"
#include "gateway/gateway_session.h"
#include "gateway/pinhole_route.h"
#include "gateway/port_mapping.h"
#include "gateway/sentences.h"

namespace gateway {

class EntryHandler {
public:
    virtual ~EntryHandler() = default;
    virtual Answered<Holding> Holds(const Grant& grant) = 0; // PCP, NAT-PMP and pinholes: CannotTell
    virtual Answered<EntryClient::Renewal> Renew(const Grant& grant) = 0;
    virtual std::optional<Told> Delete(const Grant& grant) = 0;
};

std::unique_ptr<EntryHandler> UpnpMappingEntry(GatewaySession& session);  // UPnP or the system's, IPv4
std::unique_ptr<EntryHandler> PortControlEntry(GatewaySession& session);  // PCP or NAT-PMP, IPv4
std::unique_ptr<EntryHandler> UpnpPinholeEntry(GatewaySession& session);  // UPnP, IPv6
std::unique_ptr<EntryHandler> PcpPinholeEntry(GatewaySession& session);   // PCP, IPv6

// What the handlers share (entry_client.cpp).
namespace entry {

// "TCP 8080 to 192.168.1.5": an entry in the developers' lines and the details.
std::string Named(const Grant& grant);
std::string PortOf(const Grant& grant); // "8080": a headline names the port, not the protocol
long long Now();
MappingRequest RequestFor(const Grant& grant);

// The reason composed and told as the headline.
Told Refusal(const Sentence& sentence, Values values);
template <class T> Answered<T> Refused(Told reason) { return {std::nullopt, std::move(reason)}; }

// " (606 Action not authorized)" for a gateway's code, nothing for a library's.
std::string CodeText(int code);

// The UPnP gateway, when it is the device the entry was made on; or why not, told.
Answered<const IgdConnection*> Upnp(GatewaySession& session, const Grant& grant);

// A pinhole is reached as it was opened: at the IPv6 gateway of its forward's network
// (a link-local one through the interface holding the forward's IPv4 address), from the
// global address it is for; or why not, told.
Answered<PinholeRoute> RouteFor(GatewaySession& session, const Grant& grant);

// A gateway that restarted since the grant holds nothing of it, whatever it answers to
// deleting it (miniupnpd: NO_RESOURCES); told.
bool LostInRestart(const Grant& grant, std::optional<std::uint32_t> epoch);

// The renewed grant, with the gateway's epoch, and whether that shows a restart since the
// grant was made.
EntryClient::Renewal Renewed(Grant grant, std::optional<std::uint32_t> epoch);

} // namespace entry
} // namespace gateway
