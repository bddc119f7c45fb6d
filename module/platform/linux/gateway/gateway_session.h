// The gateway of one module run: searched for and checked once, shared by every NAT
// object of the run, and bounded in time as a whole.
#pragma once

#include <memory>

#include "deadline.h"
#include "gateway_settings.h"
#include "igd_connection.h"

namespace gateway {

class GatewaySession {
public:
    // The run's time budget starts here.
    explicit GatewaySession(GatewaySettings settings);

    // The gateway to map ports on; null, with the reason on standard error, when none
    // answered or the one that did cannot give out reachable ports.
    const IgdConnection* Gateway();

    // When the next single call to the gateway must be over.
    Deadline CallDeadline() const;

private:
    GatewaySettings settings_;
    Deadline end_;
    bool searched_ = false;
    std::unique_ptr<IgdConnection> gateway_;
};

} // namespace gateway
