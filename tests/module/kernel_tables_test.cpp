// What the kernel's tables name: the default gateway (its byte order, which routes count,
// the lowest metric winning), the gateway's link-layer address, which IPv6 address of the
// chosen interface a pinhole is opened for, and which router is asked.
#include <gtest/gtest.h>

#include <sstream>

#include "gateway/host/default_route.h"
#include "gateway/host/ipv6_interface.h"
#include "gateway/host/link_address.h"
#include "scratch_folder.h"

namespace {

using namespace gateway;

constexpr const char* kTitles =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

// The gateway chosen from these route lines, as text; "none" when there is none.
std::string DefaultGateway(const std::string& lines)
{
    std::istringstream table(kTitles + lines);
    const auto gateway = host::ChooseDefaultGateway(host::DefaultRoutesFromTable(table));
    return gateway ? ToString(*gateway) : "none";
}

TEST(DefaultRoute, TakesTheUsableDefaultRouteWithTheLowestMetric)
{
    const struct {
        const char* why;
        std::string lines;
        std::string gateway;
    } cases[] = {
        {"a subnet route is no default", "lan0\t00004D0A\t01004D0A\t0003\t0\t0\t0\t00FFFFFF\t0\t0\t0\n", "none"},
        {"a route that is down", "lan0\t00000000\t01004D0A\t0002\t0\t0\t0\t00000000\t0\t0\t0\n", "none"},
        {"an on-link default names no gateway", "lan0\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n", "none"},
        {"the lower metric wins, wherever listed, in the kernel's byte order",
         "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
         "lan0\t00000000\t01004D0A\t0003\t0\t0\t100\t00000000\t0\t0\t0\n",
         "10.77.0.1"},
        {"the first among equals",
         "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
         "lan0\t00000000\t01004D0A\t0003\t0\t0\t100\t00000000\t0\t0\t0\n",
         "192.168.1.1"},
        {"a line that does not parse is skipped",
         "lan0\t00000000\tnot-hex\t0003\t0\t0\t0\t00000000\t0\t0\t0\n"
         "lan0\t00000000\t01004D0A\t0003\t0\t0\t5\t00000000\t0\t0\t0\n",
         "10.77.0.1"},
    };
    for (const auto& c : cases) EXPECT_EQ(DefaultGateway(c.lines), c.gateway) << c.why;
}

TEST(GatewayIdentity, LinkAddressOnlyFromACompleteEntry)
{
    const ScratchFolder scratch;
    const std::string path = scratch.path / "arp";
    std::ofstream(path) << "IP address       HW type     Flags       HW address            Mask     Device\n"
                           "10.77.0.1        0x1         0x2         02:00:0a:4d:00:01     *        lan0\n"
                           "10.77.0.3        0x1         0x0         00:00:00:00:00:00     *        lan0\n"
                           "10.77.0.10       0x1         0x6         02:00:0a:4d:00:0a     *        lan0\n";
    const std::pair<const char*, std::string> cases[] = {
        {"10.77.0.1", "02:00:0a:4d:00:01"}, {"10.77.0.3", ""}, {"10.77.0.10", "02:00:0a:4d:00:0a"}, {"10.77.0.9", ""}};
    for (const auto& [host, link] : cases) EXPECT_EQ(host::LinkAddressOf(*ParseIpv4(host), path), link) << host;
}

// One line of /proc/net/if_inet6: address, index, prefix length, scope, flags, name.
std::string Address(const char* hex, const char* flags, const char* name = "lan0")
{
    return std::string(hex) + " 02 40 00 " + flags + " " + name + "\n";
}

constexpr const char* kGlobal = "20010db8007700000000000000000002";
constexpr const char* kOtherGlobal = "20010db8007700000000000000000009";
constexpr const char* kLinkLocal = "fe80000000000000cc6073fffedc0c2a";
constexpr const char* kUniqueLocal = "fd000000000000000000000000000002";

std::string Chosen(const std::string& lines)
{
    std::istringstream table(lines);
    const auto chosen = ChooseGlobalIpv6(host::InterfaceAddressesFromTable(table, "lan0"));
    return chosen ? ToString(*chosen) : "none";
}

TEST(Ipv6Interface, ChoosesAStableUsableGlobalAddressOfTheInterface)
{
    const struct {
        const char* why;
        std::string lines;
        std::string chosen;
    } cases[] = {
        {"link-local and unique-local are passed over",
         Address(kLinkLocal, "80") + Address(kUniqueLocal, "80") + Address(kGlobal, "00"), "2001:db8:77::2"},
        {"the stable one before a temporary one listed first",
         Address(kOtherGlobal, "01") + Address(kGlobal, "00"), "2001:db8:77::2"},
        {"a deprecated one is never used", Address(kGlobal, "a0") + Address(kOtherGlobal, "01"), "2001:db8:77::9"},
        {"nor one still tentative or whose duplicate detection failed",
         Address(kGlobal, "40") + Address(kOtherGlobal, "08"), "none"},
        {"another interface's global address is not this one's", Address(kGlobal, "80", "wlan0"), "none"},
        {"the first among equals", Address(kOtherGlobal, "80") + Address(kGlobal, "80"), "2001:db8:77::9"},
        {"a damaged line is skipped", "2001db8 02 40 00 80 lan0\n" + Address(kGlobal, "zz") + Address(kGlobal, "80"),
         "2001:db8:77::2"},
    };
    for (const auto& c : cases) EXPECT_EQ(Chosen(c.lines), c.chosen) << c.why;
}

// One line of /proc/net/ipv6_route: destination and length, source and length, next
// hop, metric, reference count, use, flags, name.
std::string Route(const char* destination, const char* length, const char* via, const char* metric, const char* flags,
                  const char* name = "lan0")
{
    return std::string(destination) + " " + length + " 00000000000000000000000000000000 00 " + via + " " + metric +
           " 00000001 00000000 " + flags + " " + name + "\n";
}

constexpr const char* kAny = "00000000000000000000000000000000";
constexpr const char* kRouter = "20010db8007700000000000000000001";
constexpr const char* kOtherRouter = "fe800000000000000000000000000001";

std::string Router(const std::string& lines)
{
    std::istringstream table(lines);
    const auto router = host::DefaultGatewayFromTable(table, "lan0");
    return router ? ToString(*router) : "none";
}

TEST(Ipv6Interface, TakesTheInterfacesDefaultRouterWithTheLowestMetric)
{
    const struct {
        const char* why;
        std::string lines;
        std::string router;
    } cases[] = {
        {"a prefix route is no default", Route(kGlobal, "40", kRouter, "00000100", "00000003"), "none"},
        {"a route without the gateway flag", Route(kAny, "00", kRouter, "00000100", "00000001"), "none"},
        {"another interface's default", Route(kAny, "00", kRouter, "00000100", "00000003", "wlan0"), "none"},
        {"the lower metric wins, wherever listed (hex)",
         Route(kAny, "00", kRouter, "00000400", "00000003") + Route(kAny, "00", kOtherRouter, "000000ff", "00000003"),
         "fe80::1"},
    };
    for (const auto& c : cases) EXPECT_EQ(Router(c.lines), c.router) << c.why;
}

} // namespace
