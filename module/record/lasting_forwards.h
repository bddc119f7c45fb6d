// renew, list and close, worked on the record with the gateway (and, for close, the
// firewall) given. Each says one sentence per entry on standard error; renew and close
// return the first reason of a failure (close: the one about them all, when there is
// one), empty when all went well.
#pragma once

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "gateway/entry_client.h"
#include "record/forward_record.h"
#include "record/entry_firewall.h"
#include "platform/deadline.h"

// Whether `values` holds `value`: an address among this machine's, a protocol among a target's.
template <class T> bool Holds(const std::vector<T>& values, const T& value)
{
    return std::find(values.begin(), values.end(), value) != values.end();
}

// How often renew asks the gateway whether it still holds an entry that is not yet due.
inline constexpr long long kCheckInterval = 3600;

// What this run sees of the machine: its gateway and its addresses, the time now, and
// when its work must be over.
struct Surroundings {
    gateway::Identity gateway;
    std::vector<std::string> addresses;
    long long now = 0;
    Deadline end = Deadline::max();
};

// Renews each entry on this gateway for an address this machine holds, or for another
// device, when half its lease has passed or the gateway no longer holds it, and tells of its firewall entry
// when that is gone; the others, and those a close let go, are left as they are.
std::string RenewForwards(std::vector<RecordedForward>& forwards, gateway::EntryClient& gateway, EntryFirewall& firewall,
                          const Surroundings& here);

// The result lines of list: tab-separated protocol, external port, internal address,
// internal port, family, how, seconds left, kept open, made here, firewall entry,
// description. UPnP mappings from the gateway's own list, the others from the record;
// a port only this machine's firewall lets in has `kFirewallOnlyWord` for how, on
// whichever router.
inline constexpr const char* kFirewallOnlyWord = "firewall";
std::vector<std::string> ListLines(const std::vector<gateway::EntryClient::Listed>& listed,
                                   const std::vector<RecordedForward>& forwards, const Surroundings& here);

struct CloseTarget {
    std::string address;
    int port = 0;
    std::vector<Protocol> protocols;
};

// The groups of four lines after "close": address, port, TCP flag, UDP flag. Nothing
// when a group is incomplete or asks for nothing.
std::optional<std::vector<CloseTarget>> ReadCloseTargets(const std::vector<std::wstring>& commandLines);

// "close" followed by the single line "all": everything the record holds.
bool ClosesAll(const std::vector<std::wstring>& commandLines);

// A target for each address and port of the record, with each protocol recorded for it;
// a pinhole goes by the address of the forward it was opened beside, and closes with it.
std::vector<CloseTarget> RecordedTargets(const std::vector<RecordedForward>& forwards);

// Deletes each target's mappings from the gateway, removes the firewall entries the
// tool made for them, and drops them from the record, until `here.end`: the targets
// not reached by then are named. A mapping the record does not hold is deleted only
// for an address of this machine's, when the gateway holds it for that address.
// `save` writes `forwards` to the record: once with the entries about to go marked as
// closing, before the gateway is asked (when that fails, nothing is closed), and once
// after; when that fails, the reason names what the record still holds.
std::string CloseForwards(const std::vector<CloseTarget>& targets, std::vector<RecordedForward>& forwards,
                          gateway::EntryClient& gateway, EntryFirewall& firewall, const Surroundings& here,
                          const std::function<bool()>& save);

// Takes back what a forward made and could not record: each entry deleted from the
// gateway and its firewall entry removed. Returns those left, each told.
std::vector<RecordedForward> TakeBack(const std::vector<RecordedForward>& made, gateway::EntryClient& gateway,
                                      EntryFirewall& firewall);

// What the record still holds after a close, for a person to close by hand: a sentence
// for each mapping and pinhole (on which router, and at most how long its lease still
// runs at `now`) and for each firewall entry the tool made (how to remove it).
std::vector<std::string> LeftOpenLines(const std::vector<RecordedForward>& forwards, long long now);
