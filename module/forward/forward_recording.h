// After a forward: what the gateway granted, and the firewall entries made for it, go into
// the record of forwards, held since before the forward, whatever the forward's answer.
// What could not be recorded is taken back, and told.
#pragma once

#include <string>
#include <vector>

#include "forward/forward_outcome.h"
#include "forward/ipv6_forward.h"
#include "gateway/entry_client.h"
#include "record/forward_record.h"
#include "record/forward_record_store.h"

struct Recording {
    Renewal renewal = Renewal::None; // in the record now, and so renewed: for whom
    std::string notKept;             // why what was made is not kept open; empty when it is, or nothing was made
};

// `ownAddresses`: this machine's, as renew finds them; a mapping for an address not among
// them is recorded as another device's. None known (they could not be listed): each
// counts as this machine's, left alone by renew once it is not held.
Recording RecordForward(ForwardRecordStore& store, gateway::EntryClient& gateway, const ForwardOutcome& outcome,
                        const Ipv6Result& ipv6, const std::vector<std::string>& ownAddresses);
