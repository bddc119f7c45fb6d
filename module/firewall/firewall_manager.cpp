#include "firewall/firewall_manager.h"

#include "platform/utf8.h"

namespace firewall {

std::uint32_t StatusCode(Status status)
{
    switch (status) {
    case Status::Ok: return 0;                    // S_OK
    case Status::AlreadyOpen: return 1;           // S_FALSE
    case Status::NotFound: return 0x80070002;     // ERROR_FILE_NOT_FOUND
    case Status::AccessDenied: return 0x80070005; // E_ACCESSDENIED
    case Status::TimedOut: return 0x800705B4;     // ERROR_TIMEOUT
    case Status::Failed: break;
    }
    return 0x80004005; // E_FAIL
}

Status FirewallManager::FindOwnPort(const PortRequest& request)
{
    const Found found = FindOpenPort(request);
    if (found.status != Status::Ok) return found.status;
    return found.name.empty() || found.name == Utf8FromWide(request.name) ? Status::Ok : Status::NotFound;
}

} // namespace firewall
