// Forwards as the record keeps them: a mapping to 192.168.1.5 through the home router,
// and the IPv6 pinhole opened beside it.
#pragma once

#include <string>

#include "record/forward_record.h"

constexpr long long kNow = 1765000000;
const gateway::Identity kHome{"uuid:home", "192.168.1.1", "02:00:00:00:00:01"};

inline RecordedForward Entry(int port, Method how = Method::Upnp, Protocol protocol = Protocol::Tcp)
{
    RecordedForward f;
    gateway::Grant& g = f.grant;
    g.protocol = protocol;
    g.method = how;
    g.externalPort = g.internalPort = port;
    g.internalAddress = "192.168.1.5";
    g.gateway = kHome;
    g.lease = kAskedLease;
    g.grantedAt = f.checkedAt = kNow - 600;
    f.firewallEntry = g.description = OwnEntryName(port, protocol);
    return f;
}

inline RecordedForward Pinhole(int port, Protocol protocol = Protocol::Tcp)
{
    RecordedForward f = Entry(port, Method::Upnp, protocol);
    f.grant.family = Family::Ipv6;
    f.grant.internalAddress = f.grant.externalAddress = "2001:db8:77::2";
    f.grant.pinholeId = "7";
    f.grant.forwardAddress = "192.168.1.5";
    f.firewallEntry.clear();
    f.grant.description.clear();
    return f;
}
