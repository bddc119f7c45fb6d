#include "record/forward_words.h"

#include "terms.h"

std::string Subject(const RecordedForward& forward)
{
    return forward.protocol + " " + std::to_string(forward.externalPort) + " to " + forward.internalAddress + " (" +
           forward.how + (forward.family == "IPv6" ? ", IPv6 pinhole" : "") + ")";
}

std::string LeaseWords(long long lifetime)
{
    return lifetime == 0 ? "held until the router restarts" : "held for " + std::to_string(lifetime) + " s";
}

std::string OwnEntryName(int port, const std::string& protocol) { return "HLMX " + std::to_string(port) + " " + protocol; }

std::string FirewallEntryRemoval(const RecordedForward& forward)
{
#ifdef _WIN32
    return "netsh advfirewall firewall delete rule name=\"" + forward.firewallEntry + "\"";
#else
    // The record does not say which manager holds it: ufw keeps the name, firewalld only the port.
    // The record holds only "TCP" and "UDP".
    const std::string protocol(LowerName(Parse<Protocol>(forward.protocol).value_or(Protocol::Tcp)));
    const std::string port = std::to_string(forward.externalPort);
    return "sudo ufw delete allow from " + std::string(forward.family == "IPv6" ? "::/0" : "0.0.0.0/0") +
           " to any port " + port + " proto " + protocol + " (ufw), or sudo firewall-cmd --remove-port=" + port + "/" +
           protocol + ", then the same with --permanent (firewalld)";
#endif
}
