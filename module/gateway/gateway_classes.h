// Our NAT UPnP class: the object behind CLSID_UPnPNAT where the system has none, and
// on Windows the one the module turns to when the system's object fails.
#pragma once

#include <memory>

#include "com/com_api.h"

#include <optional>
#include <vector>

#include "gateway/ipv4_address.h"
#include "gateway/ipv6_address.h"
#include "gateway/pcp/pcp_message.h"
#include "gateway/upnp/pinhole.h"

namespace gateway {
class GatewaySession;
// The session every NAT object of our class shares: renew, list and close work on it
// too, and the record learns from it what a forward made.
std::shared_ptr<GatewaySession> RegisteredSession();
} // namespace gateway

// A new NAT object of our class, asked for `iid`. Every one of the process shares one
// gateway session, searched for once and over by the run's deadline.
HRESULT CreateGatewayNat(REFIID iid, void** object);

// The pinholes of `request` through the run's gateway, asked at `router`; nothing when
// the default gateway does not answer UPnP.
std::optional<gateway::PinholeAnswer> OpenGatewayPinholes(const gateway::Ipv6& router,
                                                          const gateway::PinholeRequest& request);

// The pinholes of `request` through PCP over IPv6 at `router`, each recorded once granted:
// the answers in the order asked, up to the first that did not come; none when the
// router does not answer PCP over IPv6.
std::vector<gateway::pcp::Answer> OpenPcpPinholes(const gateway::Ipv6& router, const gateway::PinholeRequest& request);

// The router the run asks for pinholes for `own`, beside `interfaceAddress`
// (GatewaySession::Ipv6Router).
std::optional<gateway::Ipv6> Ipv6RouterToAsk(gateway::Ipv4 interfaceAddress, const gateway::Ipv6& own);

#ifdef _WIN32
// What the default gateway holds for a mapping the system's NAT object says it made,
// read back by our client: our mapping object when it holds exactly that (with the
// lease and external address the system's object may not tell), else a failure with
// the reason on standard error.
HRESULT ConfirmGatewayMapping(LONG externalPort, BSTR protocol, LONG internalPort, BSTR internalClient,
                              VARIANT_BOOL enabled, BSTR description, IStaticPortMapping** mapping);
#else
// Registers CreateGatewayNat as CLSID_UPnPNAT with the module's COM runtime.
void RegisterGatewayClasses();
#endif
