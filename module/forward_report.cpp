#include "forward_report.h"

#include <algorithm>
#include <cstdio>

#include "diagnostics.h"
#include "text_lines.h"

namespace {

std::string Subject(wchar_t protocol, std::int32_t port) { return ProtocolName(protocol) + " " + std::to_string(port); }

std::string RightsHint(HRESULT status)
{
    return status == E_ACCESSDENIED ? ": this needs administrator rights" : "";
}

// Only digits and dots pass: the address ends up in a sentence the window parses.
bool IsPlainIpv4Text(const std::string& text)
{
    return !text.empty() && text.size() <= 15 &&
           std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

std::string ExternalAddress(IStaticPortMapping* mapping)
{
    Bstr address;
    if (FAILED(mapping->get_ExternalIPAddress(address.put()))) return {};
    return NarrowToBytes(address.ToWide());
}

} // namespace

std::string ProtocolName(wchar_t protocol) { return protocol == L't' ? "TCP" : "UDP"; }

std::string StatusText(HRESULT status)
{
    char text[32];
    std::snprintf(text, sizeof text, " (status 0x%08X)", static_cast<unsigned>(status));
    return text;
}

void ReportPortOutOfRange(wchar_t protocol, std::int32_t port)
{
    UserLine(Subject(protocol, port) + " was not asked for: a port is a number from 1 to 65535.");
}

void ReportNotMapped(wchar_t protocol, std::int32_t port)
{
    UserLine(Subject(protocol, port) + " is not mapped on the gateway.");
}

std::string ReportMapped(wchar_t protocol, std::int32_t port, const std::wstring& internalAddress,
                         IStaticPortMapping* mapping)
{
    const std::string address = ExternalAddress(mapping);
    const std::string endpoint = IsPlainIpv4Text(address) ? address + ":" + std::to_string(port) : std::string();
    UserLine(Subject(protocol, port) + " -> " + NarrowToBytes(internalAddress) + ":" + std::to_string(port) +
             " mapped on the gateway" + (endpoint.empty() ? "." : "; users on the Internet connect to " + endpoint + "."));
    return endpoint;
}

void ReportFirewallProfile(HRESULT profileStatus, bool firewallOn)
{
    if (FAILED(profileStatus))
        UserLine("The firewall could not be read" + StatusText(profileStatus) + RightsHint(profileStatus) + ".");
    else if (firewallOn)
        UserLine("The firewall is on.");
    else
        UserLine("The firewall is off: no port needs to be let in.");
}

void ReportFirewallPort(wchar_t protocol, std::int32_t port, HRESULT opened)
{
    if (opened == S_FALSE)
        UserLine("The firewall already lets " + Subject(protocol, port) + " in.");
    else if (SUCCEEDED(opened))
        UserLine("The firewall now lets " + Subject(protocol, port) + " in.");
    else
        UserLine("The firewall did not let " + Subject(protocol, port) + " in" + StatusText(opened) + RightsHint(opened) +
                 ".");
}

void ReportFirewallSkipped(wchar_t protocol, std::int32_t port)
{
    UserLine(Subject(protocol, port) + " is not let in through the firewall, since the gateway did not map it.");
}

void ReportReachable(const std::string& endpoint) { UserLine("Reachable at " + endpoint); }
