// What a gateway's answer code means, and the COM status a refusal becomes.
#pragma once

#include <string>

namespace gateway {

// Our own code for a gateway that did not answer before the deadline; the library's
// codes are small negative numbers, UPnP's 400 and up.
constexpr int kNoAnswerInTime = -1000;
// Another client holds the external port.
constexpr int kConflictInMappingEntry = 718;
// The gateway lets no one (or not this machine, or not this port) map.
constexpr int kActionNotAuthorized = 606;
// The gateway keeps mappings only without an end (lease 0).
constexpr int kOnlyPermanentLeasesSupported = 725;
// The gateway holds no such mapping.
constexpr int kNoSuchEntryInArray = 714;

// "718 ConflictInMappingEntry", "-3 HTTP error", ...: the code and its name.
std::string UpnpErrorText(int code);

// What a refusal means for the user, as a clause (", another device holds this
// port"); empty when the code's name says enough.
std::string UpnpRefusalMeaning(int code);

} // namespace gateway
