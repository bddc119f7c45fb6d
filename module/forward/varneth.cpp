#include "forward/varneth.h"

#include <utility>

#include "tell.h"
#include "forward/forward_report.h"
#include "forward/sentences.h"
#include "platform/utf8.h"

namespace {

using Reach = gateway::NatService::Access;
using Adding = gateway::NatService::Adding;

// The developers' line for each step of reaching the mappings, as the NAT UPnP calls name them.
const char* AccessLine(Reach step)
{
    switch (step) {
    case Reach::NotCreated: return "Varneth::Access CoCreateInstance IUPnPNAT failed";
    case Reach::CreatedNone: return "Varneth::Access CoCreateInstance succeeded, but left Nat null";
    case Reach::CollectionFailed: return "Varneth::Access Nat->get_StaticPortMappingCollection failed";
    case Reach::NoCollection:
        return "Varneth::Access Nat->get_StaticPortMappingCollection succeeded, but left Collection null";
    case Reach::Ok: break;
    }
    return "";
}

} // namespace

bool Varneth::PassOver(const std::optional<gateway::PassOver>& why)
{
    if (!why || service_ + 1 >= platform_.nat.size()) return false;
    ++service_;
    StatusLine("PassOverSystemNat", why->status);
    Tell(forward::sentence::SystemNatPassedOver, {{"reason", why->reason}});
    return true;
}

bool Varneth::Access()
{
    Collection = false;
    Nat = platform_.nat.at(service_).get();
    const gateway::NatService::AccessAnswer answer = Nat->OpenCollection();
    if (answer.step == Reach::Ok) {
        Collection = true;
        return true;
    }
    DiagnosticLine(AccessLine(answer.step));
    if (answer.step == Reach::NoCollection) {
        // What the service answers when no gateway on the LAN speaks UPnP; our own client
        // has told why in a headline.
        Tell(forward::sentence::NoUsableGateway);
        return PassOver(answer.passOver) && Access();
    }
    Tell(answer.step == Reach::CollectionFailed ? forward::sentence::NatGaveNoMappings
                                                 : forward::sentence::NatNotStarted);
    if (PassOver(answer.passOver)) return Access();
    Headline(forward::sentence::ServiceNotStarted);
    return false;
}

bool Varneth::Add(wchar_t protocol, std::int32_t externalPort, std::int32_t internalPort,
                  const std::wstring& internalClient, const std::wstring& description)
{
    const gateway::MappingRequest request{externalPort, ProtocolOfCharacter(protocol), internalPort,
                                          Utf8FromWide(internalClient), Utf8FromWide(description)};
    // Only reached after a good Access; a service without its collection cannot add.
    Mapping = Collection ? Nat->Add(request) : gateway::NatService::AddAnswer{};
    if (Mapping->step == Adding::Made) return true;
    // A failed Add of the system's object hands the request to our own client, which
    // Access then provides.
    if (Mapping->step == Adding::Failed) {
        DiagnosticLine("Varneth::Add Collection->Add failed");
        Tell(forward::sentence::MappingNotMade);
    } else {
        DiagnosticLine("Varneth::Add Collection->Add succeeded, but left Mapping null");
        Tell(forward::sentence::MappingNotHandedBack);
    }
    return PassOver(Mapping->passOver) && Access() && Add(protocol, externalPort, internalPort, internalClient, description);
}

bool Varneth::MapPort(wchar_t protocol, std::int32_t externalPort, std::int32_t internalPort,
                      const std::wstring& internalClient, const std::wstring& description)
{
    // Never sent: gateways wrap a port past 65535 (70000 becomes 4464) and map another one.
    if (!IsPortNumber(externalPort) || !IsPortNumber(internalPort)) {
        ReportPortOutOfRange(protocol, IsPortNumber(externalPort) ? internalPort : externalPort);
        DiagnosticLine("Varneth::Add Collection->Add failed");
        return false;
    }
    return Access() && Add(protocol, externalPort, internalPort, internalClient, description);
}
