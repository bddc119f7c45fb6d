#include "record/forward_words.h"

#include "record/sentences.h"

std::string Subject(const RecordedForward& forward)
{
    const gateway::Grant& g = forward.grant;
    return std::string(Name(g.protocol)) + " " + std::to_string(g.externalPort) + " to " + g.internalAddress + " (" +
           std::string(Name(g.method)) + (g.family == Family::Ipv6 ? ", IPv6 pinhole" : "") + ")";
}

std::string LeaseWords(long long lifetime)
{
    namespace sentence = record::sentence;
    return lifetime == 0 ? Compose(sentence::HeldUntilRestart).text
                         : Compose(sentence::HeldFor, {{"seconds", std::to_string(lifetime)}}).text;
}

std::string FirewallEntryRemoval(const RecordedForward& forward)
{
#ifdef _WIN32
    return "netsh advfirewall firewall delete rule name=\"" + forward.firewallEntry + "\"";
#else
    // The record does not say which manager holds it: ufw keeps the name, firewalld only the port.
    const std::string protocol(LowerName(forward.grant.protocol));
    const std::string port = std::to_string(forward.grant.externalPort);
    return "sudo ufw delete allow from " + std::string(forward.grant.family == Family::Ipv6 ? "::/0" : "0.0.0.0/0") +
           " to any port " + port + " proto " + protocol + " (ufw), or sudo firewall-cmd --remove-port=" + port + "/" +
           protocol + ", then the same with --permanent (firewalld)";
#endif
}
