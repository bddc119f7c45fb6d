#include "gateway/upnp/upnp_errors.h"

#include <miniupnpc/upnperrors.h>

#include <array>
#include <string_view>
#include <utility>

namespace gateway {
namespace {

// The codes miniupnpc does not name, or names otherwise than we do: its own (it
// prefixes them "Miniupnpc"), the HTTP-level ones, the range 600-605 it leaves unnamed,
// and those the connection service means otherwise than the pinhole service (703, 704).
constexpr std::array<std::pair<int, const char*>, 18> kOwnNames{{
    {kNoAnswerInTime, "no answer in time"},
    {-5, "out of memory"},
    {-4, "invalid response"},
    {-3, "HTTP error"},
    {-2, "invalid arguments"},
    {-1, "unknown error"},
    {404, "Invalid Var"},
    {600, "Argument Value Invalid"},
    {601, "Argument Value Out of Range"},
    {602, "Optional Action Not Implemented"},
    {603, "Out of Memory"},
    {604, "Human Intervention Required"},
    {605, "String Argument Too Long"},
    {703, "InactiveConnectionStateRequired"},
    {704, "ConnectionSetupFailed"},
    {728, "NoPortMapsAvailable"},
    {729, "ConflictWithOtherMechanisms"},
    {732, "WildCardNotPermittedInIntPort"},
}};

constexpr std::array<std::pair<int, const char*>, 6> kMeanings{{
    {606, ", the router does not let this machine add mappings"},
    {718, ", another device holds this port"},
    {725, ", the router takes only mappings that never expire"},
    {728, ", the router has no room for more mappings"},
    {729, ", the port is taken by another mechanism of the router"},
    {501, ", the router could not carry it out"},
}};

} // namespace

std::string UpnpErrorText(int code)
{
    for (const auto& [known, name] : kOwnNames)
        if (known == code) return std::to_string(code) + " " + name;
    const char* name = strupnperror(code);
    if (name != nullptr && std::string_view(name) != "UnknownError") return std::to_string(code) + " " + name;
    return std::to_string(code) + " (unknown code)";
}

std::string UpnpRefusalMeaning(int code)
{
    for (const auto& [known, meaning] : kMeanings)
        if (known == code) return meaning;
    return {};
}

} // namespace gateway
