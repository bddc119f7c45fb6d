// Our gateway client, faked behind the NAT service the forward asks: each call is told to
// `asked` as a line ("OpenCollection", "Add TCP 8080->10.0.0.5:8080 'HLMX 8080 TCP'"),
// which says whether it works; a mapping made is granted for its protocol's lease.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "gateway/nat_service.h"

struct FakeGateway final : gateway::NatService {
    std::function<bool(const std::string& call)> asked = [](const std::string&) { return true; };
    std::map<Protocol, std::optional<long long>> leases{{Protocol::Tcp, 7200}, {Protocol::Udp, 7200}};

    // Refused: no gateway was found.
    AccessAnswer OpenCollection() override;
    // Refused: the gateway did not make it.
    AddAnswer Add(const gateway::MappingRequest& request) override;
};
