// Windows' own NAT object (its NAT UPnP service) as a NAT service, asked before our own
// client. What its collection says it mapped counts only once our client has read it back
// from the default gateway: the system's object takes whatever device answers first.
#pragma once

#include <functional>
#include <memory>

#include "platform/com/com_api.h"
#include "gateway/nat_service.h"

namespace gateway {

// Where the system's calls run: each call's status, or kSystemTimedOut once the system's
// share of the run is over; Post runs work in turn, waiting for nothing.
class SystemCalls {
public:
    virtual ~SystemCalls() = default;
    virtual HRESULT Call(std::function<HRESULT()> work) = 0;
    virtual void Post(std::function<void()> work) = 0;
};

inline constexpr HRESULT kSystemTimedOut = HRESULT_FROM_WIN32(1460); // ERROR_TIMEOUT

using ReadBackMapping = std::function<NatService::AddAnswer(const MappingRequest&)>;

// Every answer that is not Ok or Made carries why our own client takes over. `searchBeside`
// starts our client's search as the object is first asked, so the two wait side by side.
std::unique_ptr<NatService> SystemNatService(SystemCalls& calls, std::function<void()> searchBeside,
                                             ReadBackMapping readBack);

} // namespace gateway
