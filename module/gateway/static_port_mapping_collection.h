// IStaticPortMappingCollection: adds a mapping on the gateway and reads it back, so
// that success means the gateway really holds the port for our client.
#pragma once

#include <memory>

#include "com/com_api.h"
#include "gateway/gateway_session.h"

namespace gateway {

class StaticPortMappingCollection final : public comrt::ComObject<IStaticPortMappingCollection> {
public:
    // `session` has a gateway.
    explicit StaticPortMappingCollection(std::shared_ptr<GatewaySession> session) : session_(std::move(session)) {}

    HRESULT Add(LONG externalPort, BSTR protocol, LONG internalPort, BSTR internalClient, VARIANT_BOOL enabled,
                BSTR description, IStaticPortMapping** mapping) override;

private:
    std::shared_ptr<GatewaySession> session_;
};

#ifdef _WIN32
// What the default gateway's UPnP service holds for a mapping that another client says
// it made: our mapping object, with the lease and the external address, when it holds
// exactly that; a failure, with the reason on standard error, when it does not or
// cannot tell (no UPnP at the default gateway).
HRESULT ConfirmMapping(GatewaySession& session, LONG externalPort, BSTR protocol, LONG internalPort,
                       BSTR internalClient, VARIANT_BOOL enabled, BSTR description, IStaticPortMapping** mapping);
#endif

} // namespace gateway
