// Windows' own COM objects as the module drives them, against their fakes in the
// module's COM runtime. Windows Firewall: its profile, whether it is on, and each port
// let in; after each row, no COM object or BSTR left alive.
#include <gtest/gtest.h>

#include "fake_platform.h"
#include "firewall/firewall_opener.h"
#include "firewall/windows/windows_firewall.h"
#include "text_lines.h"

namespace {

using firewall::Status;
constexpr Outcome F = Outcome::Fails, Null = Outcome::LeavesNull;
constexpr Status Ok = Status::Ok, Failed = Status::Failed;

TEST(WindowsFirewall, LetsEachPortInThroughTheCurrentProfile)
{
    const struct {
        const char* name;
        std::map<std::string, Outcome> outcomes;
        Status profile;
        bool on;
        Status tcp, udp;          // what letting TCP and UDP 8080 in answered
        std::string added;        // t, u: the entry for TCP, UDP added
        bool tcpEntryThere = false;
        const wchar_t* entryName = L"HLMX 8080";
    } rows[] = {
        {"entry_there", {}, Ok, true, Status::AlreadyOpen, Ok, "u", true},
        // Only an enabled entry lets the port in; a lookup that fails is no entry.
        {"disabled_entry_there", {{"get_Enabled", Null}}, Ok, true, Ok, Ok, "tu", true},
        {"lookup_fails", {{"Item", F}}, Ok, true, Ok, Ok, "tu"},
        {"entry_state_unread", {{"get_Enabled", F}}, Ok, true, Failed, Ok, "u", true},
        {"firewall_off", {{"get_FirewallEnabled", Null}}, Ok, false, Ok, Ok, ""},
        {"firewall_state_unread", {{"get_FirewallEnabled", F}}, Ok, false, Ok, Ok, ""},
        {"create_manager_fails", {{"CoCreateInstance NetFwMgr", F}}, Failed, false, Ok, Ok, ""},
        {"policy_fails", {{"get_LocalPolicy", F}}, Failed, false, Ok, Ok, ""},
        {"policy_null", {{"get_LocalPolicy", Null}}, Failed, false, Ok, Ok, ""},
        {"profile_fails", {{"get_CurrentProfile", F}}, Failed, false, Ok, Ok, ""},
        {"open_ports_fails", {{"get_GloballyOpenPorts", F}}, Ok, true, Failed, Failed, ""},
        {"create_entry_fails", {{"CoCreateInstance NetFwOpenPort", F}}, Ok, true, Failed, Failed, ""},
        {"create_entry_null", {{"CoCreateInstance NetFwOpenPort", Null}}, Ok, true, Failed, Failed, ""},
        {"put_port_fails", {{"put_Port", F}}, Ok, true, Failed, Failed, ""},
        {"put_protocol_fails", {{"put_Protocol", F}}, Ok, true, Failed, Failed, ""},
        {"put_name_fails", {{"put_Name", F}}, Ok, true, Failed, Failed, ""},
        {"add_entry_fails", {{"OpenPorts.Add", F}}, Ok, true, Failed, Failed, "tu"},
        {"empty_name_adds_nothing", {}, Ok, true, Failed, Failed, "", false, L""},
    };
    for (const auto& row : rows) {
        FakePlatform platform;
        comrt::ResetRuntimeForTests();
        RegisterFakeFirewall(platform);
        platform.outcomes = row.outcomes;
        if (row.tcpEntryThere) platform.openPorts.insert({8080, NET_FW_IP_PROTOCOL_TCP});
        std::vector<Status> opened;
        {
            FirewallState firewall{firewall::OpenWindowsFirewall()};
            EXPECT_EQ(OpenFirewallProfile(firewall), row.profile) << row.name;
            EXPECT_EQ(firewall.FirewallOn, row.on) << row.name;
            for (const Protocol protocol : {Protocol::Tcp, Protocol::Udp}) {
                const std::wstring name = *row.entryName ? row.entryName + WidenBytes(" " + std::string(Name(protocol))) : L"";
                if (firewall.FirewallOn)
                    opened.push_back(OpenFirewallPort(*firewall.Manager, {8080, protocol, Family::Ipv4, name, ""}).status);
            }
        }
        if (row.on) {
            EXPECT_EQ(opened, (std::vector<Status>{row.tcp, row.udp})) << row.name;
        }
        std::string added;
        for (const char* protocol : {"TCP", "UDP"})
            for (const std::string& call : platform.calls)
                if (call == std::string("OpenPorts.Add ") + protocol + " 8080 'HLMX 8080 " + protocol + "'")
                    added += char(std::tolower(protocol[0]));
        EXPECT_EQ(added, row.added) << row.name;
        comrt::ResetRuntimeForTests();
        EXPECT_EQ(comrt::LiveObjectCount(), 0) << row.name << ": COM objects left alive";
        EXPECT_EQ(comrt::LiveStringCount(), 0) << row.name << ": BSTRs left unfreed";
    }
}

} // namespace
