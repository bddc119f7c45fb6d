// The headlines of the gateway's failures: what went wrong with the router and what to
// do next, in the user's words. A sentence names the port, never the protocol, so TCP
// and UDP failing for one cause write the same line and the window shows it once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "gateway/ipv4_address.h"

namespace gateway::headline {

// Before any port is asked for.
std::string NoRouterAnswered();
std::string NoDefaultGateway();
std::string RouterTooSlow();
std::string UpnpUnusable();
std::string NotConnected();
// `reason`: the protocol's refusal, "PCP 2 NOT_AUTHORIZED".
std::string PortControlRefused(const std::string& reason);
// The router's Internet address is one the Internet cannot reach, or it has none.
std::string BehindAnotherNat(std::optional<Ipv4> externalAddress);

// Asking for one port; `reason` is the router's code and name: "606 Action not authorized".
std::string NotAuthorized(int port, const std::string& reason);
std::string Refused(int port, const std::string& reason);
// `holder`: who holds it, when the router tells ("10.77.0.3"); else empty.
std::string HeldByAnother(int port, const std::string& holder);
std::string OfferedAnother(int port, int offered);
std::string NotHeld(int port);
std::string NoAnswer(int port);
std::string AnswerUnreadable(int port);
std::string GrantTooShort(int port, std::uint32_t seconds);
std::string OnlyOwnAddress(const std::string& ownAddress);
std::string NothingAsked(const std::string& problem);

} // namespace gateway::headline
