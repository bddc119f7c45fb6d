#include "gateway/reserved_address.h"

#include <array>

namespace gateway {
namespace {

struct Block {
    std::uint32_t network;
    int prefixLength;
};

constexpr std::uint32_t Net(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    return a << 24 | b << 16 | c << 8 | d;
}

// IANA special-purpose blocks that are not globally reachable.
constexpr std::array<Block, 18> kReserved{{
    {Net(0, 0, 0, 0), 8},        // "this network"
    {Net(10, 0, 0, 0), 8},       // private
    {Net(100, 64, 0, 0), 10},    // shared address space (carrier-grade NAT)
    {Net(127, 0, 0, 0), 8},      // loopback
    {Net(169, 254, 0, 0), 16},   // link-local
    {Net(172, 16, 0, 0), 12},    // private
    {Net(192, 0, 0, 0), 24},     // IETF protocol assignments
    {Net(192, 0, 2, 0), 24},     // TEST-NET-1
    {Net(192, 31, 196, 0), 24},  // AS112
    {Net(192, 52, 193, 0), 24},  // AMT
    {Net(192, 88, 99, 0), 24},   // 6to4 relay anycast
    {Net(192, 168, 0, 0), 16},   // private
    {Net(192, 175, 48, 0), 24},  // direct delegation AS112
    {Net(198, 18, 0, 0), 15},    // benchmarking
    {Net(198, 51, 100, 0), 24},  // TEST-NET-2
    {Net(203, 0, 113, 0), 24},   // TEST-NET-3
    {Net(224, 0, 0, 0), 4},      // multicast
    {Net(240, 0, 0, 0), 4},      // reserved, broadcast
}};

} // namespace

bool IsReservedAddress(Ipv4 address)
{
    for (const Block& block : kReserved) {
        const std::uint32_t mask = ~std::uint32_t{0} << (32 - block.prefixLength);
        if ((address.value & mask) == block.network) return true;
    }
    return false;
}

bool IsSharedAddressSpace(Ipv4 address) { return (address.value & 0xFFC00000u) == Net(100, 64, 0, 0); }

} // namespace gateway
