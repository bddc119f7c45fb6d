#include "forward/forward_command.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cwchar>

#include "tell.h"
#include "addresses/internal_ips.h"
#include "exchange/result_file.h"
#include "forward/forward_recording.h"
#include "forward/forward_report.h"
#include "forward/sentences.h"
#include "forward/ipv6_forward.h"
#include "forward/varneth.h"
#include "gateway/upnp/pinhole.h"
#include "record/forward_record_store.h"
#include "record/remembered_gateway.h"
#include "text_lines.h"

namespace {

// How long a forward waits for another run (a renewal, a close) to let go of the record:
// the forward itself needs the rest of the run.
constexpr std::chrono::seconds kRecordWait{3};

// Read as wcstol reads it; a value past the 32-bit range is held at its edge, which
// the platform then refuses like any other port outside 1-65535.
std::int32_t ReadPort(const std::wstring& line)
{
    const long value = std::wcstol(line.c_str(), nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

std::string ResultTextFor(std::int32_t errorCode)
{
    switch (errorCode) {
    case kErrorComInit: return "Failed to initialize COM library. This should not happen";
    case kErrorNoFirewallProfile: return "Failed to initialize firewall. Try running with proper admin privileges.";
    case kErrorFirewallNotOpened: return "Firewall initialized well, but failed to open ports on it.";
    default: return "Invalid IP";
    }
}

} // namespace

void RunForwardCommand(const std::vector<std::wstring>& commandLines, const std::vector<std::wstring>& addresses,
                       const PlatformFor& platformFor)
{
    // The window sends five lines, or six; a shorter command is not one of ours.
    if (commandLines.size() < 5) {
        writeResultText("Incomplete forward command");
        return;
    }
    const std::wstring& address = commandLines[1];
    const std::int32_t port = ReadPort(commandLines[2]);
    const bool tcp = commandLines[3] == L"TRUE";
    const bool udp = commandLines[4] == L"TRUE";
    // A sixth line "TRUE" asks for pinholes over IPv6 too; without it, IPv4 only.
    const bool ipv6 = commandLines.size() > 5 && commandLines[5] == L"TRUE";

    DiagnosticLine("fwd " + NarrowToBytes(address) + " port:" + std::to_string(port));
    std::int32_t protocolSelector = 0;
    if (tcp && udp) {
        DiagnosticLine("prot both");
        protocolSelector = 2;
    } else if (udp) {
        protocolSelector = 1;
    } else if (!tcp) {
        // Neither flag: nothing to map, and no platform work is done.
        writeResultText("No protocol selected");
        return;
    }

    // The record first, held to the end: what the forward makes is then recorded, or
    // taken back, never left where neither renew nor close finds it.
    Told problem;
    std::optional<ForwardRecordStore> store =
        ForwardRecordStore::Open(problem, Earlier(Clock::now() + kRecordWait, RunDeadline()));
    if (!store) {
        const Told reason =
            Compose(forward::sentence::NoRecord, {{"port", std::to_string(port)}, {"reason", problem.text}});
        Headline(reason);
        writeResultText(reason.text);
        return;
    }
    // The gateway is searched for once, by the first step that asks it, and every step
    // after asks the same; it outlives all of them.
    gateway::GatewaySession session{RememberingGateway()};
    VarnethPlatform platform = platformFor(session);
    const firewall::FirewallFactory firewall = platform.firewall;
    Varneth mapping(std::move(platform));
    const ForwardResult result = mapping.Forward(protocolSelector, port, address, L"AUTO");
    const bool done = result.Mapped && result.FirewallOpen;
    // "0" keeps its meaning, IPv4; the IPv6 outcome is told beside it. Its pinholes are
    // recorded with the mappings, whatever the IPv4 answer.
    const Ipv6Result overIpv6 = ForwardOverIpv6(session, address, port, tcp, udp, ipv6, firewall);
    const std::unique_ptr<gateway::EntryClient> entries = gateway::OpenEntryClient(session);
    const Recording recording = RecordForward(*store, *entries, result.Outcome, overIpv6, AddressTexts(addresses));
    if (!recording.notKept.empty()) {
        writeResultText(recording.notKept);
        return;
    }
    // How long the port stays open is told only of a forward that opened every protocol;
    // of the pinholes alone only where no IPv4 mapping was made.
    const std::vector<PortOutcome>& ports = result.Outcome.ports;
    const bool mappedAny =
        std::any_of(ports.begin(), ports.end(), [](const PortOutcome& p) { return p.grant.has_value(); });
    const std::optional<long long> lease = done ? ShortestLease(result.Outcome) : std::nullopt;
    if (lease)
        ReportLasting(port, *lease, recording.renewal);
    else if (recording.renewal != Renewal::None && !mappedAny && !overIpv6.ports.empty())
        ReportLasting(port, gateway::kPinholeLeaseSeconds, recording.renewal, " over IPv6");
    writeResultText(done ? "0" : ResultTextFor(mapping.ErrorCode));
}
