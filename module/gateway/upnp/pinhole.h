// A pinhole in the gateway's IPv6 firewall: what is asked, and what the gateway said.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "terms.h"

namespace gateway {

// An open pinhole lasts this long unless renewed: never for good, since the gateway's
// IPv6 firewall is often all that stands between the LAN and the Internet.
constexpr int kPinholeLeaseSeconds = 7200;

struct PinholeRequest {
    std::string forwardAddress;         // the IPv4 address of the forward it goes beside
    std::string internalClient;         // the machine's global IPv6 address
    std::uint32_t gatewayScope = 0;      // the interface index, for a link-local gateway
    int port = 0;
    std::vector<Protocol> protocols;
};

enum class PinholeStage {
    NoService,      // the device offers no IPv6 firewall control
    NoDescription,  // not reached over IPv6, or no description there
    OtherDevice,    // the IPv6 gateway is another device than the IPv4 gateway
    NoStatus,       // GetFirewallStatus failed
    FirewallOff,    // the IPv6 firewall lets everything in: nothing to open
    NoPinholes,     // the firewall is on and lets no pinholes be opened
    Asked,          // AddPinhole was asked for each protocol
};

constexpr int kMaxPinholes = 2;

struct PinholeAnswer {
    PinholeStage stage = PinholeStage::NoService;
    int statusCode = 0;         // GetFirewallStatus's, when it failed
    int codes[kMaxPinholes]{};  // AddPinhole's, per protocol asked: 0 when opened
    // The UniqueID of each pinhole opened (a number the gateway gives, at most 7 digits):
    // the answer crosses a pipe as bytes.
    char ids[kMaxPinholes][8]{};
};

// The IPv6 firewall service's NoSuchEntry: the gateway no longer has the pinhole. Some
// gateways (miniupnpd among them) answer an id they no longer know with 402 Invalid Args.
constexpr int kNoSuchPinhole = 704;
constexpr int kUnknownPinholeId = 402;
// Ours: the device at the IPv6 gateway's address is not the gateway the pinhole is on.
constexpr int kNotThisDevice = -9001;

} // namespace gateway
