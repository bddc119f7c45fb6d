#include "gateway/upnp/upnp_errors.h"

#include <array>
#include <utility>

namespace gateway {
namespace {

constexpr std::array<std::pair<int, const char*>, 31> kCodes{{
    {kNoAnswerInTime, "no answer in time"},
    {-5, "out of memory"},
    {-4, "invalid response"},
    {-3, "HTTP error"},
    {-2, "invalid arguments"},
    {-1, "unknown error"},
    {401, "Invalid Action"},
    {402, "Invalid Args"},
    {404, "Invalid Var"},
    {501, "Action Failed"},
    {600, "Argument Value Invalid"},
    {601, "Argument Value Out of Range"},
    {602, "Optional Action Not Implemented"},
    {603, "Out of Memory"},
    {604, "Human Intervention Required"},
    {605, "String Argument Too Long"},
    {606, "Action not authorized"},
    {703, "InactiveConnectionStateRequired"},
    {704, "ConnectionSetupFailed"},
    {713, "SpecifiedArrayIndexInvalid"},
    {714, "NoSuchEntryInArray"},
    {715, "WildCardNotPermittedInSrcIP"},
    {716, "WildCardNotPermittedInExtPort"},
    {718, "ConflictInMappingEntry"},
    {724, "SamePortValuesRequired"},
    {725, "OnlyPermanentLeasesSupported"},
    {726, "RemoteHostOnlySupportsWildcard"},
    {727, "ExternalPortOnlySupportsWildcard"},
    {728, "NoPortMapsAvailable"},
    {729, "ConflictWithOtherMechanisms"},
    {732, "WildCardNotPermittedInIntPort"},
}};

constexpr std::array<std::pair<int, const char*>, 6> kMeanings{{
    {606, ", the gateway does not let this machine add mappings"},
    {718, ", another device holds this port"},
    {725, ", the gateway takes only mappings that never expire"},
    {728, ", the gateway has no room for more mappings"},
    {729, ", the port is taken by another mechanism of the gateway"},
    {501, ", the gateway could not carry it out"},
}};

} // namespace

std::string UpnpErrorText(int code)
{
    for (const auto& [known, name] : kCodes)
        if (known == code) return std::to_string(code) + " " + name;
    return std::to_string(code) + " (unknown code)";
}

std::string UpnpRefusalMeaning(int code)
{
    for (const auto& [known, meaning] : kMeanings)
        if (known == code) return meaning;
    return {};
}

} // namespace gateway
