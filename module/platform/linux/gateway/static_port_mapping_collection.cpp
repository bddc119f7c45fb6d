#include "static_port_mapping_collection.h"

#include <array>
#include <new>
#include <utility>

#include "diagnostics.h"

#include "gateway_log.h"
#include "platform/posix/internal_client.h"
#include "static_port_mapping.h"
#include "upnp_errors.h"

namespace gateway {
namespace {

std::string Name(const MappingRequest& request)
{
    return std::to_string(request.externalPort) + "/" + request.protocol + " -> " + request.internalClient + ":" +
           std::to_string(request.internalPort);
}

std::string Name(const HeldMapping& held)
{
    return held.internalClient + ":" + std::to_string(held.internalPort) + (held.enabled ? "" : ", disabled");
}

std::string Subject(const MappingRequest& request)
{
    return request.protocol + " " + std::to_string(request.externalPort);
}

// 604800 -> "7 days"; the read-back gives what is left, so a second or two less.
std::string Duration(long seconds)
{
    constexpr std::array<std::pair<long, const char*>, 3> units{{{86400, "day"}, {3600, "hour"}, {60, "minute"}}};
    for (const auto& [unit, name] : units)
        if (seconds >= unit) {
            const long count = (seconds + unit / 2) / unit;
            return std::to_string(count) + " " + name + (count == 1 ? "" : "s");
        }
    return std::to_string(seconds) + " seconds";
}

std::string LeaseSentence(const MappingRequest& request, long leaseSeconds)
{
    if (leaseSeconds < 0) return "The gateway did not say how long it keeps " + Subject(request) + ".";
    if (leaseSeconds == 0) return "The gateway keeps " + Subject(request) + " until it restarts or the mapping is removed.";
    return "The gateway keeps " + Subject(request) + " for " + Duration(leaseSeconds) + " (lease " +
           std::to_string(leaseSeconds) + " s), or until it restarts.";
}

// Who holds the port, when the gateway tells: ", held by 10.77.0.3:18120".
std::string Holder(const IgdConnection& gateway, const MappingRequest& request, Deadline deadline)
{
    const MappingReadBack held = gateway.ReadMapping(request.externalPort, request.protocol, deadline);
    return held.code == 0 && !held.mapping.internalClient.empty() ? " (" + Name(held.mapping) + ")" : "";
}

// The mapping object of a success, with how long the gateway keeps it; or the failure's status.
HRESULT Hand(const MappingOutcome& outcome, const MappingRequest& request, IStaticPortMapping** mapping)
{
    if (FAILED(outcome.status)) return outcome.status;
    UserLine(LeaseSentence(request, outcome.held.leaseSeconds));
    auto* held = new (std::nothrow) StaticPortMapping(outcome.held);
    if (held == nullptr) return E_OUTOFMEMORY;
    *mapping = held;
    return S_OK;
}

} // namespace

HRESULT StaticPortMappingCollection::Add(LONG externalPort, BSTR protocol, LONG internalPort, BSTR internalClient,
                                         VARIANT_BOOL enabled, BSTR description, IStaticPortMapping** mapping)
{
    if (mapping == nullptr) return E_POINTER;
    *mapping = nullptr;
    const ArgumentCheck check =
        CheckMappingArguments(externalPort, protocol, internalPort, internalClient, enabled, description);
    if (!check.request) {
        GatewayLog("nothing sent: " + check.problem);
        return E_INVALIDARG;
    }
    const MappingRequest& request = *check.request;
    NoteInternalClient(request.internalClient);
    if (const PortControlGateway* portControl = session_->PortControl())
        return Hand(portControl->Map(request, session_->CallDeadline()), request, mapping);
    const IgdConnection& gateway = *session_->Gateway();

    const int refusal = gateway.AddPortMapping(request, session_->CallDeadline());
    if (refusal != 0) {
        const std::string holder = refusal == kConflictInMappingEntry ? Holder(gateway, request, session_->CallDeadline()) : "";
        UserLine("The gateway refused " + Subject(request) + ": " + UpnpErrorText(refusal) +
                 UpnpRefusalMeaning(refusal) + holder + ".");
        return HresultFromUpnpError(refusal);
    }
    // A gateway may say yes and hold nothing, or hold the port for someone else.
    const MappingReadBack readBack = gateway.ReadMapping(request.externalPort, request.protocol, session_->CallDeadline());
    if (readBack.code != 0) {
        GatewayLog("AddPortMapping " + Name(request) + " said yes, but reading it back failed: " +
                   UpnpErrorText(readBack.code));
        return E_FAIL;
    }
    if (!HoldsRequest(readBack.mapping, request)) {
        GatewayLog("AddPortMapping " + Name(request) + " said yes, but the gateway holds the port for " +
                   Name(readBack.mapping));
        return E_FAIL;
    }
    return Hand(MappingOutcome{S_OK, readBack.mapping}, request, mapping);
}

} // namespace gateway
