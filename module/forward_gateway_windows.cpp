#include "forward_gateway.h"

// Our own gateway client does not run on Windows yet, and the system's NAT object can
// neither renew with a nonce nor tell which gateway it spoke to.
std::unique_ptr<ForwardGateway> OpenForwardGateway(std::string& problem)
{
    problem = "Keeping, listing and closing forwards is not available on Windows yet. Use the router's own settings.";
    return nullptr;
}
