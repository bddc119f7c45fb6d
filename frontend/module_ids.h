#ifndef VARNETH_MODULE_IDS_H
#define VARNETH_MODULE_IDS_H

// The ids of the module's sentences that the window and the command line act on. Each is
// a sentence of the module's catalogue (its sentences.def files): tests/contract checks
// that the module can write every one of them.
namespace moduleid {

// "Reachable at 11.77.0.1:8080": the first line of a success box.
constexpr char reachable[] = "forward-reachable";
// The port can be opened over IPv6 too: the box offers the button, and leaves this
// sentence to it.
constexpr char ipv6Offer[] = "forward-ipv6-offer";
// The failures of the IPv4 forward that IPv6 gets around: no public IPv4 address (as
// behind DS-Lite), or no IPv4 gateway at all.
constexpr char cgnat[] = "gateway-cgnat";
constexpr char noInternetAddress[] = "gateway-no-internet-address";
constexpr char noneAnswered[] = "gateway-none-answered";
constexpr char noDefaultGateway[] = "gateway-no-default-gateway";
// "Reachable over IPv6 at [2001:db8::5]:8080": the port was opened over IPv6 and this
// machine's firewall lets it in, so a forward asked over IPv6 succeeded even where IPv4 failed.
constexpr char reachableOverIpv6[] = "forward-reachable-over-ipv6";
// This machine's firewall now lets in a port the router did not map (a router answered,
// or none did): a box of its own, neither success nor plain error.
constexpr char firewallOnlyRouter[] = "forward-firewall-only-router";
constexpr char firewallOnlyNoRouter[] = "forward-firewall-only-no-router";
// A person is asked for an administrator's password: the module may take up to 2 minutes
// more, and the window says what it waits for.
constexpr char passwordAsked[] = "firewall-password-asked";

} // namespace moduleid

#endif
