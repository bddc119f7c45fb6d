// What renew, list and close ask of the gateway this machine is on now, through our
// own gateway client: the system's NAT object can neither renew with a nonce nor tell
// which gateway it spoke to.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "record/forward_record.h"

// A mapping as the gateway lists it, in the record's terms.
struct ListedMapping {
    RecordedForward forward;
    long long secondsLeft = 0; // 0: no end
};

// A call about one entry that fails gives its reason in `problem`, and has told it as a
// headline (naming the port, not the protocol); the calls about the whole gateway
// (Identity, List) leave the telling to their caller.
class ForwardGateway {
public:
    virtual ~ForwardGateway() = default;

    // The gateway this machine is on now, from what the machine knows of it without
    // asking (its address and link-layer address): renew sends nothing when nothing is
    // due. The calls below make sure the device's UDN is the one recorded before they
    // change anything. Nothing, with the reason in `problem`, when there is no gateway.
    virtual std::optional<GatewayIdentity> Identity(std::string& problem) = 0;

    // The mappings this run's forward made, as the record keeps them.
    virtual std::vector<RecordedForward> Made() const = 0;

    // Whether `forward` was made on the device that answers now: its UDN, and its
    // link-layer address where the neighbour table held none yet, are learnt only by
    // asking, so this is asked only for an entry about to be renewed or listed.
    virtual bool OnThisDevice(const RecordedForward& forward) = 0;

    enum class Holding { Held, NotHeld, CannotTell };
    // Whether the gateway still holds `forward` for its internal address. PCP and
    // NAT-PMP cannot be asked without renewing: they cannot tell.
    virtual Holding Holds(const RecordedForward& forward, std::string& problem) = 0;

    // Asks again for the same external port (and PCP nonce), for the lease asked at
    // first; the grant's lifetime, time, external address and PCP epoch go into `forward`.
    virtual bool Renew(RecordedForward& forward, std::string& problem) = 0;

    // Whether an answer of this run showed that the gateway lost its mappings since the
    // record's grant (PCP's epoch went back): every entry on it is then asked for at once.
    virtual bool RestartSeen() const = 0;

    // Deletes `forward` from the gateway: UPnP only when the gateway holds it for that
    // address, PCP with the recorded nonce, NAT-PMP with lifetime 0.
    virtual bool Delete(const RecordedForward& forward, std::string& problem) = 0;

    // The mapping the gateway holds at `port` for `protocol`, for whichever address and
    // made by whatever program: nothing when it holds none or cannot be asked (PCP,
    // NAT-PMP), or, with the reason in `problem`, when it did not answer.
    virtual std::optional<ListedMapping> Read(int port, const std::string& protocol, std::string& problem) = 0;

    // Every mapping the gateway lists for one of `addresses`, made by whatever program,
    // read until the run's deadline; an empty list from a gateway that cannot list (PCP,
    // NAT-PMP); nothing, with the reason in `problem`, when listing failed.
    virtual std::optional<std::vector<ListedMapping>> List(const std::vector<std::string>& addresses,
                                                           std::string& problem) = 0;
};

// Our client for the default gateway, over by the run's deadline; nothing, with the
// reason in `problem`, where there is none.
std::unique_ptr<ForwardGateway> OpenForwardGateway(std::string& problem);
