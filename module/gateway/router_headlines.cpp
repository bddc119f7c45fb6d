#include "gateway/router_headlines.h"

#include "gateway/reserved_address.h"

namespace gateway::headline {
namespace {

constexpr const char* kInRouterSettings = " Open the port in the router's own settings.";
constexpr const char* kTryAgain = " Try again; if it keeps happening, restart the router.";

std::string Port(int port) { return "port " + std::to_string(port); }

} // namespace

std::string NoRouterAnswered()
{
    return "No router on this network answered. Turn on UPnP or NAT-PMP in the router's settings.";
}

std::string NoDefaultGateway()
{
    return "This machine has no default gateway, so there is no router to ask. Connect it to the router's network "
           "and try again.";
}

std::string RouterTooSlow() { return std::string("The router did not answer in time.") + kTryAgain; }

std::string UpnpUnusable() { return std::string("The router answered, but its UPnP service cannot be used.") + kInRouterSettings; }

std::string NotConnected()
{
    return "The router says it is not connected to the Internet. Check its Internet connection, then try again.";
}

std::string PortControlRefused(const std::string& reason)
{
    return "The router does not let this machine open ports (" + reason + ")." + kInRouterSettings;
}

std::string BehindAnotherNat(std::optional<Ipv4> externalAddress)
{
    if (!externalAddress || externalAddress->value == 0)
        return "The router has no Internet address: it is not connected, or another router sits in front of it. "
               "Check its Internet connection, then try again.";
    if (IsSharedAddressSpace(*externalAddress))
        return "This network is behind carrier-grade NAT: ports cannot be opened from here. Ask the provider for a "
               "public IPv4 address.";
    return "The router's Internet address " + ToString(*externalAddress) +
           " is private: another router sits in front of it. Open the port on that router too, or ask the provider "
           "for a public IPv4 address.";
}

std::string NotAuthorized(int port, const std::string& reason)
{
    return "The router does not let " + Port(port) + " be opened (" + reason +
           "). Try another port, or open it in the router's own settings.";
}

std::string Refused(int port, const std::string& reason)
{
    return "The router refused " + Port(port) + " (" + reason + ")." + kInRouterSettings;
}

std::string HeldByAnother(int port, const std::string& holder)
{
    return "Port " + std::to_string(port) + " is already forwarded to another device" +
           (holder.empty() ? "" : " (" + holder + ")") +
           " on the router. Choose another port, or remove that forward in the router's settings.";
}

std::string OfferedAnother(int port, int offered)
{
    return "Port " + std::to_string(port) + " is taken on the router, which offered " + Port(offered) +
           " instead. Choose another port, or free it in the router's settings.";
}

std::string NotHeld(int port)
{
    return "The router said yes to " + Port(port) + " but does not hold it for this machine." + kInRouterSettings;
}

std::string NoAnswer(int port)
{
    return "The router did not answer in time when asked for " + Port(port) + "." + kTryAgain;
}

std::string AnswerUnreadable(int port)
{
    return "The router's answer about " + Port(port) + " could not be read." + kTryAgain;
}

std::string GrantTooShort(int port, std::uint32_t seconds)
{
    return "The router grants " + Port(port) + " for only " + std::to_string(seconds) +
           (seconds == 1 ? " second" : " seconds") + ", too short to be of use." + kInRouterSettings;
}

std::string OnlyOwnAddress(const std::string& ownAddress)
{
    return "The router forwards ports only to the address this machine reaches it from, " + ownAddress +
           ". Choose that address and try again.";
}

std::string NothingAsked(const std::string& problem)
{
    return "Nothing was asked of the router: " + problem + ". Choose an address from the list and a port from 1 to "
           "65535, then try again.";
}

} // namespace gateway::headline
