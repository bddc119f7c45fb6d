// After a forward: what the gateway granted, and the firewall entries made for it, go into
// the record of forwards, held since before the forward, whatever the forward's answer.
// What could not be recorded is taken back, and told.
#pragma once

#include <string>

#include "forward/forward_outcome.h"
#include "forward/ipv6_forward.h"
#include "gateway/entry_client.h"
#include "record/forward_record.h"
#include "record/forward_record_store.h"

struct Recording {
    bool recorded = false; // in the record now, and so renewed
    std::string notKept;   // why what was made is not kept open; empty when it is, or nothing was made
};

Recording RecordForward(ForwardRecordStore& store, gateway::EntryClient& gateway, const ForwardOutcome& outcome,
                        const Ipv6Result& ipv6);
