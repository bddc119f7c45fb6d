// The record of forwards: every mapping and pinhole this tool made for the user, so a
// later run can renew, list and close them. A line-oriented text a person can read:
//
//   varneth forwards 1
//   mapping<TAB>protocol=TCP<TAB>external-port=8080<TAB>internal-address=192.168.1.5<TAB>...
//
// Fields are name=value, in any order; a field this version does not know is skipped,
// so a record written by a newer version still reads.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gateway/grant.h"

inline constexpr const char* kRecordHeader = "varneth forwards 1";

// The lease our client asks for, renewed at its half: a forward nobody renews any more
// closes by itself within two hours.
inline constexpr long long kAskedLease = 7200;

// One entry of the record: what the gateway granted, when it last said it holds it, and
// the firewall entry this tool made for it. A grant whose lease was not told is kept
// as 0, no end, as it always was.
struct RecordedForward {
    gateway::Grant grant;
    long long checkedAt = 0;     // when the gateway last said it holds it
    std::string firewallEntry;   // the name of the firewall entry this tool made; empty: none
    bool closing = false;        // a close asked the gateway to let it go: never renewed again
    bool anotherDevice = false;  // for another device on the router's network, not an address of this machine
};

bool operator==(const RecordedForward& a, const RecordedForward& b);

// The same gateway: the same address, and the same UDN and link-layer address where
// both sides know them. Another network's router at the same address is not ours.
bool SameGateway(const gateway::Identity& recorded, const gateway::Identity& current);

// Whether `forward` was made on the device that answered at its address: told by the
// UDN where both sides know one, else by the link-layer address, which both sides must
// know (read once the device answered, when the system's neighbour table holds it).
bool MadeOnDevice(const RecordedForward& forward, const gateway::Identity& answered);

// The seconds the gateway granted, as the record keeps them: 0, no end (or none told).
long long Lifetime(const RecordedForward& forward);

// The address the entry belongs to, this machine's or another device's: a pinhole belongs to the IPv4
// forward it was opened beside, found, closed and renewed with it.
const std::string& ForwardAddress(const RecordedForward& forward);

// One entry is one port, protocol and internal address on one gateway: a newer forward
// of the same replaces the older.
bool SameMapping(const RecordedForward& a, const RecordedForward& b);

struct RecordReading {
    std::vector<RecordedForward> forwards;
    std::string damage; // why the text is no record, for people; empty when it is one
};

RecordReading ParseRecord(std::string_view text);
std::string FormatRecord(const std::vector<RecordedForward>& forwards);

// Adds `forward`, or replaces the entry for the same mapping, keeping the firewall entry
// the tool made for it before.
void Remember(std::vector<RecordedForward>& forwards, const RecordedForward& forward);
