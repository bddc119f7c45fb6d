#include "forward/varneth.h"

#include "diagnostics.h"
#include "forward/forward_report.h"
#include "platform/port_number.h"

#ifdef _WIN32
#include "gateway/gateway_classes.h"
#include "gateway/windows/system_nat_windows.h"
#endif

namespace {

constexpr const char* kServiceHeadline =
    "This machine's port forwarding service could not be started. Restart the machine, then try again.";

// On Windows the system's NAT object comes first, as every program that maps ports
// there expects; once it has failed, our own client maps the ports. Elsewhere the
// class registered for CLSID_UPnPNAT is our own client already.
HRESULT CreateNat(IUPnPNAT** nat)
{
#ifdef _WIN32
    if (SystemNatPassedOver()) return CreateGatewayNat(IID_IUPnPNAT, reinterpret_cast<void**>(nat));
    return CreateSystemNat(nat);
#else
    return CoCreateInstance(CLSID_UPnPNAT, nullptr, CLSCTX_ALL, IID_IUPnPNAT, reinterpret_cast<void**>(nat));
#endif
}

// Whether the failure of a step is the system's object's, and our own client now
// takes over; `why` completes "passed over (...)".
bool TurnToOwnClient([[maybe_unused]] const std::string& why, [[maybe_unused]] HRESULT status)
{
#ifdef _WIN32
    return PassOverSystemNat(why, status);
#else
    return false;
#endif
}

} // namespace

bool Varneth::Access()
{
    Collection.reset();
    Nat.reset();
    const HRESULT created = CreateNat(Nat.put());
    if (FAILED(created)) {
        DiagnosticLine("Varneth::Access CoCreateInstance IUPnPNAT failed");
        UserLine("The NAT UPnP service could not be started.");
        if (TurnToOwnClient("it could not be started", created)) return Access();
        Headline(kServiceHeadline);
        return false;
    }
    if (!Nat) {
        DiagnosticLine("Varneth::Access CoCreateInstance succeeded, but left Nat null");
        UserLine("The NAT UPnP service could not be started.");
        if (TurnToOwnClient("it could not be started", created)) return Access();
        Headline(kServiceHeadline);
        return false;
    }
    const HRESULT collection = Nat->get_StaticPortMappingCollection(Collection.put());
    if (FAILED(collection)) {
        DiagnosticLine("Varneth::Access Nat->get_StaticPortMappingCollection failed");
        UserLine("The NAT UPnP service gave no port mappings.");
        if (TurnToOwnClient("it gave no port mappings", collection)) return Access();
        Headline(kServiceHeadline);
        return false;
    }
    if (!Collection) {
        DiagnosticLine("Varneth::Access Nat->get_StaticPortMappingCollection succeeded, but left Collection null");
        // What the service answers when no gateway on the LAN speaks UPnP; our own
        // classes have told why in a headline.
        UserLine("No usable Internet gateway was found.");
        return TurnToOwnClient("it found no UPnP Internet gateway", collection) && Access();
    }
    return true;
}

bool Varneth::Add(wchar_t protocol, std::int32_t externalPort, std::int32_t internalPort,
                  const std::wstring& internalClient, const std::wstring& description)
{
    const Bstr protocolName(protocol == L't' ? L"TCP" : L"UDP");
    const Bstr client(internalClient);
    const Bstr mappingDescription(description);
    Mapping.reset();
    // Only reached after a good Access; an object without a collection cannot add.
    const HRESULT added = Collection ? Collection->Add(externalPort, protocolName.get(), internalPort, client.get(),
                                                      VARIANT_BOOL{1}, mappingDescription.get(), Mapping.put())
                                     : E_POINTER;
    // A failed Add of the system's object hands the request to our own client, which
    // Access then provides.
    if (FAILED(added)) {
        DiagnosticLine("Varneth::Add Collection->Add failed");
        UserLine("The gateway did not make the mapping.");
        return TurnToOwnClient("it did not make the " + ProtocolName(protocol) + " mapping", added) && Access() &&
               Add(protocol, externalPort, internalPort, internalClient, description);
    }
    if (!Mapping) {
        DiagnosticLine("Varneth::Add Collection->Add succeeded, but left Mapping null");
        UserLine("The gateway made the mapping, but handed none back.");
        return TurnToOwnClient("it handed no " + ProtocolName(protocol) + " mapping back", added) && Access() &&
               Add(protocol, externalPort, internalPort, internalClient, description);
    }
    return true;
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
