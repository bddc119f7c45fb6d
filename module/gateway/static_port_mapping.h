// IStaticPortMapping: one mapping, answering from what the gateway said it holds, and
// how long it holds it.
#pragma once

#include "com/com_api.h"
#include "gateway/mapping_lease.h"
#include "gateway/port_mapping.h"

namespace gateway {

class StaticPortMapping final : public comrt::ComObject<IStaticPortMapping, IMappingLease> {
public:
    explicit StaticPortMapping(HeldMapping held) : held_(std::move(held)) {}

    HRESULT get_ExternalIPAddress(BSTR* address) override;
    HRESULT get_ExternalPort(LONG* port) override;
    HRESULT get_InternalPort(LONG* port) override;
    HRESULT get_Protocol(BSTR* protocol) override;
    HRESULT get_InternalClient(BSTR* client) override;
    HRESULT get_Enabled(VARIANT_BOOL* enabled) override;
    HRESULT get_Description(BSTR* description) override;
    HRESULT get_LeaseSeconds(LONG* seconds) override;

private:
    const HeldMapping held_;
};

} // namespace gateway
