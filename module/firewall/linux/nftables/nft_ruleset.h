// What the machine's own nftables rules (`nft -j list ruleset`) do with a packet from
// the Internet to a port of ours: a new connection or datagram of IPv4 from an unknown
// sender, arriving on an interface other than loopback; of IPv4 unless asked of IPv6.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "firewall/firewall_types.h"
#include "firewall/linux/nftables/json_value.h"

namespace firewall {

enum class IpFamily { Ipv4, Ipv6 };

class NftRuleset {
public:
    // Nothing when `json` is not what nft prints.
    static std::optional<NftRuleset> Read(const std::string& json);

    // Whether a chain of the family's traffic hooks into input: the machine filters then.
    bool FiltersInput(IpFamily ip = IpFamily::Ipv4) const;

    // Empty when every input chain accepts the port; else the chain ("inet filter
    // input") that drops it, by a rule or by its policy. A rule that might not meet
    // the packet (one for some senders, say) counts neither way.
    std::string DroppingChain(int port, Protocol protocol, IpFamily ip = IpFamily::Ipv4) const;

private:
    enum class Verdict { Accept, Drop, Continue };

    struct Chain {
        std::string family, table, name, hook, policy;
        int priority = 0;
        std::vector<JsonValue> rules;  // each rule's "expr"
    };

    Verdict Judge(const Chain& chain, int port, Protocol protocol, int depth) const;
    const Chain* Find(const std::string& family, const std::string& table, const std::string& name) const;

    std::vector<Chain> chains_;
    std::map<std::string, JsonValue> sets_;  // "family table name" -> its "elem"
};

} // namespace firewall
