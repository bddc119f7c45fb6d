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

inline constexpr const char* kRecordHeader = "varneth forwards 1";

// The lease our client asks for, renewed at its half: a forward nobody renews any more
// closes by itself within two hours.
inline constexpr long long kAskedLease = 7200;

// The gateway a mapping lives on, as far as it told: its UPnP device UDN, its address
// and its link-layer address. A mapping is renewed only on the same gateway.
struct GatewayIdentity {
    std::string udn;
    std::string address;
    std::string linkAddress;
};

bool operator==(const GatewayIdentity& a, const GatewayIdentity& b);

struct RecordedForward {
    std::string protocol;        // "TCP" or "UDP"
    int externalPort = 0;
    std::string internalAddress;
    int internalPort = 0;
    std::string family;          // "IPv4" or "IPv6"
    std::string how;             // "UPnP", "PCP", "NAT-PMP" or "system" (Windows' own NAT object)
    GatewayIdentity gateway;
    std::string nonce;           // PCP's mapping nonce, 24 hex digits
    std::string externalAddress;
    long long lifetime = 0;      // seconds granted; 0: no end
    long long grantedAt = 0;     // when, in seconds since 1970
    long long checkedAt = 0;     // when the gateway last said it holds it
    long long epoch = -1;        // PCP's or NAT-PMP's epoch with the grant; -1: none told
    std::string firewallEntry;   // the name of the firewall entry this tool made; empty: none
    std::string pinholeId;       // IPv6: the UniqueID the gateway gave the pinhole
    std::string forwardAddress;  // IPv6: the IPv4 address the forward was asked for
    std::string description;
    bool closing = false;        // a close asked the router to let it go: never renewed again
};

bool operator==(const RecordedForward& a, const RecordedForward& b);

// The same gateway: the same address, and the same UDN and link-layer address where
// both sides know them. Another network's router at the same address is not ours.
bool SameGateway(const GatewayIdentity& recorded, const GatewayIdentity& current);

// Whether `forward` was made on the device that answered at its address: told by the
// UDN where both sides know one, else by the link-layer address, which both sides must
// know (read once the device answered, when the system's neighbour table holds it).
bool MadeOnDevice(const RecordedForward& forward, const GatewayIdentity& answered);

// UPnP mappings, ours and those the system's NAT object made, live in the gateway's UPnP
// service: our client reads, renews and deletes them there, and the gateway lists them.
bool MadeThroughUpnp(const RecordedForward& forward);

// The address of this machine the entry belongs to: a pinhole belongs to the IPv4
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
