// Our gateway client, faked: behind the NAT service the forward asks, and as the entry
// client renew, list and close ask. Each call is logged in `calls` and told to `asked` as a
// line ("OpenCollection", "Add TCP 8080->10.0.0.5:8080 'HLMX 8080 TCP'", "Renew 8080"),
// which says whether it works; a mapping made is granted for its protocol's lease.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "gateway/entry_client.h"
#include "gateway/nat_service.h"
#include "sample_forwards.h"

struct FakeGateway final : gateway::NatService, gateway::EntryClient {
    std::function<bool(const std::string& call)> asked = [](const std::string&) { return true; };
    std::vector<std::string> calls;
    std::map<Protocol, std::optional<long long>> leases{{Protocol::Tcp, 7200}, {Protocol::Udp, 7200}};
    std::map<int, gateway::Holding> holding; // by external port; CannotTell when missing
    std::map<int, bool> refuses;             // Renew and Delete fail for these ports

    // Refused: no gateway was found.
    AccessAnswer OpenCollection() override { return {Works("OpenCollection") ? Access::Ok : Access::NoCollection, {}}; }
    // Refused: the gateway did not make it.
    AddAnswer Add(const gateway::MappingRequest& r) override
    {
        if (!Works("Add " + std::string(Name(r.protocol)) + " " + std::to_string(r.externalPort) + "->" +
                   r.internalClient + ":" + std::to_string(r.internalPort) + " '" + r.description + "'"))
            return {};
        gateway::Grant g;
        g.protocol = r.protocol;
        g.externalPort = r.externalPort;
        g.internalPort = r.internalPort;
        g.internalAddress = r.internalClient;
        g.externalAddress = "11.77.0.1";
        g.lease = leases[r.protocol];
        g.description = r.description;
        return {Adding::Made, g, std::nullopt};
    }

    Answered<gateway::Identity> Here() override { return {kHome, std::nullopt}; }
    bool OnThisDevice(const gateway::Grant& g) override
    {
        return Works("OnThisDevice " + std::to_string(g.externalPort)) && g.gateway.udn == kHome.udn;
    }
    Answered<gateway::Holding> Holds(const gateway::Grant& g) override
    {
        Works("Holds " + std::to_string(g.externalPort));
        const auto held = holding.find(g.externalPort);
        return {held == holding.end() ? gateway::Holding::CannotTell : held->second, std::nullopt};
    }
    Answered<Renewal> Renew(const gateway::Grant& g) override
    {
        if (auto refused = Refusal("Renew " + std::to_string(g.externalPort), g.externalPort)) return {{}, refused};
        gateway::Grant renewed = g;
        renewed.grantedAt = kNow;
        return {Renewal{renewed, false}, std::nullopt};
    }
    std::optional<Told> Delete(const gateway::Grant& g) override
    {
        return Refusal("Delete " + std::string(Name(g.protocol)) + " " + std::to_string(g.externalPort) + " " +
                           g.internalAddress,
                       g.externalPort);
    }
    // Holds no mapping of another's: what a close reads is not there, and the list is empty.
    Answered<std::optional<Listed>> Read(int port, Protocol protocol) override
    {
        Works("Read " + std::string(Name(protocol)) + " " + std::to_string(port));
        return {std::nullopt, std::nullopt};
    }
    Answered<std::vector<Listed>> List(const std::vector<std::string>&) override { return {{}, std::nullopt}; }

private:
    bool Works(const std::string& call)
    {
        calls.push_back(call);
        return asked(call);
    }
    std::optional<Told> Refusal(const std::string& call, int port)
    {
        if (Works(call) && !refuses[port]) return std::nullopt;
        return Told{"gateway-refused", "refused " + std::to_string(port)};
    }
};
