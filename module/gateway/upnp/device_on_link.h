// Where a known UPnP device answers over IPv6 on the local link. A system that does
// not show its IPv6 routes (Wine shows none) still lets the IPv4 gateway's own device
// be asked for its IPv6 address: a search for its UDN, sent to the link's SSDP group.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "gateway/ipv6_address.h"
#include "platform/deadline.h"

namespace gateway {

// Whether `datagram` is the device `udn`'s ("uuid:...") answer about itself.
bool AnswersAsDevice(std::string_view datagram, const std::string& udn);

// The address the device `udn` answers from, asked from `source` on the interface
// `scope`; nothing when it does not answer by `until`. An answer from `source` itself
// is never taken: any program on this machine could give it.
std::optional<Ipv6> FindDeviceOnLink(const Ipv6& source, std::uint32_t scope, const std::string& udn,
                                     Deadline until);

} // namespace gateway
