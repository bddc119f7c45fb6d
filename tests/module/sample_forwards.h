// Forwards as the record keeps them: a mapping to 192.168.1.5 through the home router,
// and the IPv6 pinhole opened beside it.
#pragma once

#include <string>

#include "record/forward_record.h"

constexpr long long kNow = 1765000000;
const GatewayIdentity kHome{"uuid:home", "192.168.1.1", "02:00:00:00:00:01"};

inline RecordedForward Entry(int port, const std::string& how = "UPnP", const std::string& protocol = "TCP")
{
    RecordedForward f;
    f.protocol = protocol;
    f.externalPort = f.internalPort = port;
    f.internalAddress = "192.168.1.5";
    f.family = "IPv4";
    f.how = how;
    f.gateway = kHome;
    f.lifetime = kAskedLease;
    f.grantedAt = f.checkedAt = kNow - 600;
    f.firewallEntry = f.description = "HLMX " + std::to_string(port) + " " + protocol;
    return f;
}

inline RecordedForward Pinhole(int port, const std::string& protocol = "TCP")
{
    RecordedForward f = Entry(port, "UPnP", protocol);
    f.family = "IPv6";
    f.internalAddress = f.externalAddress = "2001:db8:77::2";
    f.pinholeId = "7";
    f.forwardAddress = "192.168.1.5";
    f.firewallEntry.clear();
    f.description.clear();
    return f;
}
