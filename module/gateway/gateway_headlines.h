// The headlines of the gateway's failures, composed from the gateway's catalogue
// (sentences.def): what went wrong with the gateway and what to do next.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "gateway/ipv4_address.h"
#include "tell.h"

namespace gateway::headline {

// Before any port is asked for.
Told NoneAnswered();
Told NoDefaultGateway();
Told TooSlow();
Told UpnpUnusable();
Told NotConnected();
// `reason`: the protocol's refusal, "PCP 2 NOT_AUTHORIZED".
Told PortControlRefused(const std::string& reason);
// The gateway's Internet address is one the Internet cannot reach, or it has none.
Told BehindAnotherNat(std::optional<Ipv4> externalAddress);

// Asking for one port; `reason` is the gateway's code and name: "606 Action not authorized".
Told NotAuthorized(int port, const std::string& reason);
Told Refused(int port, const std::string& reason);
// `holder`: who holds it, when the gateway tells ("10.77.0.3"); else empty.
Told HeldByAnother(int port, const std::string& holder);
Told OfferedAnother(int port, int offered);
Told NotHeld(int port);
Told NoAnswer(int port);
Told AnswerUnreadable(int port);
Told GrantTooShort(int port, std::uint32_t seconds);
Told OnlyOwnAddress(const std::string& ownAddress);
Told NothingAsked(const std::string& problem);

} // namespace gateway::headline
