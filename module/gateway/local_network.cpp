#include "gateway/local_network.h"

#include <algorithm>

namespace gateway {
namespace {

bool AnyContains(const std::vector<Subnet>& subnets, Ipv4 address)
{
    return std::any_of(subnets.begin(), subnets.end(), [address](const Subnet& s) { return s.Contains(address); });
}

} // namespace

bool LocalNetwork::IsOnLan(Ipv4 address) const { return AnyContains(lans, address); }
bool LocalNetwork::IsSelf(Ipv4 address) const { return AnyContains(self, address); }

} // namespace gateway
