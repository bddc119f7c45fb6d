// The gateway of one module run: searched for and checked once, shared by every NAT
// object of the run, and over by the run's deadline.
#pragma once

#include <memory>

#include "platform/posix/deadline.h"
#include "gateway_settings.h"
#include "igd_connection.h"

namespace gateway {

class GatewaySession {
public:
    explicit GatewaySession(GatewaySettings settings);

    // The gateway to map ports on; null, with the reason on standard error, when none
    // answered or the one that did cannot give out reachable ports.
    const IgdConnection* Gateway();

    // When the next single call to the gateway must be over.
    Deadline CallDeadline() const;

private:
    GatewaySettings settings_;
    bool searched_ = false;
    std::unique_ptr<IgdConnection> gateway_;
};

} // namespace gateway
