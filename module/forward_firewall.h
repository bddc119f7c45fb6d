// The firewall entries the forwards made, as renew checks and close removes them.
#pragma once

#include <memory>
#include <string>

class ForwardFirewall {
public:
    virtual ~ForwardFirewall() = default;
    // Removes the entry for the port and protocol only when it carries `name` (or the
    // firewall keeps no names); true when no entry of that name is left. A failure's
    // reason is in `problem`, and told as a headline.
    virtual bool Remove(int port, const std::string& protocol, const std::string& name, std::string& problem) = 0;

    enum class Presence { LetsIn, Missing, Unknown };
    // Whether the entry named `name` still lets the port in (a firewall that is off lets
    // everything in), by reading alone: never asks anyone for rights. Unknown where the
    // entries cannot be read so.
    virtual Presence Find(int port, const std::string& protocol, const std::string& name) = 0;
};

// The firewall's current profile, through the firewall's COM objects.
std::unique_ptr<ForwardFirewall> OpenForwardFirewall();
