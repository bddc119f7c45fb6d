#include "gateway/host/link_address.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace gateway::host {

// Lines of "IP address  HW type  Flags  HW address  Mask  Device"; flag 0x2 marks a
// complete entry.
std::string LinkAddressOf(Ipv4 host, const std::string& table)
{
    std::ifstream in(table);
    std::string line;
    std::getline(in, line); // the heading
    const std::string wanted = ToString(host);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string address, type, flags, link;
        if (!(fields >> address >> type >> flags >> link)) continue;
        if (address == wanted && (std::strtoul(flags.c_str(), nullptr, 16) & 0x2) != 0) return link;
    }
    return {};
}

std::string LinkAddressOf(Ipv4 host) { return LinkAddressOf(host, "/proc/net/arp"); }

} // namespace gateway::host
