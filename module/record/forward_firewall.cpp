#include "record/forward_firewall.h"

#include "diagnostics.h"
#include "firewall/firewall_opener.h"
#include "forward/forward_report.h"
#include "platform/closed_over_ipv6.h"
#include "text_lines.h"

namespace {

class ProfileFirewall final : public ForwardFirewall {
public:
    bool Remove(const RecordedForward& forward, std::string& problem) override
    {
        const int port = forward.externalPort;
        const std::string &protocol = forward.protocol, &name = forward.firewallEntry;
        const std::string subject = protocol + " " + std::to_string(port);
        if (forward.family == "IPv6" && Ipv6RulesOfTheirOwn()) {
            if (RemoveOwnRuleOverIpv6(port, protocol)) {
                UserLine("The firewall's entry \"" + name + "\" for " + subject + " over IPv6 is gone.");
                return true;
            }
            problem = "The firewall entry for port " + std::to_string(port) + " over IPv6 could not be removed. "
                      "Remove it in the firewall's settings, or try again.";
            Headline(problem);
            return false;
        }
        if (!Opened()) {
            problem = "The firewall could not be read, so its entry for port " + std::to_string(port) +
                      " stays. Try again as a user who may change the firewall.";
            Headline(problem);
            return false;
        }
        // A firewall switched off keeps its entries, to use them again once on: ours goes all the same.
        const HRESULT closed = CloseFirewallPort(firewall_.Profile.get(), port, Number(protocol), WidenBytes(name));
        if (closed == S_OK) {
            // A wider rule that is not ours (an administrator's range of ports) may have let
            // the port in before ours did, and still does.
            bool open = false;
            if (SUCCEEDED(IsPortOpen(firewall_.Profile.get(), port, Number(protocol), open)) && open)
                UserLine("The firewall holds nothing of this tool's for " + subject + " now (\"" + name +
                         "\"), but another rule still lets " + subject +
                         " in; that rule is not this tool's and stays.");
            else
                UserLine("The firewall no longer lets " + subject + " in (\"" + name + "\" removed).");
            return true;
        }
        if (closed == S_FALSE) {
            UserLine("The firewall holds no entry \"" + name + "\" for " + subject + "; any other entry stays.");
            return true;
        }
        StatusLine("The firewall entry \"" + name + "\" was not removed", closed);
        problem = "The firewall entry for port " + std::to_string(port) + " could not be removed" +
                  (closed == E_ACCESSDENIED ? ": this needs an administrator." : ".") +
                  " Remove it in the firewall's settings, or try again.";
        Headline(problem);
        return false;
    }

    Presence Find(const RecordedForward& forward) override
    {
        const int port = forward.externalPort;
        const std::string &protocol = forward.protocol, &name = forward.firewallEntry;
        if (forward.family == "IPv6" && Ipv6RulesOfTheirOwn()) {
            const std::optional<bool> held = FindOwnRuleOverIpv6(port, protocol, name);
            return !held ? Presence::Unknown : *held ? Presence::LetsIn : Presence::Missing;
        }
        if (!Opened() || !stateRead_) return Presence::Unknown;
        if (!firewall_.FirewallOn) return Presence::LetsIn;
        bool held = false;
        const HRESULT found = FindOwnFirewallPort(firewall_.Profile.get(), port, Number(protocol), WidenBytes(name), held);
        if (FAILED(found)) {
            StatusLine("The firewall entry \"" + name + "\" was not read", found);
            return Presence::Unknown;
        }
        return held ? Presence::LetsIn : Presence::Missing;
    }

private:
    static NET_FW_IP_PROTOCOL Number(const std::string& protocol)
    {
        return protocol == "TCP" ? NET_FW_IP_PROTOCOL_TCP : NET_FW_IP_PROTOCOL_UDP;
    }

    bool Opened()
    {
        if (!tried_) {
            tried_ = true;
            if (SUCCEEDED(CoInitialize(nullptr)) && SUCCEEDED(OpenFirewallProfile(firewall_))) {
                firewall_.ProfileObtained = true;
                stateRead_ = SUCCEEDED(ReadFirewallEnabled(firewall_.Profile.get(), firewall_.FirewallOn));
            }
        }
        return firewall_.ProfileObtained;
    }

    bool tried_ = false;
    bool stateRead_ = false; // whether the firewall could tell if it is on
    FirewallState firewall_;
};

} // namespace

std::unique_ptr<ForwardFirewall> OpenForwardFirewall() { return std::make_unique<ProfileFirewall>(); }
