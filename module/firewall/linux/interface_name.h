// Which network interface holds an IPv4 address of this machine.
#pragma once

#include <string>

namespace firewall {

// The interface's name; empty when no interface holds `address` or it is no IPv4 address.
std::string InterfaceHolding(const std::string& address);

} // namespace firewall
