// The COM status the firewall classes answer for a manager's answer.
#pragma once

#include "com/com_api.h"
#include "firewall/firewall_types.h"

namespace firewall {

constexpr DWORD kErrorFileNotFound = 2;
constexpr DWORD kErrorTimeout = 1460;

constexpr HRESULT HresultFromStatus(Status status)
{
    switch (status) {
    case Status::Ok: return S_OK;
    case Status::AlreadyOpen: return S_FALSE;
    case Status::NotFound: return HRESULT_FROM_WIN32(kErrorFileNotFound);
    case Status::AccessDenied: return E_ACCESSDENIED;
    case Status::TimedOut: return HRESULT_FROM_WIN32(kErrorTimeout);
    case Status::Failed: break;
    }
    return E_FAIL;
}

} // namespace firewall
