// The default gateway as the kernel's route table names it: which routes count, the
// kernel's byte order, and the lowest metric winning.
#include <gtest/gtest.h>

#include <sstream>

#include "gateway/host/default_route.h"

namespace {

using namespace gateway;

constexpr const char* kTitles =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

// The gateway chosen from these route lines, as text; "none" when there is none.
std::string Chosen(const std::string& lines)
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
    for (const auto& c : cases) EXPECT_EQ(Chosen(c.lines), c.gateway) << c.why;
}

} // namespace
