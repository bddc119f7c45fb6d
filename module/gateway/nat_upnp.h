// IUPnPNAT: the entry to the gateway's static port mappings.
#pragma once

#include <memory>

#include "com/com_api.h"
#include "gateway/gateway_session.h"

namespace gateway {

class NatUPnP final : public comrt::ComObject<IUPnPNAT> {
public:
    explicit NatUPnP(std::shared_ptr<GatewaySession> session) : session_(std::move(session)) {}

    // Without a usable gateway this succeeds and gives no collection, as the Windows service does.
    HRESULT get_StaticPortMappingCollection(IStaticPortMappingCollection** collection) override;

private:
    std::shared_ptr<GatewaySession> session_;
};

} // namespace gateway
