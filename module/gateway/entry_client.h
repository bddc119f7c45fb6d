// What renew, list and close ask of the gateway this machine is on now, through our
// own gateway client: the system's NAT object can neither renew with a nonce nor tell
// which gateway it spoke to. Each call is about grants, as the record keeps them.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tell.h"
#include "gateway/grant.h"

namespace gateway {

class GatewaySession;

// A call about one entry that fails gives its reason as a Told, and has told it as a
// headline (naming the port, not the protocol); the calls about the whole gateway
// (Here, List) and Read leave the telling to their caller.
class EntryClient {
public:
    virtual ~EntryClient() = default;

    // The gateway this machine is on now, from what the machine knows of it without
    // asking (its address and link-layer address): renew sends nothing when nothing is
    // due. The calls below make sure the device's UDN is the one recorded before they
    // change anything.
    virtual Answered<Identity> Here() = 0;

    // Whether `grant` was made on the device that answers now: its UDN, and its
    // link-layer address where the neighbour table held none yet, are learnt only by
    // asking, so this is asked only for an entry about to be renewed or listed.
    virtual bool OnThisDevice(const Grant& grant) = 0;

    // Whether the gateway still holds `grant` for its internal address.
    virtual Answered<Holding> Holds(const Grant& grant) = 0;

    // The grant asked for again: the same external port (and PCP nonce), for the lease
    // asked at first, with the new lifetime, time, external address and PCP epoch.
    // `restartSeen`: the answer showed that the gateway lost its mappings since the
    // grant (its epoch went back), so every entry on it should be asked for at once.
    struct Renewal {
        Grant grant;
        bool restartSeen = false;
    };
    virtual Answered<Renewal> Renew(const Grant& grant) = 0;

    // Deletes `grant` from the gateway: UPnP only when the gateway holds it for that
    // address, PCP with the recorded nonce, NAT-PMP with lifetime 0. Nothing: it is gone.
    virtual std::optional<Told> Delete(const Grant& grant) = 0;

    // A mapping as the gateway lists it.
    struct Listed {
        Grant grant;
        long long secondsLeft = 0; // 0: no end
    };

    // The mapping the gateway holds at `port` for `protocol`, for whichever address and
    // made by whatever program: an empty value when it holds none or cannot be asked
    // (PCP, NAT-PMP), or the reason when it did not answer.
    virtual Answered<std::optional<Listed>> Read(int port, Protocol protocol) = 0;

    // Every mapping the gateway lists for one of `addresses`, made by whatever program,
    // read until the run's deadline; an empty list from a gateway that cannot list (PCP,
    // NAT-PMP); the reason when listing failed.
    virtual Answered<std::vector<Listed>> List(const std::vector<std::string>& addresses) = 0;
};

// Our client for `session`'s gateway, over by the run's deadline. `session` outlives it.
std::unique_ptr<EntryClient> OpenEntryClient(GatewaySession& session);

} // namespace gateway
