#include "firewall/linux/interface_name.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <memory>

namespace firewall {

std::string InterfaceHolding(const std::string& address)
{
    in_addr wanted {};
    if (::inet_pton(AF_INET, address.c_str(), &wanted) != 1) return std::string();
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return std::string();
    const std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> owned(list, ::freeifaddrs);
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        if (reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr == wanted.s_addr)
            return entry->ifa_name;
    }
    return std::string();
}

} // namespace firewall
