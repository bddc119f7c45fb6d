// The words every part of the module shares: protocol, address family and the way a
// mapping was made, as enums from the moment they are read to the moment they are
// written. Their spellings live in terms.cpp alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class Protocol : std::uint8_t { Tcp, Udp };
enum class Family : std::uint8_t { Ipv4, Ipv6 };
enum class Method : std::uint8_t { Upnp, Pcp, NatPmp, System };  // System: Windows' own NAT object made it

// As the record, the list and the sentences spell them: "TCP", "IPv6", "NAT-PMP", "system".
std::string_view Name(Protocol protocol);
std::string_view Name(Family family);
std::string_view Name(Method method);

// As ufw, firewalld, nft and the ufw helper spell them: "tcp", "ipv6".
std::string_view LowerName(Protocol protocol);
std::string_view LowerName(Family family);

// The IP protocol number PCP and Windows Firewall take: 6, 17.
int IpNumber(Protocol protocol);

// The enum whose Name() (or LowerName()) is exactly `name`; nothing for any other text.
template <class E> std::optional<E> Parse(std::string_view name);
template <class E> std::optional<E> ParseLower(std::string_view name);
template <> std::optional<Protocol> Parse<Protocol>(std::string_view name);
template <> std::optional<Family> Parse<Family>(std::string_view name);
template <> std::optional<Method> Parse<Method>(std::string_view name);
template <> std::optional<Protocol> ParseLower<Protocol>(std::string_view name);
template <> std::optional<Family> ParseLower<Family>(std::string_view name);

// Varneth::Add's protocol character: 't' selects TCP, any other UDP.
Protocol ProtocolOfCharacter(wchar_t character);

// The protocols a forward's selector asks for: 0 TCP, 1 UDP, 2 both (TCP first); none
// for any other value.
std::vector<Protocol> ProtocolsOf(std::int32_t protocolSelector);

// UPnP or the system's NAT object: the gateway's UPnP service holds the mapping.
bool ThroughUpnp(Method method);

// 1-65535. Anything else is refused rather than passed on: gateways wrap it (70000
// becomes 4464) and firewalld fails on it.
bool IsPortNumber(long port);

// The name our forwards give their mappings and firewall entries: "HLMX 8080 TCP". An
// entry under another name is someone else's and is never removed.
std::string OwnEntryName(int port, Protocol protocol);
